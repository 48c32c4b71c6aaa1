// The one record of the capture overlay, shared by the overlay window, its
// painting and the annotation editor. Every point and rectangle is in
// overlay client coordinates: (0, 0) is the virtual screen's top-left
// corner, and pixel (x, y) of both snapshots is client (x, y).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "core/monitor_placement.h"
#include "core/pixel_patch.h"
#include "core/selection.h"
#include "core/ui_scale.h"
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
  kCmdRedo = 33012,
  kCmdAddMosaic = 33013,
  kCmdAddStepMarker = 33014,
  kCmdHighlighter = 33015,
  kCmdPin = 33016,
};

// The annotations burned into the region so far. `top` is the region with
// all of them (absent while there are none: the plain capture shows); each
// entry keeps what its annotation changed, so that undo puts back the
// picture from before it pixel for pixel without a full copy per entry.
struct SnapshotStack {
  ScopedBitmap top;                 // 24-bit bottom-up section of the region
  std::vector<PixelPatch> entries;  // oldest first
  // What undo took away, the last undone last: exchanged back by redo,
  // forgotten when a new annotation is made.
  std::vector<PixelPatch> redo;
  // Whether each entry (and each of redo) is a step marker: the markers
  // left in the picture give the next one its number.
  std::vector<bool> entryIsMarker;
  std::vector<bool> redoIsMarker;

  bool empty() const { return entries.empty(); }
  size_t size() const { return entries.size(); }
  void clear() {
    entries.clear();
    redo.clear();
    entryIsMarker.clear();
    redoIsMarker.clear();
    top.reset();
  }
};

// The last window snap: where the pointer was and the region it gave. A
// move that finds both unchanged (a move message without a move) needs no
// new search.
struct WindowSnap {
  POINT pointer{};
  Rect region;
  bool made = false;
};

struct OverlayState : SelectionFields {
  HWND notifyWindow = nullptr;
  std::string fileName;
  RECT screenRect{};  // the virtual screen, screen coordinates
  // The density the toolbar and its bars are drawn for: that of the monitor
  // the pointer was on when the overlay opened, then that of the monitor
  // holding the region. The magnifier, label and handles take the density
  // of the monitor they are drawn on (see monitors).
  UiScale uiScale;
  // The monitors as the capture started, in overlay client coordinates.
  Monitors monitors;
  WindowSnap lastSnap;
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
  // shapeEnd has been set by a qualifying move of the current stroke ((0, 0)
  // is a real point of a region at the screen's top-left corner).
  bool shapeEndSet = false;
  COLORREF penColor = 0;
  int penWidth = 0;
  int textPointSize = 12;
  SnapshotStack snapshotStack;
  std::vector<Point> brushPoints;
  // While the brush is held: the region's picture with the stroke drawn so
  // far (its first brushLayerPoints points), so that a move draws only its
  // new segment however long the stroke has grown.
  ScopedBitmap brushLayer;
  size_t brushLayerPoints = 0;
  // While the highlighter is held: the stroke's mask over the region (white
  // where it has passed), drawn as far as brushLayerPoints; brushLayer is
  // then the region with the stroke tinted in.
  ScopedBitmap highlighterMask;
  // The last committed text, kept as the box holds it (UTF-16), so that any
  // script typed or pasted reaches the picture whatever the code page.
  std::wstring textString;
  ScopedFont textBoxFont;  // the font the text box currently uses
  // The overlay is being destroyed: a text box losing the focus now commits
  // nothing, and a stroke cut short is dropped.
  bool closing = false;

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
