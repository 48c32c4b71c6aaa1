// The arrow tool: a 1-pixel line from the press point to the pointer and a
// filled head at the pointer, both in the pen's colour (the pen's width is
// not used).
#include "annotate/tool_drawing.h"
#include "core/annotation.h"
#include "overlay/overlay_state.h"

namespace kv {

void DrawArrowTool(HDC back) {
  OverlayState& o = overlayState;
  if (!StrokeShows()) return;
  const Point s = o.shapeStart, e = o.shapeEnd;
  const ArrowHead head = ComputeArrowHead(s, e);
  ScopedPen pen(CreatePen(PS_SOLID, 1, o.penColor));
  ScopedBrush fill(CreateSolidBrush(o.penColor));
  ScopedSelect selectPen(back, pen.get());
  ScopedSelect selectBrush(back, fill.get());
  MoveToEx(back, s.x, s.y, nullptr);
  LineTo(back, e.x, e.y);
  if (!head.present) return;
  const POINT triangle[3] = {{e.x, e.y}, {head.p1.x, head.p1.y}, {head.p2.x, head.p2.y}};
  Polygon(back, triangle, 3);
}

}  // namespace kv
