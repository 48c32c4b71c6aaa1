#include "installer/window_layer.h"

#include <commctrl.h>

namespace kv {

// ---- CDialogBase ------------------------------------------------------------

CDialogBase::~CDialogBase() {
  if (hwnd_ && !modal_) {
    HWND hwnd = hwnd_;
    hwnd_ = nullptr;
    SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    DestroyWindow(hwnd);
  }
}

INT_PTR CDialogBase::DoModal(HWND owner) {
  modal_ = true;
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner,
                         DialogProc, reinterpret_cast<LPARAM>(this));
}

HWND CDialogBase::Create(HWND owner) {
  modal_ = false;
  return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner,
                            DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialogBase::EndDialog(INT_PTR result) {
  if (!hwnd_) return;
  if (modal_)
    ::EndDialog(hwnd_, result);
  else
    DestroyWindow(hwnd_);
}

void CDialogBase::CenterWindow() {
  RECT dialog{};
  GetWindowRect(hwnd_, &dialog);
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  if (owner && (!IsWindowVisible(owner) || IsIconic(owner))) owner = nullptr;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(owner ? owner : hwnd_, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT area = monitor.rcWork;
  RECT centre = area;
  if (owner) GetWindowRect(owner, &centre);
  const LONG width = dialog.right - dialog.left;
  const LONG height = dialog.bottom - dialog.top;
  LONG left = (centre.left + centre.right) / 2 - width / 2;
  LONG top = (centre.top + centre.bottom) / 2 - height / 2;
  if (left + width > area.right) left = area.right - width;
  if (left < area.left) left = area.left;
  if (top + height > area.bottom) top = area.bottom - height;
  if (top < area.top) top = area.top;
  SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<CDialogBase*>(lParam);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
  }
  auto* self = reinterpret_cast<CDialogBase*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (!self) return FALSE;  // messages before WM_INITDIALOG
  INT_PTR answer = self->Dispatch(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    self->hwnd_ = nullptr;
    self->OnFinalMessage(hwnd);
  }
  return answer;
}

INT_PTR CDialogBase::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (!ProcessWindowMessage(message, wParam, lParam, result) &&
      !ReflectNotification(hwnd_, message, wParam, lParam, result))
    return FALSE;
  switch (message) {
    // These answer through the procedure's return value itself.
    case WM_INITDIALOG:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: return static_cast<INT_PTR>(result);
    default: SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result); return TRUE;
  }
}

bool ReflectNotification(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  HWND child = nullptr;
  switch (message) {
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: child = reinterpret_cast<HWND>(lParam); break;
    case WM_NOTIFY:
      child = lParam ? reinterpret_cast<const NMHDR*>(lParam)->hwndFrom : nullptr;
      break;
    case WM_DRAWITEM:
      if (wParam) child = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem;
      break;
    case WM_DELETEITEM:
      if (wParam) child = reinterpret_cast<const DELETEITEMSTRUCT*>(lParam)->hwndItem;
      break;
    case WM_COMPAREITEM:
      if (wParam) child = reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam)->hwndItem;
      break;
    case WM_MEASUREITEM:
      if (wParam) child = GetDlgItem(parent, static_cast<int>(wParam));
      break;
    default: return false;
  }
  if (!child || GetParent(child) != parent) return false;
  result = SendMessageW(child, kReflectBase + message, wParam, lParam);
  return true;
}

// ---- CSubclassedWindow ------------------------------------------------------

CSubclassedWindow::~CSubclassedWindow() { Detach(); }

bool CSubclassedWindow::Subclass(HWND hwnd) {
  if (hwnd_ || !hwnd) return false;
  if (!SetWindowSubclass(hwnd, SubclassProc, 0, reinterpret_cast<DWORD_PTR>(this))) return false;
  hwnd_ = hwnd;
  return true;
}

void CSubclassedWindow::Detach() {
  if (!hwnd_) return;
  RemoveWindowSubclass(hwnd_, SubclassProc, 0);
  hwnd_ = nullptr;
}

LRESULT CSubclassedWindow::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefSubclassProc(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK CSubclassedWindow::SubclassProc(HWND hwnd, UINT message, WPARAM wParam,
                                                 LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  auto* window = reinterpret_cast<CSubclassedWindow*>(self);
  LRESULT result = 0;
  bool handled = window->ProcessWindowMessage(message, wParam, lParam, result);
  if (!handled) result = DefSubclassProc(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    window->Detach();
    window->OnFinalMessage(hwnd);
  }
  return result;
}

}  // namespace kv
