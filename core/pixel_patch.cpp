#include "core/pixel_patch.h"

#include <algorithm>
#include <cstring>

namespace kv {

namespace {

bool SameFormat(const PixelView& a, const PixelView& b) {
  return a.bits && b.bits && a.width == b.width && a.height == b.height &&
         a.bytesPerPixel == b.bytesPerPixel && a.width > 0 && a.height > 0;
}

bool TileDiffers(const PixelView& a, const PixelView& b, const Rect& t) {
  const size_t offset = size_t(t.left) * a.bytesPerPixel;
  const size_t length = size_t(t.Width()) * a.bytesPerPixel;
  for (int y = t.top; y < t.bottom; ++y) {
    if (std::memcmp(a.bits + size_t(y) * a.stride + offset, b.bits + size_t(y) * b.stride + offset,
                    length) != 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

PixelPatch DiffPictures(const PixelView& before, const PixelView& after) {
  PixelPatch patch;
  if (!SameFormat(before, after)) return patch;
  const int bpp = before.bytesPerPixel;
  // The tiles first, then the pixels into a block reserved at its final
  // size: no growth that could fail halfway or leave spare capacity.
  size_t tileCount = 0, byteCount = 0;
  const auto forEachChangedTile = [&](auto visit) {
    for (int top = 0; top < before.height; top += kPatchTile) {
      const int bottom = top + kPatchTile < before.height ? top + kPatchTile : before.height;
      for (int left = 0; left < before.width; left += kPatchTile) {
        const int right = left + kPatchTile < before.width ? left + kPatchTile : before.width;
        const Rect tile{left, top, right, bottom};
        if (TileDiffers(before, after, tile)) visit(tile);
      }
    }
  };
  forEachChangedTile([&](const Rect& tile) {
    ++tileCount;
    byteCount += size_t(tile.Width()) * bpp * size_t(tile.Height());
  });
  patch.tiles.reserve(tileCount);
  patch.bytes.reserve(byteCount);
  forEachChangedTile([&](const Rect& tile) {
    patch.tiles.push_back(tile);
    const size_t length = size_t(tile.Width()) * bpp;
    for (int y = tile.top; y < tile.bottom; ++y) {
      const uint8_t* row = before.bits + size_t(y) * before.stride + size_t(tile.left) * bpp;
      patch.bytes.insert(patch.bytes.end(), row, row + length);
    }
  });
  return patch;
}

namespace {

bool Fits(const MutablePixelView& picture, const PixelPatch& patch) {
  const int bpp = picture.bytesPerPixel;
  size_t needed = 0;
  for (const Rect& t : patch.tiles) {
    if (t.left < 0 || t.top < 0 || t.right > picture.width || t.bottom > picture.height ||
        IsEmptyRect(t)) {
      return false;
    }
    needed += size_t(t.Width()) * bpp * t.Height();
  }
  return picture.bits && needed == patch.bytes.size();
}

// Calls visit(row of the picture, row of the patch, length) for every row
// of every tile.
template <typename Visit>
void ForEachRow(const MutablePixelView& picture, PixelPatch& patch, Visit visit) {
  const int bpp = picture.bytesPerPixel;
  uint8_t* saved = patch.bytes.data();
  for (const Rect& t : patch.tiles) {
    const size_t length = size_t(t.Width()) * bpp;
    for (int y = t.top; y < t.bottom; ++y) {
      visit(picture.bits + size_t(y) * picture.stride + size_t(t.left) * bpp, saved, length);
      saved += length;
    }
  }
}

}  // namespace

bool ExchangePatch(const MutablePixelView& picture, PixelPatch& patch) {
  if (!Fits(picture, patch)) return false;
  ForEachRow(picture, patch,
             [](uint8_t* row, uint8_t* saved, size_t n) { std::swap_ranges(row, row + n, saved); });
  return true;
}

}  // namespace kv
