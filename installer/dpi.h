// The assistant's artwork is drawn at 100, 150 and 200 %: the form that
// suits a window's DPI.
#pragma once
#include <windows.h>

namespace kv {

// The DPI of the window's monitor (see winutil/dpi.h).
UINT WindowDpi(HWND hwnd);
// Bitmap resource `base` (its 100 % form) in the form for that DPI.
HBITMAP LoadArt(int base, UINT dpi);

}  // namespace kv
