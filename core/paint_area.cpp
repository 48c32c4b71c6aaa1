#include "core/paint_area.h"

#include <algorithm>

namespace kv {

namespace {

// How far a frame's pen (4 pixels at most, centred on the edge), the zoom
// frame or a handle reaches beyond the rectangle it is drawn on, at 96 dpi;
// it grows with the density as the handles and the zoom frame do.
constexpr int kPenReach = 4;

Rect Inflated(const Rect& r, int d) { return {r.left - d, r.top - d, r.right + d, r.bottom + d}; }

// Everything a plain picture draws besides the darkened screen.
Rect Footprint(const ShownPicture& p) {
  if (IsEmptyRect(p.selection)) return {};
  return BoundingRect(BoundingRect(Inflated(p.selection, p.scale.Px(kPenReach)), p.label),
                      p.magnifier);
}

}  // namespace

Rect BoundingRect(const Rect& a, const Rect& b) {
  if (IsEmptyRect(a)) return b;
  if (IsEmptyRect(b)) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

ShownPicture PlainPicture(const Rect& selection, bool selected, Point pointer, int w, int h,
                          UiScale scale) {
  return PlainPicture(selection, selected, pointer, SingleMonitor(w, h, scale.dpi));
}

ShownPicture PlainPicture(const Rect& selection, bool selected, Point pointer,
                          const Monitors& monitors) {
  ShownPicture p;
  const int regionMonitor = MonitorOfRect(monitors, selection);
  p.scale = regionMonitor >= 0 ? UiScale{monitors[regionMonitor].dpi} : UiScale{};
  p.known = true;
  p.plain = true;
  p.selection = selection;
  p.selected = selected;
  if (!IsEmptyRect(selection) && regionMonitor >= 0) {
    p.label = SizeLabelRect(selection, monitors[regionMonitor].area, p.scale);
  }
  const int pointerMonitor = MonitorOfPoint(monitors, pointer);
  if (!selected && !IsEmptyRect(selection) && pointerMonitor >= 0) {
    const UiScale scale{monitors[pointerMonitor].dpi};
    const MagnifierLayout m = LayoutMagnifier(pointer, monitors[pointerMonitor].area, true, scale);
    Rect all = m.box;
    for (const Rect& r : {m.zoomFrame, m.crossHorizontal, m.crossVertical, m.positionLine,
                          m.colourLine, m.tipLine}) {
      all = BoundingRect(all, r);
    }
    p.magnifier = Inflated(all, scale.Px(kPenReach));
    p.zoomSource = {m.zoomSource.x, m.zoomSource.y, m.zoomSource.x + kZoomSourceWidth,
                    m.zoomSource.y + kZoomSourceHeight};
  }
  return p;
}

Rect RepaintArea(const ShownPicture& before, const ShownPicture& now, int w, int h) {
  const Rect screen{0, 0, w, h};
  if (!before.known || !before.plain || !now.known || !now.plain) return screen;
  const bool sameRegion = before.selection == now.selection && before.selected == now.selected;
  if (sameRegion && before.magnifier == now.magnifier && before.zoomSource == now.zoomSource) {
    return {};  // the same picture
  }
  Rect area = sameRegion ? BoundingRect(before.magnifier, now.magnifier)
                         : BoundingRect(Footprint(before), Footprint(now));
  if (IsEmptyRect(area)) return {};
  area = BoundingRect(area, now.zoomSource);
  return ClipRect(area, w, h);
}

}  // namespace kv
