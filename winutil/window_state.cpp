#include "winutil/window_state.h"

#include "winutil/system_function.h"

namespace kv {

bool IsCloaked(HWND window) {
  using DwmGetWindowAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);
  static const auto getAttribute =
      LookUpSystemFunction<DwmGetWindowAttributeFn>(L"dwmapi.dll", "DwmGetWindowAttribute");
  constexpr DWORD kCloaked = 14;  // DWMWA_CLOAKED
  DWORD cloaked = 0;
  return getAttribute && SUCCEEDED(getAttribute(window, kCloaked, &cloaked, sizeof cloaked)) &&
         cloaked != 0;
}

}  // namespace kv
