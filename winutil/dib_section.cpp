#include "winutil/dib_section.h"

namespace kv {

namespace {

// `height` above 0: rows from the bottom; below 0: from the top.
HBITMAP CreateSection(HDC dc, int width, int height, void** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  *bits = nullptr;
  HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
  if (!section) *bits = nullptr;
  return section;
}

}  // namespace

HBITMAP CreateTopDownSection(HDC dc, int width, int height, void** bits) {
  return CreateSection(dc, width, -height, bits);
}

HBITMAP CreateBottomUpSection(HDC dc, int width, int height, void** bits) {
  return CreateSection(dc, width, height, bits);
}

}  // namespace kv
