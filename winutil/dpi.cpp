#include "winutil/dpi.h"

#include "core/ui_scale.h"
#include "winutil/scoped_win.h"

namespace kv {

namespace {

// Functions of newer Windows, looked up once; null where the system lacks
// them.
template <typename F>
F LookUp(const wchar_t* module, const char* name) {
  HMODULE m = GetModuleHandleW(module);
  if (!m) m = LoadLibraryW(module);  // kept for the process's life
  return m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

int SystemDpi() {
  ScopedGetDC screen(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
  return dpi > 0 ? dpi : kBaseDpi;
}

int MonitorDpi(HMONITOR monitor) {
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const auto getDpiForMonitor =
      LookUp<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
  UINT x = 0, y = 0;
  constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
  if (monitor && getDpiForMonitor && SUCCEEDED(getDpiForMonitor(monitor, kEffectiveDpi, &x, &y)) &&
      x > 0) {
    return static_cast<int>(x);
  }
  return SystemDpi();
}

}  // namespace

int DpiAtPoint(POINT point) {
  return MonitorDpi(MonitorFromPoint(point, MONITOR_DEFAULTTOPRIMARY));
}

int DpiOfWindow(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = LookUp<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
  if (getDpiForWindow && window) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi > 0) return static_cast<int>(dpi);
  }
  return MonitorDpi(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY));
}

}  // namespace kv
