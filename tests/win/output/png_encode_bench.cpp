// kvpng_encode_bench <runs> <file.ppm>...: each picture (binary PPM, as
// tests/bench/png_corpus.py makes them) in a 32-bit bottom-up section, as
// the host holds a capture, written as a PNG file by the platform's encoder
// (GDI+) and by the host's own writer (EncodeImageFile), timed. One line a
// picture: name, GDI+ median ms and bytes, own median ms and bytes.
#include <windows.h>
#include <objidl.h>

#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "output/image_output.h"
#include "winutil/dib_section.h"
#include "winutil/scoped_win.h"

namespace {

namespace gp = Gdiplus;

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

HBITMAP LoadPpm(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maxValue = 0;
  if (!(in >> magic >> w >> h >> maxValue) || magic != "P6") return nullptr;
  in.get();
  std::vector<char> rgb(3 * static_cast<size_t>(w) * h);
  if (!in.read(rgb.data(), static_cast<std::streamsize>(rgb.size()))) return nullptr;
  void* bits = nullptr;
  HBITMAP section = kv::CreateBottomUpSection(nullptr, w, h, &bits);
  if (!section) return nullptr;
  auto* out = static_cast<uint8_t*>(bits);
  for (int y = 0; y < h; ++y) {
    const char* s = &rgb[3 * static_cast<size_t>(y) * w];
    uint8_t* d = out + 4 * static_cast<size_t>(h - 1 - y) * w;
    for (int x = 0; x < w; ++x) {
      d[4 * x] = static_cast<uint8_t>(s[3 * x + 2]);
      d[4 * x + 1] = static_cast<uint8_t>(s[3 * x + 1]);
      d[4 * x + 2] = static_cast<uint8_t>(s[3 * x]);
      d[4 * x + 3] = 0;
    }
  }
  return section;
}

// The platform's PNG encoder over the section's pixels where they lie.
bool SaveWithGdiplus(HBITMAP section, const wchar_t* path) {
  static const CLSID kPngEncoder = {
      0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  DIBSECTION d{};
  GetObject(section, sizeof d, &d);
  const INT stride = d.dsBm.bmWidthBytes;
  BYTE* top = static_cast<BYTE*>(d.dsBm.bmBits) + static_cast<size_t>(d.dsBm.bmHeight - 1) * stride;
  gp::GpBitmap* image = nullptr;
  if (gp::DllExports::GdipCreateBitmapFromScan0(d.dsBm.bmWidth, d.dsBm.bmHeight, -stride,
                                                PixelFormat32bppRGB, top, &image) != gp::Ok) {
    return false;
  }
  const bool ok = gp::DllExports::GdipSaveImageToFile(image, path, &kPngEncoder, nullptr) == gp::Ok;
  gp::DllExports::GdipDisposeImage(image);
  return ok;
}

long long FileSize(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA a{};
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &a)) return -1;
  return (static_cast<long long>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

template <typename F>
double MedianMs(int runs, F run) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const double start = NowMs();
    run();
    times.push_back(NowMs() - start);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const int runs = std::max(1, std::atoi(argv[1]));
  ULONG_PTR token = 0;
  gp::GdiplusStartupInput input;
  if (gp::GdiplusStartup(&token, &input, nullptr) != gp::Ok) return 3;
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const std::wstring platformFile = std::wstring(folder) + L"kvbench-platform.png";
  const std::wstring ownFile = std::wstring(folder) + L"kvbench-own.png";
  std::printf("%-22s %12s %12s %12s %12s\n", "picture", "GDI+ ms", "GDI+ bytes", "own ms",
              "own bytes");
  for (int i = 2; i < argc; ++i) {
    kv::ScopedBitmap picture(LoadPpm(argv[i]));
    if (!picture) {
      std::printf("%s: not a P6 picture\n", argv[i]);
      return 1;
    }
    const double platformMs =
        MedianMs(runs, [&] { SaveWithGdiplus(picture.get(), platformFile.c_str()); });
    const double ownMs = MedianMs(runs, [&] { kv::EncodeImageFileW(picture.get(), ownFile); });
    std::string name = argv[i];
    name = name.substr(name.find_last_of("/\\") + 1);
    std::printf("%-22s %12.1f %12lld %12.1f %12lld\n", name.c_str(), platformMs,
                FileSize(platformFile.c_str()), ownMs, FileSize(ownFile.c_str()));
    std::fflush(stdout);
  }
  DeleteFileW(platformFile.c_str());
  DeleteFileW(ownFile.c_str());
  return 0;
}
