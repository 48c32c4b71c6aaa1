// Copies of the screen: the overlay's snapshots and the direct captures.
#include "overlay/screen_copy.h"

#include <algorithm>

#include "host/host.h"
#include "output/image_output.h"
#include "winutil/dib_section.h"
#include "winutil/scoped_win.h"
#include "winutil/window_state.h"

namespace kv {

namespace {

// Largest picture a direct capture makes (about 256 MB at 32 bits): a
// request for more is not a screen and would only exhaust memory.
constexpr long long kMaxCapturePixels = 1LL << 26;

bool IsCapturableSize(int width, int height) {
  return width > 0 && height > 0 && static_cast<long long>(width) * height <= kMaxCapturePixels;
}

// A new bitmap made by create(sourceDC, width, height), filled by
// draw(memory DC).
template <typename Create, typename Draw>
HBITMAP DrawnBitmap(HDC sourceDC, int width, int height, Create create, Draw draw) {
  ScopedMemDC memDC(CreateCompatibleDC(sourceDC));
  if (!memDC) return nullptr;
  HBITMAP bitmap = create(sourceDC, width, height);
  if (!bitmap) return nullptr;
  ScopedSelect select(memDC.get(), bitmap);
  draw(memDC.get());
  return bitmap;
}

// A 32-bit bottom-up section: the encoder reads its pixels where they lie,
// so a large capture is held once, not copied again for encoding.
HBITMAP CreateCaptureSection(HDC sourceDC, int width, int height) {
  void* bits = nullptr;
  return CreateBottomUpSection(sourceDC, width, height, &bits);
}

// The pixels of the screen rectangle (x, y, width, height) that lie on the
// virtual screen, at their place in a bitmap of the full size; the rest is
// black. (The platform may deliver nothing at all for a source that is
// partly off the screen.)
HBITMAP CaptureOnScreenPart(HDC desktopDC, int x, int y, int width, int height) {
  return DrawnBitmap(desktopDC, width, height, CreateCaptureSection, [&](HDC memDC) {
    PatBlt(memDC, 0, 0, width, height, BLACKNESS);
    long long screenLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
    long long screenTop = GetSystemMetrics(SM_YVIRTUALSCREEN);
    long long screenRight = screenLeft + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    long long screenBottom = screenTop + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    long long left = std::max<long long>(x, screenLeft), top = std::max<long long>(y, screenTop);
    long long right = std::min<long long>(static_cast<long long>(x) + width, screenRight);
    long long bottom = std::min<long long>(static_cast<long long>(y) + height, screenBottom);
    if (left < right && top < bottom) {
      BitBlt(memDC, static_cast<int>(left - x), static_cast<int>(top - y),
             static_cast<int>(right - left), static_cast<int>(bottom - top), desktopDC,
             static_cast<int>(left), static_cast<int>(top), SRCCOPY);
    }
  });
}

}  // namespace

HBITMAP CaptureScreenArea(HDC sourceDC, int x, int y, int width, int height) {
  return DrawnBitmap(sourceDC, width, height, CreateCompatibleBitmap, [&](HDC memDC) {
    BitBlt(memDC, 0, 0, width, height, sourceDC, x, y, SRCCOPY);
  });
}

void DimBitmap(HDC targetDC, int width, int height) {
  ScopedMemDC memDC(CreateCompatibleDC(targetDC));
  ScopedBitmap black(CreateCompatibleBitmap(targetDC, width, height));
  if (!memDC || !black) return;
  ScopedSelect select(memDC.get(), black.get());
  PatBlt(memDC.get(), 0, 0, width, height, BLACKNESS);
  BLENDFUNCTION blend{};
  blend.BlendOp = AC_SRC_OVER;
  blend.BlendFlags = 0;
  blend.SourceConstantAlpha = 100;
  blend.AlphaFormat = 0;
  AlphaBlend(targetDC, 0, 0, width, height, memDC.get(), 0, 0, width, height, blend);
}

void CaptureRectToFile(HWND notifyWindow, int x, int y, int width, int height,
                       const std::string& fileName) {
  {
    WaitForCompositor();  // windows minimised just before are off the screen
    ScopedGetDC desktopDC(GetDesktopWindow());
    // An empty or absurd rectangle gives no picture: no file is written and
    // none from an earlier capture is left to be reported.
    ScopedBitmap bitmap(desktopDC && IsCapturableSize(width, height)
                            ? CaptureOnScreenPart(desktopDC.get(), x, y, width, height)
                            : nullptr);
    SaveToCaptureFolder(bitmap.get(), fileName);
  }
  PostMessageA(notifyWindow, WM_CAPTURE_DONE, 0, 0);
}

void CaptureScreenToFile(HWND notifyWindow, const std::string& fileName) {
  CaptureRectToFile(notifyWindow, GetSystemMetrics(SM_XVIRTUALSCREEN),
                    GetSystemMetrics(SM_YVIRTUALSCREEN), GetSystemMetrics(SM_CXVIRTUALSCREEN),
                    GetSystemMetrics(SM_CYVIRTUALSCREEN), fileName);
}

}  // namespace kv
