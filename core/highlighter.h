// The highlighter: a wide stroke that tints what lies under it instead of
// covering it. Each pixel under the stroke is multiplied by the pen's
// colour, so dark text stays dark and a white page takes the colour.
#pragma once

#include <cstdint>

#include "core/pixel_patch.h"
#include "core/ui_scale.h"

namespace kv {

// The stroke's width for the pen-size bar's three widths (1, 2, 5): 10, 16
// and 24 pixels at 96 dpi, scaled with the screen's density.
int HighlighterWidth(int penWidth, const UiScale& scale);

// Multiplies every pixel of `picture` whose pixel in `mask` (the same size)
// has a non-zero first byte by the colour (red, green, blue), channel by
// channel: value * channel / 255, rounded. 3 or 4 bytes per pixel in
// B, G, R order; other formats and differing sizes change nothing. The
// stroke is applied once whatever its overlaps, as the mask holds it whole.
void MultiplyUnderMask(const MutablePixelView& picture, const PixelView& mask, uint8_t red,
                       uint8_t green, uint8_t blue);

}  // namespace kv
