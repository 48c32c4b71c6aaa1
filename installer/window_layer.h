// A small dialog and subclassing layer over plain Win32: a dialog from a
// resource template whose messages go to a virtual handler table, and a
// subclassed control whose messages go to its object first. Unhandled
// notifications of a dialog's controls are reflected back to the control
// (as kReflectBase + message), so that a subclassed control can answer them.
#pragma once
#include <windows.h>

namespace kv {

constexpr UINT kReflectBase = WM_USER + 0x1c00;

class CDialogBase {
 public:
  explicit CDialogBase(UINT templateId) : templateId_(templateId) {}
  virtual ~CDialogBase();
  CDialogBase(const CDialogBase&) = delete;
  CDialogBase& operator=(const CDialogBase&) = delete;

  // Runs the dialog modally; its EndDialog result, or -1 when the dialog
  // could not be created.
  INT_PTR DoModal(HWND owner);
  // Creates the dialog modeless (EndDialog then destroys it).
  HWND Create(HWND owner);
  void EndDialog(INT_PTR result);

  HWND hwnd() const { return hwnd_; }
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  // Centres the dialog on its owner, or without a visible owner on the work
  // area of its monitor, and keeps it inside that work area.
  void CenterWindow();

 protected:
  // The message table: true when handled, with the message's result.
  virtual bool ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT& result) = 0;
  // Called after the last message of the window (WM_NCDESTROY).
  virtual void OnFinalMessage(HWND) {}

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  HWND hwnd_ = nullptr;
  bool modal_ = false;
};

// Sends a control's notification back to the control; false when the
// message is not a notification or names no control.
bool ReflectNotification(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

class CSubclassedWindow {
 public:
  CSubclassedWindow() = default;
  virtual ~CSubclassedWindow();
  CSubclassedWindow(const CSubclassedWindow&) = delete;
  CSubclassedWindow& operator=(const CSubclassedWindow&) = delete;

  bool Subclass(HWND hwnd);
  HWND hwnd() const { return hwnd_; }

 protected:
  // The message table: true when handled, with the message's result;
  // anything else goes to the control's own procedure.
  virtual bool ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT& result) = 0;
  virtual void OnFinalMessage(HWND) {}
  LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR self);
  void Detach();

  HWND hwnd_ = nullptr;
};

}  // namespace kv
