#include "core/selection.h"

#include <algorithm>

namespace kv {

Rect NormalizedRect(const Rect& r) {
  return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
          std::max(r.top, r.bottom)};
}

Rect ClipRect(const Rect& r, int width, int height) {
  Rect c{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width),
         std::min(r.bottom, height)};
  if (IsEmptyRect(c)) return Rect{};
  return c;
}

Rect SpanRect(Point a, Point b) {
  return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

HandleRects ComputeHandleRects(const Rect& r, int size) {
  // Integer division truncates toward zero, as the handle rule asks. A
  // handle reaches `a` pixels before an edge or centre line (2 of 5).
  const int mx = (r.left + r.right) / 2;
  const int my = (r.top + r.bottom) / 2;
  const int a = size / 2, b = size - a;
  const Point corners[9] = {
      {0, 0},
      {r.left - a, r.top - a},
      {mx - a, r.top - a},
      {r.right - b, r.top - a},
      {r.left - a, my - a},
      {r.right - b, my - a},
      {r.left - a, r.bottom - b},
      {mx - a, r.bottom - b},
      {r.right - b, r.bottom - b},
  };
  HandleRects h{};
  for (int i = 1; i <= 8; ++i) {
    h[i] = {corners[i].x, corners[i].y, corners[i].x + size, corners[i].y + size};
  }
  return h;
}

int HitHandle(const HandleRects& handles, Point p) {
  for (int i = 8; i >= 1; --i) {
    if (Contains(handles[i], p)) return i;
  }
  return 0;
}

void PressAt(SelectionFields& s, Point p) {
  s.pressPoint = p;
  s.pressed = true;
}

bool DragTo(SelectionFields& s, Point p) {
  if (!s.pressed || p.x == s.pressPoint.x || p.y == s.pressPoint.y) return false;
  if (!s.anchorSet) {
    s.dragAnchor = p;
    s.anchorSet = true;
  }
  s.selection = SpanRect(s.dragAnchor, p);
  return true;
}

GrabResult GrabFixedRegion(SelectionFields& s, Point p) {
  GrabResult grab;
  s.selectPhase = 1;
  s.hitHandle = 0;
  const Rect& r = s.selection;
  int handle = HitHandle(s.handleRects, p);
  if (handle != 0) {
    s.hitHandle = handle;
    s.resizeOffsets = {p.x - r.left, p.y - r.top, r.right - p.x, r.bottom - p.y};
    grab.handle = true;
  }
  if (Contains(r, p)) {
    s.moveOffsets = {p.x - r.left, p.y - r.top};
    s.moveSize = {r.right - r.left, r.bottom - r.top};
    s.moving = true;
    grab.inside = true;
  }
  return grab;
}

AdjustResult AdjustTo(SelectionFields& s, Point p, int screenWidth, int screenHeight) {
  // Only a press on the fixed region (Adjusting) lets the pointer reshape
  // it; a button held since a press elsewhere finds the last grab stale.
  if (s.selectPhase != 1) return AdjustResult::kNone;
  Rect& r = s.selection;
  const auto& d = s.resizeOffsets;
  switch (s.hitHandle) {
    case 1:
      r.left = p.x - d[0];
      r.top = p.y - d[1];
      return AdjustResult::kResized;
    case 2: r.top = p.y - d[1]; return AdjustResult::kResized;
    case 3:
      r.top = p.y - d[1];
      r.right = p.x + d[2];
      return AdjustResult::kResized;
    case 4: r.left = p.x - d[0]; return AdjustResult::kResized;
    case 5: r.right = p.x + d[2]; return AdjustResult::kResized;
    case 6:
      r.left = p.x - d[0];
      r.bottom = p.y + d[3];
      return AdjustResult::kResized;
    case 7: r.bottom = p.y + d[3]; return AdjustResult::kResized;
    case 8:
      r.right = p.x + d[2];
      r.bottom = p.y + d[3];
      return AdjustResult::kResized;
    default: break;
  }
  if (!s.moving) return AdjustResult::kNone;
  const int w = s.moveSize[0];
  const int h = s.moveSize[1];
  r.left = std::max(p.x - s.moveOffsets[0], 0);
  r.top = std::max(p.y - s.moveOffsets[1], 0);
  r.right = r.left + w;
  r.bottom = r.top + h;
  if (r.right > screenWidth) {
    r.right = screenWidth;
    r.left = screenWidth - w;
  }
  if (r.bottom > screenHeight) {
    r.bottom = screenHeight;
    r.top = screenHeight - h;
  }
  return AdjustResult::kMoved;
}

int FixedRegionCursor(const SelectionFields& s, Point p) {
  if (s.selectPhase != 2) return -1;
  if (Contains(s.selection, p)) return 0;
  int handle = HitHandle(s.handleRects, p);
  return handle != 0 ? handle : -1;
}

bool ShowsSelectCursor(const SelectionFields& s, Point p) {
  return s.selected && s.selectPhase == 2 && !Contains(s.selection, p) &&
         HitHandle(s.handleRects, p) == 0;
}

Point ClampToRegion(const Rect& r, Point p) {
  if (p.x < r.left) p.x = r.left;
  if (p.x > r.right) p.x = r.right - 1;
  if (p.y < r.top) p.y = r.top;
  if (p.y > r.bottom) p.y = r.bottom - 1;
  return p;
}

Rect OutputRegion(const Rect& selection, int screenWidth, int screenHeight) {
  return ClipRect(NormalizedRect(selection), screenWidth, screenHeight);
}

}  // namespace kv
