// A PNG reader for the tests, independent of the writer: zlib inflates and
// checks the stream, zlib's crc32 checks every chunk, all five row filters
// are undone, and palette pictures are expanded. Reads the kinds the
// writer may make (8-bit RGB; palette of 1, 2, 4, 8 bits), nothing else.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace kvtest {

struct DecodedPng {
  int width = 0, height = 0;
  int bitDepth = 0, colourType = 0;
  size_t paletteSize = 0;
  std::vector<uint8_t> rgb;  // top row first, 3 bytes a pixel
};

inline uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Empty error text on success.
inline std::string DecodePng(const std::vector<uint8_t>& file, DecodedPng& png) {
  static const uint8_t kSignature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
  if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0) return "signature";
  std::vector<uint8_t> idat, palette;
  size_t pos = 8;
  bool ended = false;
  while (!ended) {
    if (pos + 12 > file.size()) return "truncated chunk";
    const uint32_t len = BigEndian32(&file[pos]);
    if (len > file.size() - pos - 12) return "chunk length";
    const std::string type(reinterpret_cast<const char*>(&file[pos + 4]), 4);
    const uint8_t* data = &file[pos + 8];
    const uLong crc = crc32(0, &file[pos + 4], len + 4);
    if (crc != BigEndian32(data + len)) return "crc of " + type;
    if (type == "IHDR") {
      if (len != 13) return "IHDR length";
      png.width = static_cast<int>(BigEndian32(data));
      png.height = static_cast<int>(BigEndian32(data + 4));
      png.bitDepth = data[8];
      png.colourType = data[9];
      if (data[10] || data[11] || data[12]) return "IHDR methods";
    } else if (type == "PLTE") {
      palette.assign(data, data + len);
      png.paletteSize = len / 3;
    } else if (type == "IDAT") {
      idat.insert(idat.end(), data, data + len);
    } else if (type == "IEND") {
      ended = true;
    } else {
      return "unexpected chunk " + type;
    }
    pos += 12 + len;
  }
  if (pos != file.size()) return "bytes after IEND";
  const bool indexed = png.colourType == 3;
  if (!indexed && !(png.colourType == 2 && png.bitDepth == 8)) return "colour type";
  if (indexed &&
      (png.paletteSize == 0 || png.paletteSize > 256 ||
       (png.bitDepth != 1 && png.bitDepth != 2 && png.bitDepth != 4 && png.bitDepth != 8))) {
    return "palette";
  }
  const int bitsPerPixel = indexed ? png.bitDepth : 24;
  const size_t rowBytes = (static_cast<size_t>(png.width) * bitsPerPixel + 7) / 8;
  const size_t bpp = indexed ? 1 : 3;  // filter unit in bytes
  std::vector<uint8_t> raw((rowBytes + 1) * png.height);
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return "inflateInit";
  z.next_in = idat.data();
  z.avail_in = static_cast<uInt>(idat.size());
  z.next_out = raw.data();
  z.avail_out = static_cast<uInt>(raw.size());
  const int status = inflate(&z, Z_FINISH);
  const bool whole = z.avail_out == 0 && z.avail_in == 0;
  inflateEnd(&z);
  if (status != Z_STREAM_END) return "inflate: " + std::to_string(status);
  if (!whole) return "image data size";
  std::vector<uint8_t> prev(rowBytes, 0), cur(rowBytes);
  png.rgb.assign(3 * static_cast<size_t>(png.width) * png.height, 0);
  for (int y = 0; y < png.height; ++y) {
    const uint8_t* line = &raw[y * (rowBytes + 1)];
    const uint8_t filter = line[0];
    for (size_t i = 0; i < rowBytes; ++i) {
      const int a = i >= bpp ? cur[i - bpp] : 0, b = prev[i], c = i >= bpp ? prev[i - bpp] : 0;
      int pred = 0;
      switch (filter) {
        case 0: pred = 0; break;
        case 1: pred = a; break;
        case 2: pred = b; break;
        case 3: pred = (a + b) / 2; break;
        case 4: {
          const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
        default: return "filter type";
      }
      cur[i] = static_cast<uint8_t>(line[1 + i] + pred);
    }
    uint8_t* out = &png.rgb[3 * static_cast<size_t>(y) * png.width];
    for (int x = 0; x < png.width; ++x) {
      if (!indexed) {
        std::memcpy(out + 3 * x, &cur[3 * x], 3);
        continue;
      }
      const int bit = x * png.bitDepth;
      const int index = (cur[bit / 8] >> (8 - png.bitDepth - bit % 8)) & ((1 << png.bitDepth) - 1);
      if (static_cast<size_t>(index) >= png.paletteSize) return "index beyond the palette";
      std::memcpy(out + 3 * x, &palette[3 * index], 3);
    }
    prev.swap(cur);
  }
  return "";
}

}  // namespace kvtest
