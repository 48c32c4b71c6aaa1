// The mosaic tool's pixelation: every block of a grid is filled with the
// average colour of its pixels, so that what lay under it cannot be read
// back.
#pragma once

#include "core/pixel_patch.h"
#include "core/selection.h"
#include "core/ui_scale.h"

namespace kv {

// Block sizes for the pen-size bar's three widths (1, 2, 5): small,
// medium (the default), large; 10, 16 and 24 pixels at 96 dpi, scaled with
// the screen's density. Smaller blocks leave text at the usual sizes
// guessable.
int MosaicBlockSize(int penWidth, const UiScale& scale);

// Pixelates `area` of `picture` (pixel coordinates) in square blocks of
// `block` pixels whose grid starts at `gridOrigin` (which may lie outside
// the picture). Blocks cut by the area's edges average only the pixels
// inside it; nothing outside the area changes. 3 or 4 bytes per pixel;
// with 4 the fourth byte is left as it is.
void Pixelate(const MutablePixelView& picture, const Rect& area, int block, Point gridOrigin);

}  // namespace kv
