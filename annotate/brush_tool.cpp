// The brush tool: a free-hand stroke from the press point through every
// point the pointer reached, each segment a solid line of the pen's width.
// Each paint while the button is held extends the stroke to the pointer.
//
// The stroke is drawn once, segment by segment, on a layer holding the
// region's picture, and the layer is what the paint shows: the same pixels
// as drawing every segment again on every paint, at the cost of one segment
// per move.
#include "annotate/tool_drawing.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"

namespace kv {

namespace {

OverlayState& o = overlayState;

// Draws segments `from` - 1 to `from` onwards of the stroke, shifted by
// `origin`.
void DrawSegments(HDC dc, size_t from, Point origin) {
  const std::vector<Point>& points = o.brushPoints;
  ScopedPen pen(CreatePen(PS_SOLID, o.penWidth, o.penColor));
  ScopedSelect selectPen(dc, pen.get());
  for (size_t i = from < 1 ? 1 : from; i < points.size(); ++i) {
    MoveToEx(dc, points[i - 1].x - origin.x, points[i - 1].y - origin.y, nullptr);
    LineTo(dc, points[i].x - origin.x, points[i].y - origin.y);
  }
}

// Starts the layer from the region as `back` shows it now (the capture
// with its annotations, before this stroke). False when it cannot be made.
bool StartLayer(HDC back, const Rect& region) {
  o.brushLayer.reset(CreateCompatibleBitmap(back, region.Width(), region.Height()));
  o.brushLayerPoints = 0;
  if (!o.brushLayer) return false;
  ScopedMemDC mem(CreateCompatibleDC(back));
  if (!mem) {
    o.brushLayer.reset();
    return false;
  }
  ScopedSelect select(mem.get(), o.brushLayer.get());
  BitBlt(mem.get(), 0, 0, region.Width(), region.Height(), back, region.left, region.top, SRCCOPY);
  return true;
}

}  // namespace

void DrawBrushTool(HDC back) {
  if (!StrokeShows()) return;
  std::vector<Point>& points = o.brushPoints;
  if (points.empty()) points.push_back(o.shapeStart);
  // A paint without a new point (a system repaint, a move along the last
  // row or column) would add a segment of no length: nothing is stored.
  if (points.back() != o.shapeEnd) points.push_back(o.shapeEnd);
  o.shapeStart = o.shapeEnd;

  const Rect region = VisibleRegion();
  if (!o.brushLayer && !StartLayer(back, region)) {
    DrawSegments(back, 1, Point{});  // no memory for a layer: the whole stroke again
    return;
  }
  ScopedMemDC mem(CreateCompatibleDC(back));
  if (!mem) return DrawSegments(back, 1, Point{});
  ScopedSelect select(mem.get(), o.brushLayer.get());
  DrawSegments(mem.get(), o.brushLayerPoints, Point{region.left, region.top});
  o.brushLayerPoints = points.size();
  BitBlt(back, region.left, region.top, region.Width(), region.Height(), mem.get(), 0, 0, SRCCOPY);
}

void EndBrushStroke() {
  o.brushPoints.clear();
  o.brushLayer.reset();
  o.highlighterMask.reset();
  o.brushLayerPoints = 0;
}

}  // namespace kv
