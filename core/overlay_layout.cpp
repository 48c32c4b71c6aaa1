#include "core/overlay_layout.h"

#include <algorithm>
#include <climits>

#include "core/monitor_placement.h"

namespace kv {

namespace {

// Bounds that only the given edges limit.
constexpr int kFar = INT_MAX / 4;

}  // namespace

MagnifierLayout LayoutMagnifier(Point p, int screenWidth, int screenHeight, bool withTip,
                                UiScale scale) {
  return LayoutMagnifier(p, Rect{0, 0, screenWidth, screenHeight}, withTip, scale);
}

MagnifierLayout LayoutMagnifier(Point p, const Rect& monitor, bool withTip, UiScale scale) {
  MagnifierLayout m;
  m.zoom = scale.ZoomFactor();
  m.zoomSize = {kZoomSourceWidth * m.zoom, kZoomSourceHeight * m.zoom};
  const int width = m.zoomSize.width;
  const int zoomHeight = m.zoomSize.height;
  const int below = scale.Px(25);  // gap between pointer and box
  // The zoom, two text lines and the tip line.
  const int boxHeight = zoomHeight + scale.Px(40) + (withTip ? scale.Px(18) : 0);
  Rect box{p.x, p.y + below, p.x + width, p.y + below + boxHeight};
  if (monitor.right - p.x < width) {
    box.left = p.x - width;
    box.right = p.x;
  }
  if (monitor.bottom - p.y < below + boxHeight) {
    box.bottom = p.y;
    box.top = p.y - boxHeight;
  }
  box = ShiftInside(box, monitor);
  m.box = box;
  // The pointer's pixel is the twelfth of the source in each direction: at 4
  // times it lands on the zoom block (48, 48)-(51, 51).
  m.zoomSource = {p.x - 12, p.y - 12};
  m.zoomFrame = {box.left + 1, box.top, box.left + width, box.top + zoomHeight};
  const int bar = scale.Px(2);
  const int barTop = box.top + 12 * m.zoom + m.zoom / 2 - bar / 2;
  m.crossHorizontal = {box.left + 2, barTop, box.left + width - 2, barTop + bar};
  const int barLeft = box.left + width / 2 - bar / 2;
  m.crossVertical = {barLeft, box.top + 1, barLeft + bar, box.top + zoomHeight - 2};
  auto line = [&](int top, int bottom) {
    return Rect{box.left + scale.Px(5), box.top + zoomHeight + scale.Px(top),
                box.right - scale.Px(2), box.top + zoomHeight + scale.Px(bottom)};
  };
  m.positionLine = line(2, 22);
  m.colourLine = line(18, 40);
  m.tipLine = line(34, 58);
  return m;
}

Rect SizeLabelRect(const Rect& r, UiScale scale) {
  return SizeLabelRect(r, Rect{-kFar, 0, kFar, kFar}, scale);
}

Rect SizeLabelRect(const Rect& r, const Rect& monitor, UiScale scale) {
  const int w = scale.Px(100), h = scale.Px(18);
  const Rect label = r.top - h > monitor.top
                         ? Rect{r.left, r.top - h, r.left + w, r.top}
                         : Rect{r.left, monitor.top, r.left + w, monitor.top + h};
  return ShiftInside(label, monitor);
}

Point ToolbarOrigin(const Rect& r, Size toolbar, int optionRowHeight, int screenHeight,
                    UiScale scale) {
  return ToolbarOrigin(r, toolbar, optionRowHeight, Rect{0, 0, kFar, screenHeight}, scale);
}

Point ToolbarOrigin(const Rect& r, Size toolbar, int optionRowHeight, const Rect& monitor,
                    UiScale scale) {
  const int w = toolbar.width, h = toolbar.height;
  const int room = h + optionRowHeight;
  const int gap = scale.ArtPx(5);
  Point at;
  bool above = false;
  if (r.bottom + room + gap < monitor.bottom) {
    at = {r.right - w, r.bottom + gap};
  } else if (r.top - room - gap < monitor.top) {
    // Inside the top-right corner of the region's part on the monitor.
    at = {r.right - w - gap, std::max(r.top, monitor.top) + gap};
  } else {
    at = {r.right - w, r.top - h - gap};
    above = true;
  }
  if (r.right - w < monitor.left) at.x = monitor.left;
  if (at.x + w > monitor.right) at.x = monitor.right - w;
  // The toolbar and its option row (above it when the toolbar is above the
  // region) as one block on the monitor.
  const int blockTop = above ? at.y - optionRowHeight : at.y;
  const Rect block{at.x, blockTop, at.x + w, blockTop + room};
  const Rect placed = ShiftInside(block, {-kFar, monitor.top, kFar, monitor.bottom});
  at.y += placed.top - block.top;
  return at;
}

OptionRowLayout LayoutOptionRow(int tool, const Rect& toolbar, int regionTop, Size colour,
                                Size penSize, Size textSize) {
  OptionRowLayout row;
  const int y = toolbar.top < regionTop ? toolbar.top - colour.height : toolbar.bottom;
  const int x = toolbar.left;
  auto place = [&](int left, int width) { return Rect{left, y, left + width, y + colour.height}; };
  switch (tool) {
    case kArrowTool: row.colourBar = place(x, colour.width); break;
    case kRectangleTool:
    case kEllipseTool:
    case kBrushTool:
    case kStepMarkerTool:
    case kHighlighterTool:
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
    default: break;
  }
  return row;
}

std::array<Rect, kToolbarButtonCount> ToolbarButtonRects(
    const std::array<Size, kToolbarButtonCount>& images, UiScale scale) {
  // Left edge of button i is i * w + kOffset[i] with w the button's image
  // width: the tools 2 pixels apart, then Undo/Save/Pin and Cancel/Complete
  // behind the bar's two separator lines. The last button counts with the
  // width of the one before it. The gaps grow with the artwork.
  static const int kOffset[kToolbarButtonCount] = {3, 5, 7, 9, 11, 13, 15, 17, 26, 28, 30, 42, 44};
  std::array<Rect, kToolbarButtonCount> rects{};
  for (int i = 0; i < kToolbarButtonCount; ++i) {
    const int w = images[i].width;
    const int stepWidth = i == kToolbarButtonCount - 1 ? images[i - 1].width : w;
    const int left = i * stepWidth + scale.ArtPx(kOffset[i]);
    const int top = scale.ArtPx(3);
    rects[i] = {left, top, left + w, images[i].height + top};
  }
  return rects;
}

std::array<Rect, kPenSizeButtonCount> PenSizeButtonRects(
    const std::array<Size, kPenSizeButtonCount>& images, UiScale scale) {
  std::array<Rect, kPenSizeButtonCount> rects{};
  for (int i = 0; i < kPenSizeButtonCount; ++i) {
    const int w = images[i].width;
    const int left = i * w + scale.ArtPx(4 + 3 * i);
    const int top = scale.ArtPx(3);
    rects[i] = {left, top, left + w, images[i].height + top};
  }
  return rects;
}

// Each edge is scaled on its own, as the artwork draws them.
std::array<Rect, kSwatchCount> ColourSwatchRects(UiScale scale) {
  std::array<Rect, kSwatchCount> rects{};
  for (int i = 0; i < kSwatchCount; ++i) {
    const int left = 38 + (i % 8) * 15;
    const int top = i < 8 ? 2 : 17;
    rects[i] = {scale.ArtPx(left), scale.ArtPx(top), scale.ArtPx(left + 15), scale.ArtPx(top + 15)};
  }
  return rects;
}

Rect ColourPreviewRect(UiScale scale) {
  return {scale.ArtPx(9), scale.ArtPx(5), scale.ArtPx(33), scale.ArtPx(29)};
}

}  // namespace kv
