#include "overlay/colour_picker.h"

#include "overlay/overlay.h"
#include "overlay/overlay_state.h"
#include "winutil/codepage.h"
#include "winutil/user_settings.h"

namespace kv {

namespace {

OverlayState& o = overlayState;

constexpr wchar_t kColourFormatSetting[] = L"MagnifierColourFormat";
constexpr LPARAM kKeyWasDown = LPARAM(1) << 30;  // an auto-repeated key down

bool formatLoaded = false;
ColourFormat format = ColourFormat::kHex;
bool shiftTapArmed = false;

ColourFormat CurrentFormat() {
  if (!formatLoaded) {
    format = ColourFormatFromSetting(
        ReadUserSettingDword(kColourFormatSetting, static_cast<DWORD>(ColourFormat::kHex)));
    formatLoaded = true;
  }
  return format;
}

COLORREF ScreenColourAt(Point p) {
  if (!o.screenSnapshot) return RGB(0, 0, 0);
  ScopedGetDC screen(nullptr);
  ScopedMemDC mem(CreateCompatibleDC(screen.get()));
  if (!mem) return RGB(0, 0, 0);
  ScopedSelect select(mem.get(), o.screenSnapshot.get());
  const COLORREF c = GetPixel(mem.get(), p.x, p.y);
  return c == CLR_INVALID ? RGB(0, 0, 0) : c;
}

Point PointerInOverlay() {
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(o.overlayWindow, &p);
  return {p.x, p.y};
}

bool PutTextOnClipboard(const std::wstring& text) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  if (!memory) return false;
  if (auto* target = static_cast<wchar_t*>(GlobalLock(memory))) {
    text.copy(target, text.size());
    target[text.size()] = L'\0';
    GlobalUnlock(memory);
  }
  if (!OpenClipboard(o.overlayWindow)) {
    GlobalFree(memory);
    return false;
  }
  EmptyClipboard();
  const bool set = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
  CloseClipboard();
  if (!set) GlobalFree(memory);
  return set;
}

}  // namespace

std::wstring PointedColourText(Point p) {
  const COLORREF c = ScreenColourAt(p);
  return Utf8ToWide(ColourText(CurrentFormat(), GetRValue(c), GetGValue(c), GetBValue(c)));
}

void CopyPointedColour() {
  if (!o.overlayWindow || o.selected) return;
  PutTextOnClipboard(PointedColourText(PointerInOverlay()));
}

void NotePickerKeyDown(UINT key, LPARAM keyData) {
  if (key != VK_SHIFT) {
    shiftTapArmed = false;  // Shift was a modifier of this key
  } else if (!(keyData & kKeyWasDown)) {
    shiftTapArmed = true;
  }
}

void NotePickerKeyUp(UINT key) {
  if (key != VK_SHIFT || !shiftTapArmed) return;
  shiftTapArmed = false;
  if (!o.overlayWindow || !o.ready || o.selected || o.modalLoopOpen) return;
  format = OtherColourFormat(CurrentFormat());
  WriteUserSettingDword(kColourFormatSetting, static_cast<DWORD>(format));
  ForgetShownPicture();  // the colour line changed where nothing moved
  PaintOverlay();
}

}  // namespace kv
