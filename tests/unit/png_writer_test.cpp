// The PNG writer: what it writes reads back, through an independent reader
// (zlib's inflate and crc32), as the very pixels it was given.
#include "core/png_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "png_decode.h"

namespace {

// A 32-bit bottom-up picture (as a capture section holds it) from RGB
// colours given top row first.
struct Bitmap {
  int width, height;
  std::vector<uint8_t> bgrx;
  Bitmap(int w, int h) : width(w), height(h), bgrx(4 * static_cast<size_t>(w) * h, 0xEE) {}
  void Set(int x, int y, uint32_t rgb) {
    uint8_t* p = &bgrx[4 * (static_cast<size_t>(height - 1 - y) * width + x)];
    p[0] = static_cast<uint8_t>(rgb);
    p[1] = static_cast<uint8_t>(rgb >> 8);
    p[2] = static_cast<uint8_t>(rgb >> 16);
  }
  kv::BgrPixels View() const {
    const ptrdiff_t stride = 4 * static_cast<ptrdiff_t>(width);
    return kv::BgrPixels{bgrx.data() + (height - 1) * stride, -stride, width, height, 4};
  }
};

template <typename Colour>
Bitmap Make(int w, int h, Colour colour) {
  Bitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.Set(x, y, colour(x, y));
  return b;
}

// Decodes `file` and compares every pixel with `b`; returns the reader.
kvtest::DecodedPng ExpectSamePixels(const Bitmap& b, const std::vector<uint8_t>& file) {
  kvtest::DecodedPng png;
  EXPECT_EQ(kvtest::DecodePng(file, png), "");
  EXPECT_EQ(png.width, b.width);
  EXPECT_EQ(png.height, b.height);
  for (int y = 0; y < b.height && png.rgb.size() == 3u * b.width * b.height; ++y) {
    for (int x = 0; x < b.width; ++x) {
      const uint8_t* want = &b.bgrx[4 * (static_cast<size_t>(b.height - 1 - y) * b.width + x)];
      const uint8_t* got = &png.rgb[3 * (static_cast<size_t>(y) * b.width + x)];
      if (got[0] != want[2] || got[1] != want[1] || got[2] != want[0]) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") of " << b.width << " x " << b.height;
        return png;
      }
    }
  }
  return png;
}

uint32_t Noise(std::mt19937& rng) { return rng() & 0xFFFFFF; }

TEST(PngWriter, EveryWidthOfPaletteAndRgbPicturesReadsBack) {
  // Widths 1 to 17 cross every packing of 1, 2 and 4 bits and every tail
  // of the filters; 2, 4, 16, 256 colours and noise give each depth.
  std::mt19937 rng(7);
  for (int width = 1; width <= 17; ++width) {
    for (int colours : {2, 4, 16, 256, 0}) {
      Bitmap b = Make(width, 9, [&](int x, int y) {
        return colours ? ((x * 7 + y * 3) % colours) * 0x010203u : Noise(rng);
      });
      kvtest::DecodedPng png = ExpectSamePixels(b, kv::EncodePng(b.View()));
      const int used = colours ? std::min(colours, width * 9) : 0;
      if (colours && used <= 256) {
        EXPECT_EQ(png.colourType, 3);
        EXPECT_EQ(png.bitDepth, used <= 2 ? 1 : used <= 4 ? 2 : used <= 16 ? 4 : 8);
      }
    }
  }
}

TEST(PngWriter, PaletteUpTo256ColoursRgbFrom257) {
  for (int colours : {1, 256, 257}) {
    Bitmap b = Make(64, 5, [&](int x, int y) { return ((y * 64 + x) % colours) * 0x0107F3u; });
    kvtest::DecodedPng png = ExpectSamePixels(b, kv::EncodePng(b.View()));
    EXPECT_EQ(png.colourType, colours <= 256 ? 3 : 2) << colours;
    if (colours <= 256) EXPECT_EQ(png.paletteSize, static_cast<size_t>(colours));
  }
}

TEST(PngWriter, WideNoiseAndRunsReadBack) {
  // Wider than 4096 pixels: rows longer than the deflate window, long
  // runs and matches across pieces, stored blocks for the noise.
  std::mt19937 rng(11);
  Bitmap b = Make(4103, 70, [&](int x, int y) {
    if (y % 3 == 0) return Noise(rng);
    return (x / 97 + y / 10) % 2 ? 0xFFFFFFu : static_cast<uint32_t>(x * 2654435761u) & 0xFFFFFF;
  });
  ExpectSamePixels(b, kv::EncodePng(b.View()));
}

TEST(PngWriter, ThreeBytePixelsTopDownRows) {
  std::vector<uint8_t> bgr(3 * 5 * 4);
  for (size_t i = 0; i < bgr.size(); ++i) bgr[i] = static_cast<uint8_t>(i * 37);
  kv::BgrPixels view{bgr.data(), 15, 5, 4, 3};
  kvtest::DecodedPng png;
  ASSERT_EQ(kvtest::DecodePng(kv::EncodePng(view), png), "");
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(png.rgb[3 * i], bgr[3 * i + 2]);
    EXPECT_EQ(png.rgb[3 * i + 2], bgr[3 * i]);
  }
}

TEST(PngWriter, RefusesPicturesWithoutPixelsAndStopsWhenTheSinkFails) {
  uint8_t pixel[4] = {};
  EXPECT_TRUE(kv::EncodePng(kv::BgrPixels{pixel, 4, 0, 1, 4}).empty());
  EXPECT_TRUE(kv::EncodePng(kv::BgrPixels{pixel, 4, 1, 1, 2}).empty());
  EXPECT_TRUE(kv::EncodePng(kv::BgrPixels{nullptr, 4, 1, 1, 4}).empty());
  int calls = 0;
  EXPECT_FALSE(kv::WritePng(kv::BgrPixels{pixel, 4, 1, 1, 4}, [&](const uint8_t*, size_t) {
    ++calls;
    return false;
  }));
  EXPECT_EQ(calls, 1);
}

}  // namespace

#include "core/darken.h"

namespace {

TEST(DarkenBytes, EveryValueBecomesItsShareRoundedDown) {
  std::vector<uint8_t> bytes(256 * 3 + 5);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> dark(bytes.size());
  kv::DarkenBytes(bytes.data(), dark.data(), bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(dark[i], (i % 256) * 155 / 255) << i;
  kv::DarkenBytes(bytes.data(), bytes.data(), bytes.size());  // in place
  EXPECT_EQ(bytes, dark);
}

}  // namespace
