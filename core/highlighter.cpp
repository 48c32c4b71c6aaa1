#include "core/highlighter.h"

namespace kv {

int HighlighterWidth(int penWidth, const UiScale& scale) {
  const int base = penWidth <= 1 ? 10 : penWidth <= 2 ? 16 : 24;
  return scale.Px(base);
}

void MultiplyUnderMask(const MutablePixelView& p, const PixelView& mask, uint8_t red, uint8_t green,
                       uint8_t blue) {
  const bool formats = (p.bytesPerPixel == 3 || p.bytesPerPixel == 4) &&
                       (mask.bytesPerPixel == 3 || mask.bytesPerPixel == 4);
  if (!p.bits || !mask.bits || !formats || p.width != mask.width || p.height != mask.height) {
    return;
  }
  const unsigned factor[3] = {blue, green, red};
  for (int y = 0; y < p.height; ++y) {
    uint8_t* px = p.bits + size_t(y) * p.stride;
    const uint8_t* m = mask.bits + size_t(y) * mask.stride;
    for (int x = 0; x < p.width; ++x, px += p.bytesPerPixel, m += mask.bytesPerPixel) {
      if (!*m) continue;
      for (int c = 0; c < 3; ++c) px[c] = static_cast<uint8_t>((px[c] * factor[c] + 127) / 255);
    }
  }
}

}  // namespace kv
