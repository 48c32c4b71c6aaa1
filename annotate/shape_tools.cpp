// The rectangle and ellipse tools: outlines in the pen's width and colour,
// the inside left as it is. GDI orders the corners, so any drag direction
// gives the same shape.
#include "annotate/tool_drawing.h"
#include "overlay/overlay_state.h"

namespace kv {

namespace {

OverlayState& o = overlayState;

template <typename Shape>
void DrawOutline(HDC back, Shape shape) {
  if (!StrokeShows()) return;
  ScopedPen pen(CreatePen(PS_SOLID, o.penWidth, o.penColor));
  ScopedSelect selectPen(back, pen.get());
  ScopedSelect selectBrush(back, GetStockObject(NULL_BRUSH));
  shape(back, o.shapeStart.x, o.shapeStart.y, o.shapeEnd.x, o.shapeEnd.y);
}

}  // namespace

void DrawRectangleTool(HDC back) { DrawOutline(back, Rectangle); }

void DrawEllipseTool(HDC back) { DrawOutline(back, Ellipse); }

}  // namespace kv
