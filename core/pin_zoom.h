// The zoom of a pinned picture: the mouse wheel steps it by 10 percentage
// points between 10 % and 500 %, and the picture's point under the pointer
// stays under the pointer.
#pragma once

#include "core/selection.h"

namespace kv {

constexpr int kPinZoomMin = 10;
constexpr int kPinZoomMax = 500;
constexpr int kPinZoomStep = 10;

// The zoom after `notches` wheel notches (positive: larger), kept within
// 10 % and 500 %.
int PinZoomAfterWheel(int percent, int notches);

// The window's new top-left corner (screen coordinates) when the zoom goes
// from `oldPercent` to `newPercent` with the pointer at `pointer`.
Point PinOriginAfterZoom(Point origin, Point pointer, int oldPercent, int newPercent);

// The shown size of `length` picture pixels at `percent`, at least 1.
int PinShownLength(int length, int percent);

}  // namespace kv
