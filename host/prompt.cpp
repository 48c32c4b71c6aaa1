#include "host/prompt.h"

#include "core/monitor_placement.h"
#include "host/host.h"
#include "winutil/system_function.h"
#include "winutil/ui_text.h"
#include "winutil/window_state.h"

namespace kv {

CDlgSelect selectPrompt;

namespace {

// Centred on the work area of the monitor under the pointer, where the
// user is looking.
void CentreOnWorkArea(HWND hwnd) {
  RECT rc;
  GetWindowRect(hwnd, &rc);
  POINT pointer{};
  GetCursorPos(&pointer);
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (!GetMonitorInfoW(MonitorFromPoint(pointer, MONITOR_DEFAULTTONEAREST), &mi)) return;
  const RECT& work = mi.rcWork;
  const Rect at = CentreIn({rc.right - rc.left, rc.bottom - rc.top},
                           Rect{work.left, work.top, work.right, work.bottom});
  SetWindowPos(hwnd, nullptr, at.left, at.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

bool CDlgSelect::Show(HINSTANCE instance, HWND notifyWindow) {
  instance_ = instance;
  notifyWindow_ = notifyWindow;
  HWND hwnd = CreateDialogParamW(instance, MAKEINTRESOURCEW(kPromptDialogId), nullptr, DialogProc,
                                 reinterpret_cast<LPARAM>(this));
  if (!hwnd) return false;
  CentreOnWorkArea(hwnd);
  ShowWindow(hwnd, SW_SHOW);
  return true;
}

INT_PTR CALLBACK CDlgSelect::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    auto* self = reinterpret_cast<CDlgSelect*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    self->hwnd_ = hwnd;
    return self->OnInitDialog();
  }
  auto* self = reinterpret_cast<CDlgSelect*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (!self) return FALSE;
  switch (msg) {
    case WM_COMMAND: self->OnCommand(LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_DESTROY:
      SetWindowLongPtrW(hwnd, DWLP_USER, 0);
      self->hwnd_ = nullptr;
      return FALSE;
    default: return FALSE;
  }
}

INT_PTR CDlgSelect::OnInitDialog() {
  SetTexts();
  // Shared: the system keeps one copy, which is never destroyed by hand.
  HICON icon = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kPromptIconId), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  if (icon) SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  MakeTranslucent();
  SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  return TRUE;  // the default focus: the Capture button
}

void CDlgSelect::SetTexts() {
  SetDlgItemTextW(hwnd_, kPromptHeadingId, UiTextWide("Kelvo Screen Capture Control").c_str());
  SetDlgItemTextW(hwnd_, kPromptLine1Id,
                  UiTextWide("Please bring the window which you want").c_str());
  SetDlgItemTextW(hwnd_, kPromptLine2Id, UiTextWide("to capture to the front.").c_str());
  SetDlgItemTextW(hwnd_, IDOK, UiTextWide("Capture").c_str());
  SetWindowTextW(hwnd_, UiTextWide("Screen Capture").c_str());
}

void CDlgSelect::MakeTranslucent() {
  LONG_PTR ex = GetWindowLongPtrW(hwnd_, GWL_EXSTYLE);
  SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, ex ^ WS_EX_LAYERED);
  using SetLayeredFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
  static const auto setLayered =
      LookUpSystemFunction<SetLayeredFn>(L"user32.dll", "SetLayeredWindowAttributes");
  if (setLayered) setLayered(hwnd_, 0, kPromptAlpha, LWA_ALPHA);
}

void CDlgSelect::OnCommand(int id, int code) {
  if (code != 0) return;
  if (id == IDOK)
    Finish(WM_CAPTURE_START);
  else if (id == IDCANCEL)
    Finish(WM_CAPTURE_CANCEL);
}

void CDlgSelect::Finish(UINT message) {
  // The screen is read right after: the prompt must leave it at once, not
  // fade out into the picture.
  DisableTransitions(hwnd_);
  PostMessageW(notifyWindow_, message, 0, 0);
  DestroyWindow(hwnd_);
}

}  // namespace kv
