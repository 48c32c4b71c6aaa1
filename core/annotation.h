// Geometry of the annotation tools: the arrow's head, where the text box
// goes, and how large the text tool's font is. Overlay client coordinates.
#pragma once

#include "core/selection.h"

namespace kv {

// The filled head of an arrow from `start` to `end`: a triangle with its
// tip at `end`, its base about 10 pixels back along the line and about 10
// pixels wide. `present` is false when the two points coincide (no
// direction, no head).
struct ArrowHead {
  bool present = false;
  Point p1;
  Point p2;
};
ArrowHead ComputeArrowHead(Point start, Point end);

// The text box dragged from `start` to `end` (end already kept within the
// region): one pixel in from the dragged rectangle's top-left corner, two
// pixels smaller than it, but at least 10 x 20.
constexpr int kTextBoxMinWidth = 10;
constexpr int kTextBoxMinHeight = 20;
Rect TextBoxRect(Point start, Point end);

// The text tool's font cell height in pixels for a size in points on a
// device with `dpi` vertical pixels per inch: size * dpi / 72, rounded to
// the nearest integer (16 for 12 points at 96 dpi).
int TextCellHeight(int pointSize, int dpi);

// The dashed frame drawn around the open text box: one pixel outside it.
Rect TextBoxFrame(const Rect& box);

}  // namespace kv
