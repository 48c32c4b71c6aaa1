#include "winutil/dpi.h"

#include "core/ui_scale.h"
#include "winutil/scoped_win.h"
#include "winutil/system_function.h"

namespace kv {

namespace {

int SystemDpi() {
  ScopedGetDC screen(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
  return dpi > 0 ? dpi : kBaseDpi;
}

}  // namespace

int DpiOfMonitor(HMONITOR monitor) {
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const auto getDpiForMonitor =
      LookUpSystemFunction<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
  UINT x = 0, y = 0;
  constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
  if (monitor && getDpiForMonitor && SUCCEEDED(getDpiForMonitor(monitor, kEffectiveDpi, &x, &y)) &&
      x > 0) {
    return static_cast<int>(x);
  }
  return SystemDpi();
}

int DpiAtPoint(POINT point) {
  return DpiOfMonitor(MonitorFromPoint(point, MONITOR_DEFAULTTOPRIMARY));
}

int DpiOfWindow(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow =
      LookUpSystemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
  if (getDpiForWindow && window) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi > 0) return static_cast<int>(dpi);
  }
  return DpiOfMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY));
}

}  // namespace kv
