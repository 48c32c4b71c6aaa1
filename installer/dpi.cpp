#include "installer/dpi.h"

#include "core/ui_scale.h"
#include "resources/installer/installer_ids.h"
#include "winutil/dpi.h"

namespace kv {

UINT WindowDpi(HWND hwnd) { return static_cast<UINT>(DpiOfWindow(hwnd)); }

HBITMAP LoadArt(int base, UINT dpi) {
  // The larger forms follow their 100 % one: base + 100 for 150 %, base +
  // 200 for 200 % (see installer_ids.h).
  const int id = base + (UiScale{static_cast<int>(dpi)}.ArtPercent() - 100) * 2;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  HBITMAP art = LoadBitmapW(instance, MAKEINTRESOURCEW(id));
  return art ? art : LoadBitmapW(instance, MAKEINTRESOURCEW(base));
}

}  // namespace kv
