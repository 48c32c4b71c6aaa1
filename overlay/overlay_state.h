// The one record of the capture overlay, shared by the overlay window, its
// painting and the annotation editor. Every point and rectangle is in
// overlay client coordinates: (0, 0) is the virtual screen's top-left
// corner, and pixel (x, y) of both snapshots is client (x, y).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "core/selection.h"
#include "winutil/scoped_win.h"

namespace kv {

// The overlay window class.
extern const char kOverlayClass[];

// Context menu commands.
enum OverlayCommand : UINT {
  kCmdAddRectangle = 33002,
  kCmdAddEllipse = 33003,
  kCmdAddArrow = 33004,
  kCmdBrushTool = 33005,
  kCmdAddText = 33006,
  kCmdUndo = 33007,
  kCmdResetCapture = 33008,
  kCmdCompleteCapture = 33009,
  kCmdSaveAs = 33010,
  kCmdCancelCapture = 33011,
};

struct OverlayState : SelectionFields {
  HWND notifyWindow = nullptr;
  std::string fileName;
  RECT screenRect{};  // the virtual screen, screen coordinates
  ScopedBitmap screenSnapshot;
  ScopedBitmap dimmedSnapshot;
  ScopedBitmap composedImage;  // 24-bit section of the region, made by a composing paint
  bool composeFlag = false;

  HWND overlayWindow = nullptr;
  HWND toolbarWindow = nullptr;
  HWND optionBars[3] = {};  // colour, pen size, text size
  HWND textEdit = nullptr;
  HWND fontSizeCombo = nullptr;
  HWND tooltipWindow = nullptr;
  ScopedMenu contextMenu;
  ScopedBitmap toolbarBitmaps[4];  // backgrounds of the toolbar and the three bars
  HCURSOR handleCursors[9] = {};   // 0 move, 1 to 8 the resize handles
  HCURSOR selectCursor = nullptr;
  HCURSOR toolCursor = nullptr;

  bool shapeInProgress = false;
  Point shapeStart;
  Point shapeEnd;
  COLORREF penColor = 0;
  int penWidth = 0;
  int textPointSize = 12;
  std::vector<ScopedBitmap> snapshotStack;  // oldest first; the last one is shown
  std::vector<Point> brushPoints;
  std::string textString;

  // A modal loop that the overlay owns is running (the Save As dialog, the
  // context menu). Escape then belongs to that loop, and the overlay must
  // outlive it.
  bool modalLoopOpen = false;
  // Escape was down when the overlay opened or a modal loop of it ended
  // (it closed that loop) and has not been released since: it does not
  // cancel.
  bool escapeHeldOver = false;

  int ScreenWidth() const { return screenRect.right - screenRect.left; }
  int ScreenHeight() const { return screenRect.bottom - screenRect.top; }
};

extern OverlayState overlayState;

inline RECT ToRECT(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }
inline Rect FromRECT(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }

}  // namespace kv
