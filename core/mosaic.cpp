#include "core/mosaic.h"

#include <algorithm>
#include <cstdint>

namespace kv {

namespace {

// The start of the grid cell holding `v`.
int CellStart(int v, int origin, int block) {
  const int offset = v - origin;
  const int cell = offset >= 0 ? offset / block : -((-offset + block - 1) / block);
  return origin + cell * block;
}

}  // namespace

int MosaicBlockSize(int penWidth, const UiScale& scale) {
  // At 96 dpi: the default (medium) block is as tall as a line of text at
  // the usual sizes, so no letter keeps a shape of its own.
  const int base = penWidth <= 1 ? 10 : penWidth <= 2 ? 16 : 24;
  return scale.Px(base);
}

void Pixelate(const MutablePixelView& p, const Rect& wanted, int block, Point gridOrigin) {
  if (!p.bits || block < 1 || (p.bytesPerPixel != 3 && p.bytesPerPixel != 4)) return;
  const Rect area{std::max(wanted.left, 0), std::max(wanted.top, 0),
                  std::min(wanted.right, p.width), std::min(wanted.bottom, p.height)};
  if (IsEmptyRect(area)) return;
  const int bpp = p.bytesPerPixel;
  for (int top = CellStart(area.top, gridOrigin.y, block); top < area.bottom; top += block) {
    const int y0 = std::max(top, area.top), y1 = std::min(top + block, area.bottom);
    for (int left = CellStart(area.left, gridOrigin.x, block); left < area.right; left += block) {
      const int x0 = std::max(left, area.left), x1 = std::min(left + block, area.right);
      uint64_t sum[3] = {0, 0, 0};
      for (int y = y0; y < y1; ++y) {
        const uint8_t* px = p.bits + size_t(y) * p.stride + size_t(x0) * bpp;
        for (int x = x0; x < x1; ++x, px += bpp) {
          sum[0] += px[0];
          sum[1] += px[1];
          sum[2] += px[2];
        }
      }
      const uint64_t n = uint64_t(x1 - x0) * uint64_t(y1 - y0);
      const uint8_t mean[3] = {static_cast<uint8_t>((sum[0] + n / 2) / n),
                               static_cast<uint8_t>((sum[1] + n / 2) / n),
                               static_cast<uint8_t>((sum[2] + n / 2) / n)};
      for (int y = y0; y < y1; ++y) {
        uint8_t* px = p.bits + size_t(y) * p.stride + size_t(x0) * bpp;
        for (int x = x0; x < x1; ++x, px += bpp) {
          px[0] = mean[0];
          px[1] = mean[1];
          px[2] = mean[2];
        }
      }
    }
  }
}

}  // namespace kv
