// The hidden background window: it receives the capture notifications and
// turns them into the final event.
#include "host/capture_commands.h"
#include "host/host.h"
#include "output/capture_path.h"
#include "overlay/overlay.h"

namespace kv {

HWND backgroundWindow = nullptr;

void OnCaptureDone() {
  if (captureRequest.autoMinimize) RestoreBrowserWindows();
  WriteCaptureEvent(TemporaryCapturePath(captureRequest.fileName));
  EndProcess(0);
}

void OnCaptureCancel() {
  if (captureRequest.autoMinimize) RestoreBrowserWindows();
  WriteEvent("OnCaptureCanceled", std::string(), std::string());
  EndProcess(0);
}

namespace {

LRESULT OnPaint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  RECT rc;
  GetClientRect(hwnd, &rc);
  FillRect(hdc, &rc, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
  FrameRect(hdc, &rc, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
  EndPaint(hwnd, &ps);
  return 0;
}

}  // namespace

LRESULT CALLBACK BackgroundWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_PAINT: return OnPaint(hwnd);
    case WM_ERASEBKGND: return 1;
    case WM_CAPTURE_START: StartOverlay(hwnd, captureRequest.fileName); return 0;
    case WM_CAPTURE_DONE: OnCaptureDone();
    case WM_CAPTURE_CANCEL: OnCaptureCancel();
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

}  // namespace kv
