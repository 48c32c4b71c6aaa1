// Geometry and state rules of the capture region: the resize handles, the
// dragged rectangle, moving and resizing a fixed region. All coordinates are
// overlay client coordinates (origin at the virtual screen's top-left).
#pragma once
#include <array>

namespace kv {

struct Point {
  int x = 0;
  int y = 0;
};
inline bool operator==(Point a, Point b) { return a.x == b.x && a.y == b.y; }
inline bool operator!=(Point a, Point b) { return !(a == b); }

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};
inline bool operator==(const Rect& a, const Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline bool operator!=(const Rect& a, const Rect& b) { return !(a == b); }

// Empty when right <= left or bottom <= top (crossed edges count as empty).
inline bool IsEmptyRect(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

// Left and top edges belong to the rectangle, right and bottom do not.
inline bool Contains(const Rect& r, Point p) {
  return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

// Swaps crossed edges so that left <= right and top <= bottom.
Rect NormalizedRect(const Rect& r);

// Cuts `r` to (0, 0, width, height); an empty result when nothing is left.
Rect ClipRect(const Rect& r, int width, int height);

// The rectangle spanned by two corners, edges ordered.
Rect SpanRect(Point a, Point b);

// The eight resize handles, index 1 to 8 (index 0 is unused): 5 x 5 squares
// at the corners and edge middles of the region.
constexpr int kHandleSize = 5;
using HandleRects = std::array<Rect, 9>;
HandleRects ComputeHandleRects(const Rect& region, int size = kHandleSize);

// The handle a point hits, tested from 8 down to 1 (the first hit wins);
// 0 when it hits none.
int HitHandle(const HandleRects& handles, Point p);

// The annotation tools (currentTool), in toolbar order.
enum ToolId : int {
  kNoTool = 0,
  kRectangleTool = 1,
  kEllipseTool = 2,
  kArrowTool = 3,
  kBrushTool = 4,
  kTextTool = 5,
  kMosaicTool = 6,
  kStepMarkerTool = 7,
  kHighlighterTool = 8,
};
constexpr int kToolCount = 8;
inline bool IsTool(int tool) { return tool >= kRectangleTool && tool <= kToolCount; }

// The selection part of the overlay state.
struct SelectionFields {
  Rect selection;
  bool selected = false;  // the region is fixed
  int selectPhase = 0;    // 0 not fixed, 1 button held after a press, 2 idle
  int hitHandle = 0;      // handle grabbed by the last press, 0 none
  bool moving = false;    // the last press grabbed the inside
  HandleRects handleRects{};
  Point pressPoint;
  bool pressed = false;  // the left button went down on the overlay, no region fixed
  Point dragAnchor;
  bool anchorSet = false;
  std::array<int, 4> resizeOffsets{};  // pointer to left, top, right, bottom
  std::array<int, 2> moveOffsets{};    // pointer to left, top
  std::array<int, 2> moveSize{};       // width, height at the press
  bool ready = false;                  // left-button releases are taken
  bool editMode = false;               // an annotation tool is active
  int currentTool = kNoTool;           // a ToolId
};

// The left button goes down on the overlay while no region is fixed.
void PressAt(SelectionFields& s, Point p);

// A pointer move with exactly the left button held while no region is
// fixed. Qualifies only after a press on the overlay (a button already held
// when the overlay appeared drags nothing) and when both coordinates differ
// from the press point; the first qualifying move becomes the anchor.
// Returns whether `selection` was set.
bool DragTo(SelectionFields& s, Point p);

// What a press on a fixed region grabbed.
struct GrabResult {
  bool handle = false;  // a resize handle (hitHandle set)
  bool inside = false;  // the region's inside (moving set)
};
// Left-button press on a fixed region with no tool active (selectPhase 1).
// A press on a handle corner that also lies inside the region sets both
// grabs; the handle wins while adjusting.
GrabResult GrabFixedRegion(SelectionFields& s, Point p);

enum class AdjustResult { kNone, kResized, kMoved };
// A pointer move with exactly the left button held after GrabFixedRegion
// (selectPhase 1; in any other phase nothing changes). Resizing neither clamps nor orders the
// edges; moving keeps the size and stops at the screen's edges.
AdjustResult AdjustTo(SelectionFields& s, Point p, int screenWidth, int screenHeight);

// The cursor a pointer over a fixed or adjusted region asks for: -1 none,
// 0 the move cursor, 1 to 8 a handle's cursor. The inside wins over a
// handle; nothing is asked while the button is held (selectPhase 1).
int FixedRegionCursor(const SelectionFields& s, Point p);

// True when the pointer lies outside a fixed, idle region and its handles,
// where the selection cursor is shown.
bool ShowsSelectCursor(const SelectionFields& s, Point p);

// A tool stroke's end point kept within the region: x below left becomes
// left, x above right becomes right - 1; likewise y.
Point ClampToRegion(const Rect& region, Point p);

// The region a capture is completed or saved with: crossed edges put in
// order, and cut to the virtual screen. Empty when nothing usable is left.
Rect OutputRegion(const Rect& selection, int screenWidth, int screenHeight);

}  // namespace kv
