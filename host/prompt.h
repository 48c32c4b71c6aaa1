// The window-selection prompt: asks the user to bring the window to capture
// to the front, then starts the overlay (button) or cancels (close box).
#pragma once
#include <windows.h>

namespace kv {

constexpr int kPromptDialogId = 1130;
constexpr int kPromptIconId = 1233;
constexpr int kPromptHeadingId = 1200;
constexpr int kPromptLine1Id = 208;
constexpr int kPromptLine2Id = 209;
constexpr BYTE kPromptAlpha = 215;  // about 84 % opaque

class CDlgSelect {
 public:
  CDlgSelect() = default;
  virtual ~CDlgSelect() = default;
  CDlgSelect(const CDlgSelect&) = delete;
  CDlgSelect& operator=(const CDlgSelect&) = delete;

  // Creates the modeless prompt (no owner), centres it on its monitor's
  // work area and shows it. False when the dialog cannot be created.
  bool Show(HINSTANCE instance, HWND notifyWindow);
  HWND hwnd() const { return hwnd_; }

 protected:
  virtual INT_PTR OnInitDialog();
  virtual void OnCommand(int id, int code);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void SetTexts();
  void MakeTranslucent();
  void Finish(UINT message);

  HWND hwnd_ = nullptr;
  HWND notifyWindow_ = nullptr;
  HINSTANCE instance_ = nullptr;
};

// The one prompt of the process.
extern CDlgSelect selectPrompt;

}  // namespace kv
