// The brush tool: a free-hand stroke from the press point through every
// point the pointer reached, each segment a solid line of the pen's width.
// Each paint while the button is held extends the stroke to the pointer.
#include "annotate/tool_drawing.h"
#include "overlay/overlay_state.h"

namespace kv {

void DrawBrushTool(HDC back) {
  OverlayState& o = overlayState;
  if (!StrokeShows()) return;
  std::vector<Point>& points = o.brushPoints;
  if (points.empty()) points.push_back(o.shapeStart);
  // A paint without a new point (a system repaint, a move along the last
  // row or column) would add a segment of no length: nothing is stored.
  if (points.back() != o.shapeEnd) points.push_back(o.shapeEnd);
  o.shapeStart = o.shapeEnd;

  ScopedPen pen(CreatePen(PS_SOLID, o.penWidth, o.penColor));
  ScopedSelect selectPen(back, pen.get());
  for (size_t i = 1; i < points.size(); ++i) {
    MoveToEx(back, points[i - 1].x, points[i - 1].y, nullptr);
    LineTo(back, points[i].x, points[i].y);
  }
}

}  // namespace kv
