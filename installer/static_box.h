// The picture control of the install assistant: a drag source carrying the
// extension package next to the program, and a drop target that shows a
// dropped bitmap file.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "installer/drop_target.h"
#include "installer/window_layer.h"
#include "winutil/module_path.h"

namespace kv {

// Path of "KvCapture.crx" in the program's own folder; empty when the
// program's path cannot be read.
std::wstring PackagePath();
// The package file is there (and is no folder).
bool PackageFound();
// Bitmap resource `base` (its 100 % form) in the artwork set for that DPI.
HBITMAP LoadArt(int base, UINT dpi);
// A CF_HDROP block (DROPFILES header, wide names) naming one file; the
// caller owns it. Null when it cannot be allocated.
HGLOBAL BuildFileList(const std::wstring& path);

class CStaticDropTarget final : public CIDropTarget, public LiveObjects<CStaticDropTarget> {
 public:
  explicit CStaticDropTarget(HWND control) : CIDropTarget(control), control_(control) {}

 protected:
  // Shows the first dropped file when it is a loadable bitmap file.
  bool OnDrop(const FORMATETC& format, STGMEDIUM& medium, DWORD* effect) override;

 private:
  HWND control_;
};

class CStaticBox : public CSubclassedWindow {
 public:
  CStaticBox() = default;

  // Registers the control as a drop target for file lists.
  bool InitDropTarget();
  // Called instead of a drag when the package file is missing.
  void SetPackageMissingHandler(std::function<void()> handler) {
    packageMissing_ = std::move(handler);
  }

  CStaticDropTarget* dropTarget() const { return dropTarget_; }
  bool buttonDown() const { return buttonDown_; }

 protected:
  bool ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void OnLButtonDown();
  void OnMouseMove(UINT keyState);
  void OnDestroy();
  // Draws the picture itself, the same under every version of the common
  // controls: at its own size, centred, on the colour of its top-left pixel.
  void OnPaint();
  // Runs the drag of the package (blocks until it is dropped or cancelled).
  void BeginPackageDrag(UINT keyState);

  CStaticDropTarget* dropTarget_ = nullptr;
  bool buttonDown_ = false;
  std::function<void()> packageMissing_;
};

}  // namespace kv
