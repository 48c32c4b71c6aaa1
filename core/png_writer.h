// PNG files of opaque pictures (screen captures): 8-bit RGB, or a palette
// of 1, 2, 4 or 8 bits per pixel when the picture has at most 256 colours.
// Rows are filtered one by one (the filter whose output sums smallest) and
// compressed by the deflate of core/deflate.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace kv {

// Pixels where they lie: `height` rows of `width` pixels, blue, green, red
// (then one unused byte when bytesPerPixel is 4); each row starts `stride`
// bytes after the one above it (negative for a bottom-up bitmap).
struct BgrPixels {
  const uint8_t* top = nullptr;  // the top row's first pixel
  ptrdiff_t stride = 0;
  int width = 0;
  int height = 0;
  int bytesPerPixel = 4;  // 3 or 4
};

// Receives the file in pieces, in order; false stops the writing.
using PngSink = std::function<bool(const uint8_t* data, size_t size)>;

// Writes the picture as a PNG file into `sink`. False for a picture without
// pixels, a pixel size other than 3 or 4, or when the sink refused a piece.
bool WritePng(const BgrPixels& picture, const PngSink& sink);

// The whole file in memory; empty when WritePng fails.
std::vector<uint8_t> EncodePng(const BgrPixels& picture);

// CRC-32 of PNG chunks (and zip), continued from `crc` (0 to start).
uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t size);

}  // namespace kv
