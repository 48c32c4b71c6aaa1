// Helpers of the overlay's Win32-level tests.
#pragma once
#include <windows.h>

#include <cstdint>

#include "winutil/scoped_win.h"

namespace kvtest {

// A 32-bit top-down section selected into its own memory context, with
// direct access to its pixels.
class Picture {
 public:
  Picture(int width, int height);
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  HDC dc() const { return dc_.get(); }
  HBITMAP bitmap() const { return bitmap_.get(); }
  // Gives up the bitmap (deselected); the picture is unusable afterwards.
  HBITMAP Release();
  int width() const { return width_; }
  int height() const { return height_; }
  COLORREF At(int x, int y) const;
  void Set(int x, int y, COLORREF c);
  void Fill(COLORREF c);

 private:
  int width_, height_;
  uint32_t* bits_ = nullptr;
  kv::ScopedMemDC dc_;
  kv::ScopedBitmap bitmap_;
  HGDIOBJ old_ = nullptr;
};

// The colour of the screen pattern at (x, y): every pixel of a test screen
// tells where it lies.
inline COLORREF PatternAt(int x, int y) {
  return RGB(x & 0xFF, y & 0xFF, ((x >> 8) & 0x0F) | (((y >> 8) & 0x0F) << 4));
}

// Runs the message loop until `msg` arrives for `window` or `ms` pass;
// true when it arrived.
bool WaitForMessage(HWND window, UINT msg, DWORD ms);
// Runs the message loop for `ms`.
void Pump(DWORD ms);

// A hidden top-level window that records the capture notifications.
HWND CreateNotifyWindow();

}  // namespace kvtest
