// Copies of the screen, used by the overlay and by the direct captures.
#pragma once
#include <windows.h>

#include <string>

namespace kv {

// A new bitmap compatible with sourceDC holding width x height pixels from
// (x, y) of sourceDC.
HBITMAP CaptureScreenArea(HDC sourceDC, int x, int y, int width, int height);

// Darkens (0, 0, width, height) of targetDC: each channel c becomes about
// c * 155 / 255.
void DimBitmap(HDC targetDC, int width, int height);

// Captures a screen rectangle into the capture file and posts
// WM_CAPTURE_DONE to notifyWindow (also when saving failed). The picture
// has the rectangle's size; what lies beyond the virtual screen is black.
// A rectangle without pixels (width or height 0 or less) or of more than
// 2^26 pixels writes no file and removes one left from an earlier capture.
void CaptureRectToFile(HWND notifyWindow, int x, int y, int width, int height,
                       const std::string& fileName);
// The whole virtual screen.
void CaptureScreenToFile(HWND notifyWindow, const std::string& fileName);

}  // namespace kv
