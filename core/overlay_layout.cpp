#include "core/overlay_layout.h"

namespace kv {

MagnifierLayout LayoutMagnifier(Point p, int screenWidth, int screenHeight, bool withTip) {
  const int extra = withTip ? kTipLineHeight : 0;
  const int below = 25;                             // gap between pointer and box
  const int boxHeight = 140 + extra;                // zoom, two text lines, tip
  Rect box{p.x, p.y + below, p.x + kMagnifierWidth, p.y + below + boxHeight};
  if (screenWidth - p.x < kMagnifierWidth) {
    box.left = p.x - kMagnifierWidth;
    box.right = p.x;
  }
  if (screenHeight - p.y < below + boxHeight) {
    box.bottom = p.y;
    box.top = p.y - boxHeight;
  }
  MagnifierLayout m;
  m.box = box;
  // The pointer's pixel lands on the zoom block (48, 48)-(51, 51).
  m.zoomSource = {p.x - 12, p.y - 12};
  m.zoomFrame = {box.left + 1, box.top, box.left + kZoomWidth, box.top + kZoomHeight};
  m.crossHorizontal = {box.left + 2, box.top + 49, box.left + 118, box.top + 51};
  m.crossVertical = {box.left + 59, box.top + 1, box.left + 61, box.top + 98};
  m.positionLine = {box.left + 5, box.top + 102, box.right - 2, box.top + 122};
  m.colourLine = {box.left + 5, box.top + 118, box.right - 2, box.top + 140};
  m.tipLine = {box.left + 5, box.top + 134, box.right - 2, box.top + 158};
  return m;
}

Rect SizeLabelRect(const Rect& r) {
  const int w = 100, h = 18;
  if (r.top - h > 0) return {r.left, r.top - h, r.left + w, r.top};
  return {r.left, 0, r.left + w, h};
}

Point ToolbarOrigin(const Rect& r, Size toolbar, int optionRowHeight, int screenHeight) {
  const int w = toolbar.width, h = toolbar.height;
  const int room = h + optionRowHeight;
  Point at;
  if (r.bottom + room + 5 < screenHeight) {
    at = {r.right - w, r.bottom + 5};
  } else if (r.top - room - 5 < 0) {
    at = {r.right - w - 5, r.top + 5};
  } else {
    at = {r.right - w, r.top - h - 5};
  }
  if (r.right - w < 0) at.x = 0;
  return at;
}

OptionRowLayout LayoutOptionRow(int tool, const Rect& toolbar, int regionTop, Size colour,
                                Size penSize, Size textSize) {
  OptionRowLayout row;
  const int y = toolbar.top < regionTop ? toolbar.top - colour.height : toolbar.bottom;
  const int x = toolbar.left;
  auto place = [&](int left, int width) { return Rect{left, y, left + width, y + colour.height}; };
  switch (tool) {
    case kArrowTool:
      row.colourBar = place(x, colour.width);
      break;
    case kRectangleTool:
    case kEllipseTool:
    case kBrushTool:
      row.penSizeBar = place(x, penSize.width);
      row.colourBar = place(x + penSize.width, colour.width);
      break;
    case kTextTool:
      row.textSizeBar = place(x, textSize.width);
      row.colourBar = place(x + textSize.width, colour.width);
      break;
    case kMosaicTool:  // block sizes, no colour
      row.penSizeBar = place(x, penSize.width);
      break;
    default:
      break;
  }
  return row;
}

std::array<Rect, kToolbarButtonCount> ToolbarButtonRects(
    const std::array<Size, kToolbarButtonCount>& images) {
  // Left edge of button i is i * w + kOffset[i] with w the button's image
  // width: the six tools 2 pixels apart, then Undo/Save and Cancel/Complete
  // behind the bar's two separator lines. The last button counts with the
  // width of the one before it.
  static const int kOffset[kToolbarButtonCount] = {3, 5, 7, 9, 11, 13, 22, 24, 36, 38};
  std::array<Rect, kToolbarButtonCount> rects{};
  for (int i = 0; i < kToolbarButtonCount; ++i) {
    const int w = images[i].width;
    const int stepWidth = i == kToolbarButtonCount - 1 ? images[i - 1].width : w;
    const int left = i * stepWidth + kOffset[i];
    rects[i] = {left, 3, left + w, images[i].height + 3};
  }
  return rects;
}

std::array<Rect, kPenSizeButtonCount> PenSizeButtonRects(
    const std::array<Size, kPenSizeButtonCount>& images) {
  std::array<Rect, kPenSizeButtonCount> rects{};
  for (int i = 0; i < kPenSizeButtonCount; ++i) {
    const int w = images[i].width;
    const int left = i * w + 4 + 3 * i;
    rects[i] = {left, 3, left + w, images[i].height + 3};
  }
  return rects;
}

std::array<Rect, kSwatchCount> ColourSwatchRects() {
  std::array<Rect, kSwatchCount> rects{};
  for (int i = 0; i < kSwatchCount; ++i) {
    const int left = 38 + (i % 8) * 15;
    const int top = i < 8 ? 2 : 17;
    rects[i] = {left, top, left + 15, top + 15};
  }
  return rects;
}

}  // namespace kv
