// The hidden background window: it receives the capture notifications and
// turns them into the final event.
#include "host/capture_commands.h"
#include "host/host.h"
#include "output/capture_path.h"
#include "overlay/overlay.h"
#include "upload/upload.h"
#include "winutil/message_guard.h"

namespace kv {

HWND backgroundWindow = nullptr;
HANDLE instanceMutex = nullptr;
DWORD hostThreadId = 0;

void ReleaseInstance() {
  if (GetCurrentThreadId() != hostThreadId) return;
  // The mark other hosts look for goes first, then the mutex they wait on.
  if (backgroundWindow) {
    HWND window = backgroundWindow;
    backgroundWindow = nullptr;
    DestroyWindow(window);
  }
  if (instanceMutex) {
    ReleaseMutex(instanceMutex);
    CloseHandle(instanceMutex);
    instanceMutex = nullptr;
  }
}

void OnCaptureDone() {
  if (captureRequest.autoMinimize) RestoreBrowserWindows();
  WriteCaptureEvent(CapturePathWide(captureRequest.fileName));
  EndProcess(0);
}

void OnCaptureCancel() {
  if (captureRequest.autoMinimize) RestoreBrowserWindows();
  WriteEvent("OnCaptureCanceled", std::string(), std::string());
  EndProcess(0);
}

namespace {

// An overlay that cannot be made (no memory for its pictures) ends the
// capture as cancelled: the browser hears of it, and minimised windows
// come back.
void OnCaptureStart(HWND hwnd) {
  const bool started = CatchAllocationFailure(
      [&] {
        StartOverlay(hwnd, captureRequest.fileName);
        return true;
      },
      false);
  if (!started) AbandonOverlay();
}

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

LRESULT BackgroundMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_PAINT: return OnPaint(hwnd);
    case WM_ERASEBKGND: return 1;
    case WM_CAPTURE_START: OnCaptureStart(hwnd); return 0;
    case WM_CAPTURE_DONE: OnCaptureDone();
    case WM_CAPTURE_CANCEL: OnCaptureCancel();
    case WM_UPLOAD_DONE: OnUploadDone(lParam);
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

}  // namespace

LRESULT CALLBACK BackgroundWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CatchAllocationFailure([&] { return BackgroundMessage(hwnd, msg, wParam, lParam); },
                                LRESULT{0});
}

}  // namespace kv
