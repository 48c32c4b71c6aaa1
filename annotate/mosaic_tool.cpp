// The mosaic tool: the dragged rectangle of the region is pixelated in
// blocks (small, medium or large, from the pen-size bar) on a grid that
// starts at the region's top-left corner, so that what lies under it cannot
// be read back. What the paint shows is what the burn-in keeps.
#include "annotate/tool_drawing.h"
#include "core/mosaic.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"
#include "winutil/dib_section.h"

namespace kv {

void DrawMosaicTool(HDC back) {
  OverlayState& o = overlayState;
  if (!StrokeShows()) return;
  const Rect region = VisibleRegion();
  const Rect dragged = SpanRect(o.shapeStart, o.shapeEnd);
  const Rect area{dragged.left > region.left ? dragged.left : region.left,
                  dragged.top > region.top ? dragged.top : region.top,
                  dragged.right < region.right ? dragged.right : region.right,
                  dragged.bottom < region.bottom ? dragged.bottom : region.bottom};
  if (IsEmptyRect(area)) return;

  // The area's pixels, top-down, 4 bytes each.
  void* bits = nullptr;
  ScopedBitmap pixels(CreateTopDownSection(back, area.Width(), area.Height(), &bits));
  ScopedMemDC mem(CreateCompatibleDC(back));
  if (!pixels || !bits || !mem) return;
  ScopedSelect select(mem.get(), pixels.get());
  BitBlt(mem.get(), 0, 0, area.Width(), area.Height(), back, area.left, area.top, SRCCOPY);
  GdiFlush();
  const MutablePixelView view{static_cast<uint8_t*>(bits), area.Width(), area.Height(),
                              area.Width() * 4, 4};
  Pixelate(view, Rect{0, 0, area.Width(), area.Height()}, MosaicBlockSize(o.penWidth, o.uiScale),
           Point{region.left - area.left, region.top - area.top});
  BitBlt(back, area.left, area.top, area.Width(), area.Height(), mem.get(), 0, 0, SRCCOPY);
}

}  // namespace kv
