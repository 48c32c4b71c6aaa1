// Placeholders until the screen copies exist.
#include "overlay/screen_copy.h"

namespace kv {

HBITMAP CaptureScreenArea(HDC, int, int, int, int) { return nullptr; }
void DimBitmap(HDC, int, int) {}
void CaptureRectToFile(HWND, int, int, int, int, const std::string&) {}
void CaptureScreenToFile(HWND, const std::string&) {}

}  // namespace kv
