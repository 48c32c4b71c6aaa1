// Where the overlay's decorations go: the magnifier beside the pointer, the
// size label on the region, the toolbar and its option row, and the buttons
// inside the bars. Overlay client coordinates unless said otherwise.
#pragma once
#include <array>

#include "core/selection.h"
#include "core/ui_scale.h"

namespace kv {

struct Size {
  int width = 0;
  int height = 0;
};

// The magnifier: a box below and right of the pointer, moved left of it
// near the right edge and above it near the bottom edge. It shows 30 x 25
// screen pixels enlarged (4 times at 96 dpi, 120 x 100) above two text lines
// and the tip line; every length grows with the screen's density.
constexpr int kZoomSourceWidth = 30;  // screen pixels shown
constexpr int kZoomSourceHeight = 25;

struct MagnifierLayout {
  Rect box;
  int zoom = 4;      // the enlargement
  Size zoomSize;     // the enlarged picture, at the box's top-left
  Point zoomSource;  // top-left of the 30 x 25 source area
  Rect zoomFrame;
  Rect crossHorizontal;  // the bars of the cross-hair
  Rect crossVertical;
  Rect positionLine;  // "X:..,Y:.."
  Rect colourLine;    // "RGB:(..)"
  Rect tipLine;       // the request's tip text (only with one)
};
// On several monitors `monitor` is the area of the one holding the pointer:
// the box flips at its edges and is shifted onto it where it still sticks
// out (a monitor smaller than the box's flip distance).
MagnifierLayout LayoutMagnifier(Point pointer, const Rect& monitor, bool withTip,
                                UiScale scale = {});
// The same on one screen of w x h at (0, 0).
MagnifierLayout LayoutMagnifier(Point pointer, int screenWidth, int screenHeight, bool withTip,
                                UiScale scale = {});

// The label with the region's size (100 x 18 at 96 dpi), standing on its top
// edge, or at the top of the screen when there is no room above.
Rect SizeLabelRect(const Rect& region, UiScale scale = {});
// The same on several monitors: `monitor` is the area of the one holding
// the region's larger part; the label stands on the region inside it, else
// at its top, and is shifted sideways onto it.
Rect SizeLabelRect(const Rect& region, const Rect& monitor, UiScale scale = {});

// Top-left corner of the toolbar (size toolbar) for the region: under it,
// right-aligned, when there is room for the toolbar and the option row
// (optionRowHeight, 0 when no tool is active) plus 5 pixels; else inside
// its top-right corner when there is no room above either; else above it.
// x = 0 when the region is narrower than the toolbar from the left edge.
Point ToolbarOrigin(const Rect& region, Size toolbar, int optionRowHeight, int screenHeight,
                    UiScale scale = {});
// The same on several monitors: `monitor` is the area of the one holding
// the region's larger part, whose edges take the screen's part in the
// rules; the toolbar with its option row is then shifted onto that monitor
// where the region reaches past it.
Point ToolbarOrigin(const Rect& region, Size toolbar, int optionRowHeight, const Rect& monitor,
                    UiScale scale = {});

// The option bars shown for a tool, in a row from the toolbar's left edge:
// above the toolbar when the toolbar sits above the region, else below it.
// A bar that is not shown gets an empty rectangle.
struct OptionRowLayout {
  Rect colourBar;
  Rect penSizeBar;
  Rect textSizeBar;
};
OptionRowLayout LayoutOptionRow(int tool, const Rect& toolbar, int regionTop, Size colourBar,
                                Size penSizeBar, Size textSizeBar);

// Buttons in their bar's client coordinates, for artwork of the scale's set.
constexpr int kToolbarButtonCount = 13;
constexpr int kPenSizeButtonCount = 3;
std::array<Rect, kToolbarButtonCount> ToolbarButtonRects(
    const std::array<Size, kToolbarButtonCount>& images, UiScale scale = {});
std::array<Rect, kPenSizeButtonCount> PenSizeButtonRects(
    const std::array<Size, kPenSizeButtonCount>& images, UiScale scale = {});

// The 16 colour swatches of the colour bar (row 1 left to right, then row 2)
// and the square that shows the chosen colour.
constexpr int kSwatchCount = 16;
std::array<Rect, kSwatchCount> ColourSwatchRects(UiScale scale = {});
Rect ColourPreviewRect(UiScale scale = {});

}  // namespace kv
