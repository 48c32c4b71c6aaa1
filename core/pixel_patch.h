// Undo records that keep only what an annotation changed. A picture is a
// block of rows of packed pixels; a patch holds the earlier picture's
// pixels of every tile where the later picture differs, so that exchanging
// it with the later picture gives back the earlier one exactly.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/selection.h"

namespace kv {

// Rows of `height` lines, `stride` bytes apart, each `width` pixels of
// `bytesPerPixel` bytes. Row order does not matter as long as both
// pictures of a diff share it.
struct PixelView {
  const uint8_t* bits = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
  int bytesPerPixel = 3;
};
struct MutablePixelView {
  uint8_t* bits = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
  int bytesPerPixel = 3;
};

// Side of the square tiles a patch is cut into, in pixels.
constexpr int kPatchTile = 32;

struct PixelPatch {
  std::vector<Rect> tiles;     // in pixel (column, row) coordinates of the picture
  std::vector<uint8_t> bytes;  // the earlier picture's pixels, tile after tile, row by row
  // Memory held, in bytes.
  size_t Footprint() const { return bytes.capacity() + tiles.capacity() * sizeof(Rect); }
};

// The tiles where `after` differs from `before` (pictures of equal size and
// format), with `before`'s pixels. Empty when the two are identical. The
// record is allocated once at its final size; std::bad_alloc when there is
// no memory for it.
PixelPatch DiffPictures(const PixelView& before, const PixelView& after);

// Exchanges the patch's pixels with the picture's pixels of the same tiles:
// applied to the later picture of a diff it gives back the earlier one and
// leaves in the patch what was there, so that exchanging again gives the
// later one back (undo, then redo). False, with nothing changed, when a
// tile does not fit the picture.
bool ExchangePatch(const MutablePixelView& picture, PixelPatch& patch);

}  // namespace kv
