#include "output_test_support.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <gdiplus.h>

namespace kv {
// The entry of the host defines these; the tests link the host library
// without it.
HINSTANCE hostInstance = nullptr;
[[noreturn]] void EndProcess(int exitCode) { std::exit(exitCode); }
}  // namespace kv

namespace kvtest {

namespace {

std::string Env(const char* name) {
  char buf[MAX_PATH * 2] = {};
  DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

void RestoreEnv(const char* name, const std::string& value) {
  SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
}

void Walk(const std::string& root, const std::string& rel,
          const std::function<void(const std::string&, bool)>& visit) {
  WIN32_FIND_DATAA fd;
  HANDLE find = FindFirstFileA((root + rel + "*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    bool isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isDir) Walk(root, rel + name + "\\", visit);
    visit(rel + name, isDir);
  } while (FindNextFileA(find, &fd));
  FindClose(find);
}

}  // namespace

ScratchTemp::ScratchTemp() : oldTmp_(Env("TMP")), oldTemp_(Env("TEMP")) {
  char base[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, base);
  char name[64];
  std::snprintf(name, sizeof name, "kvout-%lu-%lu\\", GetCurrentProcessId(), GetTickCount());
  dir_ = std::string(base) + name;
  CreateDirectoryA(dir_.c_str(), nullptr);
  SetEnvironmentVariableA("TMP", dir_.c_str());
  SetEnvironmentVariableA("TEMP", dir_.c_str());
}

ScratchTemp::~ScratchTemp() {
  RestoreEnv("TMP", oldTmp_);
  RestoreEnv("TEMP", oldTemp_);
  Walk(dir_, "", [&](const std::string& rel, bool isDir) {
    std::string path = dir_ + rel;
    if (isDir)
      RemoveDirectoryA(path.c_str());
    else
      DeleteFileA(path.c_str());
  });
  RemoveDirectoryA(dir_.c_str());
}

std::vector<std::string> ScratchTemp::Files() const {
  std::vector<std::string> files;
  Walk(dir_, "", [&](const std::string& rel, bool isDir) {
    if (!isDir) files.push_back(rel);
  });
  std::sort(files.begin(), files.end());
  return files;
}

COLORREF PatternColor(int x, int y, int seed) {
  return RGB((5 * x + seed) & 255, (3 * y + 7 * seed) & 255, (16 * ((x + y) / 8) + seed) & 255);
}

HBITMAP MakePatternDib(int width, int height, int seed, int bitsPerPixel) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = height;  // bottom-up, like a composed image
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = static_cast<WORD>(bitsPerPixel);
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bmp) return nullptr;
  int bytesPerPixel = bitsPerPixel / 8;
  int stride = (width * bytesPerPixel + 3) & ~3;
  auto* rows = static_cast<uint8_t*>(bits);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = rows + static_cast<size_t>(height - 1 - y) * stride;
    for (int x = 0; x < width; ++x) {
      COLORREF c = PatternColor(x, y, seed);
      uint8_t* p = row + x * bytesPerPixel;
      p[0] = GetBValue(c);
      p[1] = GetGValue(c);
      p[2] = GetRValue(c);
      if (bytesPerPixel == 4) p[3] = 0;
    }
  }
  return bmp;
}

std::string ReadFileBytes(const std::string& path) {
  std::string bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
  std::fclose(f);
  return bytes;
}

bool FileExists(const std::string& path) {
  DWORD attrs = GetFileAttributesA(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

Decoded DecodeImageFile(const std::string& path) {
  namespace flat = Gdiplus::DllExports;
  static ULONG_PTR token = [] {
    ULONG_PTR t = 0;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&t, &input, nullptr);
    return t;
  }();
  (void)token;
  Decoded d;
  std::wstring wide(path.begin(), path.end());
  Gdiplus::GpBitmap* bmp = nullptr;
  if (flat::GdipCreateBitmapFromFile(wide.c_str(), &bmp) != Gdiplus::Ok || !bmp) return d;
  UINT w = 0, h = 0;
  flat::GdipGetImageWidth(bmp, &w);
  flat::GdipGetImageHeight(bmp, &h);
  d.width = static_cast<int>(w);
  d.height = static_cast<int>(h);
  d.pixels.resize(static_cast<size_t>(w) * h);
  for (UINT y = 0; y < h; ++y) {
    for (UINT x = 0; x < w; ++x) {
      Gdiplus::ARGB argb = 0;
      flat::GdipBitmapGetPixel(bmp, static_cast<INT>(x), static_cast<INT>(y), &argb);
      d.pixels[static_cast<size_t>(y) * w + x] =
          RGB((argb >> 16) & 255, (argb >> 8) & 255, argb & 255);
    }
  }
  flat::GdipDisposeImage(bmp);
  d.ok = true;
  return d;
}

int PatternMismatches(const Decoded& image, int seed, int dx, int dy) {
  int bad = 0;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      if (image.at(x, y) != PatternColor(x + dx, y + dy, seed)) ++bad;
    }
  }
  return bad;
}

}  // namespace kvtest
