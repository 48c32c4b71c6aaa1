// The highlighter tool: a free-hand stroke of a wide round pen through every
// point the pointer reached, multiplied into the picture under it in the
// pen's colour. The whole stroke is laid as one mask each paint, so where
// it crosses itself the picture is tinted once, as the burn-in keeps it.
#include <algorithm>

#include "annotate/tool_drawing.h"
#include "core/highlighter.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"
#include "winutil/dib_section.h"

namespace kv {

namespace {

// A top-down 32-bit section of w x h and its pixels.
struct Section {
  ScopedBitmap bitmap;
  MutablePixelView view;
};

Section MakeSection(HDC dc, int w, int h) {
  void* bits = nullptr;
  Section s;
  s.bitmap.reset(CreateTopDownSection(dc, w, h, &bits));
  if (s.bitmap && bits) s.view = {static_cast<uint8_t*>(bits), w, h, w * 4, 4};
  return s;
}

}  // namespace

void DrawHighlighterTool(HDC back) {
  OverlayState& o = overlayState;
  if (!StrokeShows()) return;
  std::vector<Point>& points = o.brushPoints;
  if (points.empty()) points.push_back(o.shapeStart);
  if (points.back() != o.shapeEnd) points.push_back(o.shapeEnd);
  o.shapeStart = o.shapeEnd;

  // The stroke's bounds, widened by the pen, within the region.
  const int width = HighlighterWidth(o.penWidth, o.uiScale);
  Rect area{points[0].x, points[0].y, points[0].x, points[0].y};
  for (const Point& p : points) {
    area = {std::min(area.left, p.x), std::min(area.top, p.y), std::max(area.right, p.x),
            std::max(area.bottom, p.y)};
  }
  const Rect region = VisibleRegion();
  area = {std::max(area.left - width, region.left), std::max(area.top - width, region.top),
          std::min(area.right + width + 1, region.right),
          std::min(area.bottom + width + 1, region.bottom)};
  if (IsEmptyRect(area)) return;

  Section picture = MakeSection(back, area.Width(), area.Height());
  Section mask = MakeSection(back, area.Width(), area.Height());
  ScopedMemDC pictureDC(CreateCompatibleDC(back));
  ScopedMemDC maskDC(CreateCompatibleDC(back));
  if (!picture.view.bits || !mask.view.bits || !pictureDC || !maskDC) return;
  ScopedSelect selectPicture(pictureDC.get(), picture.bitmap.get());
  ScopedSelect selectMask(maskDC.get(), mask.bitmap.get());
  BitBlt(pictureDC.get(), 0, 0, area.Width(), area.Height(), back, area.left, area.top, SRCCOPY);
  {
    // The mask starts black (a new section is zeroed); the stroke is white.
    LOGBRUSH white{BS_SOLID, RGB(255, 255, 255), 0};
    ScopedPen pen(ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND, width,
                               &white, 0, nullptr));
    ScopedSelect selectPen(maskDC.get(), pen.get());
    MoveToEx(maskDC.get(), points[0].x - area.left, points[0].y - area.top, nullptr);
    for (size_t i = 1; i < points.size(); ++i) {
      LineTo(maskDC.get(), points[i].x - area.left, points[i].y - area.top);
    }
  }
  GdiFlush();
  MultiplyUnderMask(picture.view,
                    PixelView{mask.view.bits, mask.view.width, mask.view.height, mask.view.stride,
                              mask.view.bytesPerPixel},
                    GetRValue(o.penColor), GetGValue(o.penColor), GetBValue(o.penColor));
  BitBlt(back, area.left, area.top, area.Width(), area.Height(), pictureDC.get(), 0, 0, SRCCOPY);
}

}  // namespace kv
