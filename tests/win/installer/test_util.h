// Helpers shared by the install assistant's tests.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <cstdio>
#include <cstring>
#include <string>

inline FORMATETC Fmt(CLIPFORMAT format, DWORD tymed, DWORD aspect = DVASPECT_CONTENT) {
  return FORMATETC{format, nullptr, aspect, -1, tymed};
}

inline HGLOBAL GlobalText(const char* text) {
  size_t size = std::strlen(text) + 1;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  std::memcpy(GlobalLock(block), text, size);
  GlobalUnlock(block);
  return block;
}

inline std::string TextOf(HGLOBAL block) {
  auto* p = static_cast<const char*>(GlobalLock(block));
  std::string text = p ? p : "";
  GlobalUnlock(block);
  return text;
}

inline STGMEDIUM GlobalMedium(HGLOBAL block) {
  STGMEDIUM medium{};
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = block;
  return medium;
}

// Folder of the test program, with a trailing backslash.
inline std::string ModuleFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p = path;
  return p.substr(0, p.find_last_of('\\') + 1);
}

// Writes a 24-bit bottom-up BMP file of one colour, but for its top-left
// pixel (which a centred static picture spreads over its background).
inline bool WriteBmp(const std::string& path, int width, int height, COLORREF colour,
                     COLORREF corner) {
  const int row = (width * 3 + 3) & ~3;
  std::string pixels(static_cast<size_t>(row) * height, '\0');
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      // Row 0 of the file is the bottom row of the picture.
      COLORREF c = (x == 0 && y == height - 1) ? corner : colour;
      char* p = &pixels[static_cast<size_t>(y) * row + x * 3];
      p[0] = static_cast<char>(GetBValue(c));
      p[1] = static_cast<char>(GetGValue(c));
      p[2] = static_cast<char>(GetRValue(c));
    }
  }
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = static_cast<DWORD>(pixels.size());
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fwrite(&file, sizeof file, 1, f);
  std::fwrite(&info, sizeof info, 1, f);
  std::fwrite(pixels.data(), 1, pixels.size(), f);
  std::fclose(f);
  return true;
}
