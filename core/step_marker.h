// The step-marker tool's geometry: numbered discs in the pen's colour,
// sized by the pen width, numbered in the order they were placed.
#pragma once

#include <vector>

#include "core/selection.h"
#include "core/ui_scale.h"

namespace kv {

// The disc's radius for the pen-size bar's three widths (1, 2, 5): 10, 13
// and 18 pixels at 96 dpi, scaled with the screen's density. Two digits
// fit in each.
int StepMarkerRadius(int penWidth, const UiScale& scale);

// The disc's bounding square, centred on `centre`.
Rect StepMarkerRect(Point centre, int radius);

// The number's font cell height for a disc of `radius`: about the disc's
// height less a margin, never under 8 pixels.
int StepMarkerFontHeight(int radius);

// The number is drawn in black on light discs (yellow, white, cyan, light
// green) and in white on all others, so that it stays readable.
bool StepMarkerNumberIsDark(int red, int green, int blue);

// The number the next marker gets: one more than the markers in the
// picture. `entryIsMarker` flags each annotation of the undo stack, oldest
// first; an undone marker is no longer counted, so the next one takes its
// number.
int NextStepNumber(const std::vector<bool>& entryIsMarker);

}  // namespace kv
