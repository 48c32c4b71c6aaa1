// The install assistant's dialog: the picture to drag, the hint texts, the
// link label that opens the browser's extensions page, and Close.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "installer/clipboard_snapshot.h"
#include "installer/static_box.h"
#include "installer/window_layer.h"
#include "winutil/scoped_win.h"

namespace kv {

// The user's local application-data folder in its short (8.3) form, or "".
std::wstring GetLocalAppDataShortPath();
// Where Google Chrome lives: the per-user install when there is one, else
// the program its App Paths registration names (an install for all users),
// else the per-user place (where starting it then fails).
std::wstring BrowserPath();
// Starts the browser at `path` maximised; false when the shell could not
// start it.
bool StartBrowser(HWND dialog, const std::wstring& path);
// True when the window in front belongs to a process running the program
// at `path` (compared by long path, ignoring case).
bool ForegroundRunsProgram(const std::wstring& path);
// The unpacked extension beside the program ("<folder>\\extension"), for
// the browser's "Load unpacked"; "" when the program's path is unknown.
std::wstring ExtensionFolderPath();

class CMainDlg : public CDialogBase {
 public:
  CMainDlg();
  ~CMainDlg() override;

  // State the tests look at.
  CStaticBox& pictureBox() { return pictureBox_; }
  bool linkHover() const { return linkHover_ != 0; }
  HFONT linkFont() const { return linkFont_.get(); }
  bool packageMissing() const { return packageMissing_; }
  bool browserMissing() const { return browserMissing_; }
  bool folderMissing() const { return folderMissing_; }
  // True from a browser start until the page address has been typed or
  // given up on.
  bool waitingForBrowser() const { return launchStep_ != LaunchStep::kIdle; }
  UINT dpi() const { return dpi_; }

 protected:
  bool ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // Starts the browser; true when it started. The dialog then types the
  // extensions page's address into it, step by step on a timer.
  virtual bool LaunchBrowser();
  // Shows the unpacked extension's folder; true when it opened.
  virtual bool OpenFolder(const std::wstring& folder);

 private:
  LRESULT OnInitDialog();
  bool OnCommand(int id);
  bool OnCtlColorStatic(HDC dc, HWND control, LRESULT& result);
  void OnMouseMove(POINT clientPoint);
  void OnLButtonDown(POINT clientPoint);
  void OnTimer(UINT_PTR id);
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void OnDestroy();

  bool PointOnLink(POINT clientPoint, RECT* linkScreenRect) const;
  void SetIcons();
  void ShowPicture();
  // Starts the browser and the steps that type the page address into it.
  void OpenExtensionsPage();
  void WaitForBrowserFocus();
  void StopLaunch();
  // The dialog's layout and font at its first DPI, for later changes.
  void RememberLayout();
  HFONT DialogFont() const;
  void OnOpenExtensionFolder();
  void ShowWarning(int control, UINT textId, bool* flag);
  void ShowPackageMissing();
  // Deletes the link label's font (it is made again on the next paint).
  void DropLinkFont();

  // The steps after a browser start: its two seconds to come up, then (the
  // address on the clipboard) up to six more until the browser is in front,
  // then the paste, a pause, Return, and after another pause the user's
  // clipboard text put back.
  enum class LaunchStep { kIdle, kBrowserStarting, kWaitingForFocus, kPasted, kEntered };
  // Puts the address on the clipboard, keeping the user's text.
  void PutAddressOnClipboard();
  // Puts the user's text back, unless the clipboard has changed since the
  // address went on it.
  void RestoreUserClipboard();
  struct ChildPlace {
    HWND child;
    RECT rect;  // client coordinates at layoutDpi_
  };

  CStaticBox pictureBox_;
  HBITMAP pictureShown_ = nullptr;  // the artwork the control holds (it owns it)
  ScopedFont linkFont_;
  ScopedFont scaledFont_;  // the dialog's font after a DPI change
  LaunchStep launchStep_ = LaunchStep::kIdle;
  std::wstring startedBrowser_;  // the program LaunchBrowser started
  // What the user's clipboard held while the address is there, and the
  // clipboard's sequence number after the address went on it (0: the
  // address is not there).
  ClipboardSnapshot userClipboard_;
  bool hasUserClipboard_ = false;
  DWORD addressSequence_ = 0;
  DWORD focusDeadline_ = 0;
  UINT dpi_ = 0;
  UINT layoutDpi_ = 0;
  LOGFONTW layoutFont_{};
  std::vector<ChildPlace> layout_;
  int linkHover_ = 0;
  // The window's icons at the sizes of its DPI; the window holds them
  // until they are replaced or it is gone.
  ScopedIcon largeIcon_;
  ScopedIcon smallIcon_;
  bool packageMissing_ = false;
  bool browserMissing_ = false;
  bool folderMissing_ = false;
  std::wstring noteText_;
  std::wstring unpackedHintText_;
};

}  // namespace kv
