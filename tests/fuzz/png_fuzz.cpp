// The PNG writer: any picture (size, pixel size, row order and pixels from
// the input) is written as a file that zlib inflates and whose pixels are
// the picture's.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/png_writer.h"
#include "fuzz_check.h"
#include "png_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int width = 1 + data[0] % 64;
  const int height = 1 + data[1] % 32;
  const int bpp = data[2] & 1 ? 4 : 3;
  const bool bottomUp = data[2] & 2;
  // Few distinct bytes make palettes and runs; the input's bytes repeat.
  const int alphabet = data[2] & 4 ? 256 : 1 + (data[2] >> 3) % 8;
  data += 3;
  size -= 3;
  const size_t stride = static_cast<size_t>(width) * bpp + 1;  // one spare byte
  std::vector<uint8_t> pixels(stride * height);
  for (size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = size ? static_cast<uint8_t>(data[i % size] % alphabet * (256 / alphabet)) : 0;
  }
  kv::BgrPixels view;
  view.width = width;
  view.height = height;
  view.bytesPerPixel = bpp;
  view.stride = bottomUp ? -static_cast<ptrdiff_t>(stride) : static_cast<ptrdiff_t>(stride);
  view.top = pixels.data() + (bottomUp ? stride * (height - 1) : 0);
  const std::vector<uint8_t> file = kv::EncodePng(view);
  kvtest::DecodedPng png;
  KV_CHECK(kvtest::DecodePng(file, png).empty());
  KV_CHECK(png.width == width && png.height == height);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = view.top + y * view.stride;
    for (int x = 0; x < width; ++x) {
      const uint8_t* want = row + x * bpp;
      const uint8_t* got = &png.rgb[3 * (static_cast<size_t>(y) * width + x)];
      KV_CHECK(got[0] == want[2] && got[1] == want[1] && got[2] == want[0]);
    }
  }
  return 0;
}
