#include "installer/dpi.h"

#include <cstdlib>
#include <initializer_list>

#include "resources/installer/installer_ids.h"

namespace kv {

UINT WindowDpi(HWND hwnd) {
  // Windows 10 (1607) and later; looked up by name, Windows 7 lacks it.
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow && hwnd) {
    if (UINT dpi = getDpiForWindow(hwnd)) return dpi;
  }
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

int ArtPercent(UINT dpi) {
  const int percent = static_cast<int>(dpi * 100 / kDefaultDpi);
  int best = 100;
  for (int candidate : {150, 200}) {
    if (std::abs(candidate - percent) < std::abs(best - percent)) best = candidate;
  }
  return best;
}

HBITMAP LoadArt(int base, UINT dpi) {
  // The larger forms follow their 100 % one: base + 100 for 150 %, base +
  // 200 for 200 % (see installer_ids.h).
  const int id = base + (ArtPercent(dpi) - 100) * 2;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  HBITMAP art = LoadBitmapW(instance, MAKEINTRESOURCEW(id));
  return art ? art : LoadBitmapW(instance, MAKEINTRESOURCEW(base));
}

}  // namespace kv
