#include "winutil/window_state.h"

#include "winutil/system_function.h"

namespace kv {

namespace {

// Attributes of dwmapi.h, named here: the system headers of some
// toolchains lack the newer ones.
constexpr DWORD kDwmTransitionsForceDisabled = 3;  // DWMWA_TRANSITIONS_FORCEDISABLED
constexpr DWORD kDwmExtendedFrameBounds = 9;       // DWMWA_EXTENDED_FRAME_BOUNDS
constexpr DWORD kDwmCloaked = 14;                  // DWMWA_CLOAKED
constexpr UINT kPrintRenderFullContent = 0x2;      // PW_RENDERFULLCONTENT

using DwmGetWindowAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);
using DwmSetWindowAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, const void*, DWORD);
using DwmFlushFn = HRESULT(WINAPI*)();

DwmGetWindowAttributeFn GetAttribute() {
  static const auto fn =
      LookUpSystemFunction<DwmGetWindowAttributeFn>(L"dwmapi.dll", "DwmGetWindowAttribute");
  return fn;
}

}  // namespace

bool IsCloaked(HWND window) {
  DWORD cloaked = 0;
  const auto getAttribute = GetAttribute();
  return getAttribute && SUCCEEDED(getAttribute(window, kDwmCloaked, &cloaked, sizeof cloaked)) &&
         cloaked != 0;
}

bool VisibleWindowRect(HWND window, RECT* rect) {
  RECT bounds{};
  const auto getAttribute = GetAttribute();
  if (getAttribute &&
      SUCCEEDED(getAttribute(window, kDwmExtendedFrameBounds, &bounds, sizeof bounds)) &&
      bounds.right > bounds.left && bounds.bottom > bounds.top) {
    *rect = bounds;
    return true;
  }
  return GetWindowRect(window, rect) != FALSE;
}

bool PrintWholeWindow(HWND window, HDC target) {
  return PrintWindow(window, target, kPrintRenderFullContent) || PrintWindow(window, target, 0);
}

void DisableTransitions(HWND window) {
  static const auto setAttribute =
      LookUpSystemFunction<DwmSetWindowAttributeFn>(L"dwmapi.dll", "DwmSetWindowAttribute");
  const BOOL disabled = TRUE;
  if (setAttribute) setAttribute(window, kDwmTransitionsForceDisabled, &disabled, sizeof disabled);
}

void WaitForCompositor() {
  static const auto flush = LookUpSystemFunction<DwmFlushFn>(L"dwmapi.dll", "DwmFlush");
  if (flush) flush();
}

}  // namespace kv
