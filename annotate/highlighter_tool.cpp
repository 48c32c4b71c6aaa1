// The highlighter tool: a free-hand stroke of a wide round pen through every
// point the pointer reached, multiplied into the picture under it in the
// pen's colour.
//
// The stroke is kept as a mask over the region, and the region with the
// stroke tinted in as a layer. A move draws only its new segment on the
// mask and tints again only the part of the layer that segment touches,
// from the untinted picture and the whole mask, so where the stroke crosses
// itself the picture is tinted once, as the burn-in keeps it.
#include <algorithm>

#include "annotate/tool_drawing.h"
#include "core/highlighter.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"
#include "winutil/dib_section.h"

namespace kv {

namespace {

OverlayState& o = overlayState;

// The pixels of a top-down 32-bit section; empty when it is not one.
MutablePixelView ViewOf(HBITMAP section) {
  DIBSECTION info{};
  if (!section || GetObject(section, sizeof info, &info) != sizeof info || !info.dsBm.bmBits ||
      info.dsBm.bmBitsPixel != 32) {
    return {};
  }
  return {static_cast<uint8_t*>(info.dsBm.bmBits), info.dsBm.bmWidth, info.dsBm.bmHeight,
          info.dsBm.bmWidthBytes, 4};
}

// The layer and the mask for a stroke over `region`; false when either
// cannot be made (the mask starts black: a new section is zeroed).
bool StartLayers(HDC back, const Rect& region) {
  void* bits = nullptr;
  o.brushLayer.reset(CreateTopDownSection(back, region.Width(), region.Height(), &bits));
  o.highlighterMask.reset(CreateTopDownSection(back, region.Width(), region.Height(), &bits));
  o.brushLayerPoints = 0;
  if (ViewOf(o.brushLayer.get()).bits && ViewOf(o.highlighterMask.get()).bits) return true;
  o.brushLayer.reset();
  o.highlighterMask.reset();
  return false;
}

// Draws the stroke's segments from `from` - 1 onwards on the mask and
// returns what they cover, in the region's coordinates.
Rect ExtendMask(HDC mask, size_t from, const Rect& region, int width) {
  const std::vector<Point>& points = o.brushPoints;
  const size_t first = from < 1 ? 0 : from - 1;
  Rect touched{points[first].x, points[first].y, points[first].x, points[first].y};
  for (size_t i = first; i < points.size(); ++i) {
    touched = {std::min(touched.left, points[i].x), std::min(touched.top, points[i].y),
               std::max(touched.right, points[i].x), std::max(touched.bottom, points[i].y)};
  }
  LOGBRUSH white{BS_SOLID, RGB(255, 255, 255), 0};
  ScopedPen pen(ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND, width,
                             &white, 0, nullptr));
  ScopedSelect selectPen(mask, pen.get());
  MoveToEx(mask, points[first].x - region.left, points[first].y - region.top, nullptr);
  for (size_t i = first + 1; i < points.size(); ++i) {
    LineTo(mask, points[i].x - region.left, points[i].y - region.top);
  }
  return ClipRect(
      {touched.left - width - region.left, touched.top - width - region.top,
       touched.right + width + 1 - region.left, touched.bottom + width + 1 - region.top},
      region.Width(), region.Height());
}

}  // namespace

void DrawHighlighterTool(HDC back) {
  if (!StrokeShows()) return;
  std::vector<Point>& points = o.brushPoints;
  if (points.empty()) points.push_back(o.shapeStart);
  if (points.back() != o.shapeEnd) points.push_back(o.shapeEnd);
  o.shapeStart = o.shapeEnd;

  const Rect region = VisibleRegion();
  if (IsEmptyRect(region)) return;
  // The paint drew the region's picture into `back` only while there was no
  // layer; it is then where a new layer starts from.
  if (!o.highlighterMask && !StartLayers(back, region)) return;  // no memory: no stroke shown
  ScopedMemDC layerDC(CreateCompatibleDC(back));
  ScopedMemDC maskDC(CreateCompatibleDC(back));
  if (!layerDC || !maskDC) {
    return DrawRegionPicture(back, region, {region.left, region.top});  // the stroke not shown
  }
  ScopedSelect selectLayer(layerDC.get(), o.brushLayer.get());
  ScopedSelect selectMask(maskDC.get(), o.highlighterMask.get());
  const bool first = o.brushLayerPoints == 0;
  const int width = HighlighterWidth(o.penWidth, o.uiScale);
  Rect touched = ExtendMask(maskDC.get(), o.brushLayerPoints, region, width);
  o.brushLayerPoints = points.size();
  // The layer takes the untinted picture again where the stroke changed
  // (everywhere the first time, from `back`) and tints that part under the
  // whole mask.
  if (first) {
    BitBlt(layerDC.get(), 0, 0, region.Width(), region.Height(), back, region.left, region.top,
           SRCCOPY);
    touched = Rect{0, 0, region.Width(), region.Height()};
  } else if (!IsEmptyRect(touched)) {
    const Rect inWindow{touched.left + region.left, touched.top + region.top,
                        touched.right + region.left, touched.bottom + region.top};
    DrawRegionPicture(layerDC.get(), inWindow, {touched.left, touched.top});
  }
  if (!IsEmptyRect(touched)) {
    GdiFlush();
    const MutablePixelView layer = ViewOf(o.brushLayer.get());
    const MutablePixelView mask = ViewOf(o.highlighterMask.get());
    auto part = [&](const MutablePixelView& v) {
      return MutablePixelView{v.bits + size_t(touched.top) * v.stride + size_t(touched.left) * 4,
                              touched.Width(), touched.Height(), v.stride, 4};
    };
    const MutablePixelView maskPart = part(mask);
    MultiplyUnderMask(part(layer),
                      PixelView{maskPart.bits, maskPart.width, maskPart.height, maskPart.stride, 4},
                      GetRValue(o.penColor), GetGValue(o.penColor), GetBValue(o.penColor));
  }
  BitBlt(back, region.left, region.top, region.Width(), region.Height(), layerDC.get(), 0, 0,
         SRCCOPY);
}

}  // namespace kv
