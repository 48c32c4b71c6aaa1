// The assistant's artwork is drawn at 100, 150 and 200 %: which one suits a
// window, and the window's DPI on every Windows it runs on.
#pragma once
#include <windows.h>

namespace kv {

constexpr UINT kDefaultDpi = 96;

// The DPI of the window's monitor (GetDpiForWindow where the system has
// it), else the screen's logical DPI.
UINT WindowDpi(HWND hwnd);
// The artwork scale, in percent, nearest to the DPI: 100, 150 or 200 (an
// even split goes to the smaller one, which is cut less by its control).
int ArtPercent(UINT dpi);
// Bitmap resource `base` (its 100 % form) in the form for that DPI.
HBITMAP LoadArt(int base, UINT dpi);

}  // namespace kv
