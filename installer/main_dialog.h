// The install assistant's dialog: the picture to drag, the hint texts, the
// link label that opens the browser's extensions page, and Close.
#pragma once
#include <windows.h>

#include <string>

#include "installer/static_box.h"
#include "installer/window_layer.h"
#include "winutil/scoped_win.h"

namespace kv {

// The user's local application-data folder in its short (8.3) form, or "".
std::string GetLocalAppDataShortPath();
// Where the per-user Google Chrome lives.
std::string BrowserPath();
// Starts Google Chrome maximised and, once it had two seconds to come up,
// pastes "chrome://extensions" into it and presses Return. False (and
// nothing pasted or typed) when the browser could not be started.
bool LaunchBrowserOnExtensionsPage(HWND dialog);
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

 protected:
  bool ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT& result) override;
  // Opens the browser on its extensions page; true when it started.
  virtual bool LaunchBrowser();
  // Shows the unpacked extension's folder; true when it opened.
  virtual bool OpenFolder(const std::wstring& folder);

 private:
  LRESULT OnInitDialog();
  bool OnCommand(int id);
  bool OnCtlColorStatic(HDC dc, HWND control, LRESULT& result);
  void OnMouseMove(POINT clientPoint);
  void OnLButtonDown(POINT clientPoint);
  void OnDestroy();

  bool PointOnLink(POINT clientPoint, RECT* linkScreenRect) const;
  void SetIcons();
  void ShowPicture();
  void OpenExtensionsPage();
  void OnOpenExtensionFolder();
  void ShowWarning(int control, UINT textId, bool* flag);
  void ShowPackageMissing();
  // Deletes the link label's font (it is made again on the next paint).
  void DropLinkFont();

  CStaticBox pictureBox_;
  ScopedFont linkFont_;
  int linkHover_ = 0;
  HICON largeIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  bool packageMissing_ = false;
  bool browserMissing_ = false;
  bool folderMissing_ = false;
  std::wstring noteText_;
  std::wstring unpackedHintText_;
};

}  // namespace kv
