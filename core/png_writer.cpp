#include "core/png_writer.h"

#include <algorithm>
#include <cstring>

#include "core/deflate.h"

namespace kv {

namespace {

constexpr uint8_t kSignature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
constexpr uint8_t kColourTypeRgb = 2;
constexpr uint8_t kColourTypePalette = 3;
constexpr int kMaxPaletteColours = 256;
// Filtered bytes compressed as one deflate block (one set of Huffman
// tables, one IDAT chunk).
constexpr size_t kPieceBytes = 256 * 1024;

enum RowFilter : uint8_t {
  kFilterNone = 0,
  kFilterSub = 1,
  kFilterUp = 2,
  kFilterAverage = 3,
  kFilterPaeth = 4
};

constexpr uint32_t kNoColour = 0xFFFFFFFFu;  // colours are 0xRRGGBB

struct CrcTables {
  uint32_t t[8][256];
  CrcTables() {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n) {
      for (int k = 1; k < 8; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    }
  }
};

const CrcTables& Crc() {
  static const CrcTables tables;
  return tables;
}

inline uint32_t ColourAt(const uint8_t* p, int bytesPerPixel) {
  if (bytesPerPixel == 4) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v & 0xFFFFFF;  // little-endian: blue lowest
  }
  return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
}

inline const uint8_t* RowAt(const BgrPixels& pic, int y) {
  return pic.top + static_cast<ptrdiff_t>(y) * pic.stride;
}

// The picture's colours while there are at most 256 of them, in the order
// they first appear, with an open-addressing table from colour to index.
struct Palette {
  static constexpr int kSlots = 1024;
  uint32_t colours[kMaxPaletteColours];
  int count = 0;
  uint32_t slotColour[kSlots];
  uint8_t slotIndex[kSlots];

  Palette() { std::fill(slotColour, slotColour + kSlots, kNoColour); }
  static int SlotOf(uint32_t colour) { return static_cast<int>((colour * 2654435761u) >> 22); }
  // The colour's index; a new colour is added. -1 when it would be the 257th.
  int IndexOf(uint32_t colour) {
    int slot = SlotOf(colour);
    while (slotColour[slot] != colour) {
      if (slotColour[slot] == kNoColour) {
        if (count == kMaxPaletteColours) return -1;
        slotColour[slot] = colour;
        slotIndex[slot] = static_cast<uint8_t>(count);
        colours[count] = colour;
        return count++;
      }
      slot = (slot + 1) & (kSlots - 1);
    }
    return slotIndex[slot];
  }
};

// Collects the picture's colours; false when there are more than 256.
bool CollectPalette(const BgrPixels& pic, Palette& palette) {
  for (int y = 0; y < pic.height; ++y) {
    const uint8_t* p = RowAt(pic, y);
    uint32_t last = kNoColour;
    for (int x = 0; x < pic.width; ++x, p += pic.bytesPerPixel) {
      const uint32_t colour = ColourAt(p, pic.bytesPerPixel);
      if (colour == last) continue;
      last = colour;
      if (palette.IndexOf(colour) < 0) return false;
    }
  }
  return true;
}

int PaletteBitDepth(int colours) {
  return colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
}

// One row as palette indices packed at `depth` bits, the leftmost pixel in
// the highest bits of the first byte.
void PackIndexRow(const uint8_t* p, const BgrPixels& pic, Palette& palette, int depth, uint8_t* out,
                  size_t rowBytes) {
  std::memset(out, 0, rowBytes);
  uint32_t last = kNoColour;
  int index = 0;
  const int perByte = 8 / depth;
  for (int x = 0; x < pic.width; ++x, p += pic.bytesPerPixel) {
    const uint32_t colour = ColourAt(p, pic.bytesPerPixel);
    if (colour != last) {
      last = colour;
      index = palette.IndexOf(colour);
    }
    if (depth == 8) {
      out[x] = static_cast<uint8_t>(index);
    } else {
      const int shift = 8 - depth * (x % perByte + 1);
      out[x / perByte] |= static_cast<uint8_t>(index << shift);
    }
  }
}

void ToRgb(const uint8_t* p, int width, int bytesPerPixel, uint8_t* out) {
  for (int x = 0; x < width; ++x, p += bytesPerPixel, out += 3) {
    out[0] = p[2];
    out[1] = p[1];
    out[2] = p[0];
  }
}

// The filters' outputs, judged by libpng's measure: the sum of the bytes
// taken as signed magnitudes. a is the byte to the left, b above, c above
// left (0 outside the picture).
inline uint32_t Magnitude(uint8_t v) { return v < 128 ? v : 256u - v; }

inline uint8_t PaethPredictor(int a, int b, int c) {
  const int pa = b > c ? b - c : c - b;
  const int pb = a > c ? a - c : c - a;
  const int s = a + b - 2 * c;
  const int pc = s < 0 ? -s : s;
  return static_cast<uint8_t>((pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c));
}

constexpr size_t kRgbBytes = 3;

uint32_t FilterCost(RowFilter f, const uint8_t* cur, const uint8_t* prev, size_t n) {
  uint32_t sum = 0;
  switch (f) {
    case kFilterNone:
      for (size_t i = 0; i < n; ++i) sum += Magnitude(cur[i]);
      break;
    case kFilterSub:
      for (size_t i = 0; i < kRgbBytes; ++i) sum += Magnitude(cur[i]);
      for (size_t i = kRgbBytes; i < n; ++i)
        sum += Magnitude(static_cast<uint8_t>(cur[i] - cur[i - kRgbBytes]));
      break;
    case kFilterUp:
      for (size_t i = 0; i < n; ++i) sum += Magnitude(static_cast<uint8_t>(cur[i] - prev[i]));
      break;
    case kFilterAverage:
      for (size_t i = 0; i < kRgbBytes; ++i)
        sum += Magnitude(static_cast<uint8_t>(cur[i] - (prev[i] >> 1)));
      for (size_t i = kRgbBytes; i < n; ++i) {
        sum += Magnitude(static_cast<uint8_t>(cur[i] - ((cur[i - kRgbBytes] + prev[i]) >> 1)));
      }
      break;
    case kFilterPaeth:
      for (size_t i = 0; i < kRgbBytes; ++i)
        sum += Magnitude(static_cast<uint8_t>(cur[i] - prev[i]));
      for (size_t i = kRgbBytes; i < n; ++i) {
        sum += Magnitude(static_cast<uint8_t>(
            cur[i] - PaethPredictor(cur[i - kRgbBytes], prev[i], prev[i - kRgbBytes])));
      }
      break;
  }
  return sum;
}

void ApplyFilter(RowFilter f, const uint8_t* cur, const uint8_t* prev, size_t n, uint8_t* out) {
  switch (f) {
    case kFilterNone: std::memcpy(out, cur, n); break;
    case kFilterSub:
      for (size_t i = 0; i < kRgbBytes; ++i) out[i] = cur[i];
      for (size_t i = kRgbBytes; i < n; ++i)
        out[i] = static_cast<uint8_t>(cur[i] - cur[i - kRgbBytes]);
      break;
    case kFilterUp:
      for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(cur[i] - prev[i]);
      break;
    case kFilterAverage:
      for (size_t i = 0; i < kRgbBytes; ++i) out[i] = static_cast<uint8_t>(cur[i] - (prev[i] >> 1));
      for (size_t i = kRgbBytes; i < n; ++i) {
        out[i] = static_cast<uint8_t>(cur[i] - ((cur[i - kRgbBytes] + prev[i]) >> 1));
      }
      break;
    case kFilterPaeth:
      for (size_t i = 0; i < kRgbBytes; ++i) out[i] = static_cast<uint8_t>(cur[i] - prev[i]);
      for (size_t i = kRgbBytes; i < n; ++i) {
        out[i] = static_cast<uint8_t>(
            cur[i] - PaethPredictor(cur[i - kRgbBytes], prev[i], prev[i - kRgbBytes]));
      }
      break;
  }
}

// Writes the filter byte and the filtered row at `out`.
void FilterRgbRow(const uint8_t* cur, const uint8_t* prev, size_t n, uint8_t* out) {
  // "Sub" and "up" carry nearly all of what the five filters gain on
  // screen pictures, at a fraction of the cost of trying "paeth" too.
  static const RowFilter kTried[] = {kFilterSub, kFilterUp};
  RowFilter best = kFilterNone;
  uint32_t bestCost = UINT32_MAX;
  for (RowFilter f : kTried) {
    const uint32_t cost = FilterCost(f, cur, prev, n);
    if (cost < bestCost) {
      bestCost = cost;
      best = f;
    }
  }
  out[0] = best;
  ApplyFilter(best, cur, prev, n, out + 1);
}

class PngOutput {
 public:
  explicit PngOutput(const PngSink& sink) : sink_(sink) {}
  bool ok() const { return ok_; }

  void Raw(const uint8_t* data, size_t size) {
    if (ok_ && size) ok_ = sink_(data, size);
  }

  void Chunk(const char* type, const uint8_t* data, size_t size) {
    uint8_t head[8];
    PutBigEndian(head, static_cast<uint32_t>(size));
    std::memcpy(head + 4, type, 4);
    uint32_t crc = Crc32Update(0, head + 4, 4);
    crc = Crc32Update(crc, data, size);
    uint8_t tail[4];
    PutBigEndian(tail, crc);
    Raw(head, sizeof head);
    Raw(data, size);
    Raw(tail, sizeof tail);
  }

  static void PutBigEndian(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
  }

 private:
  const PngSink& sink_;
  bool ok_ = true;
};

// The picture's rows, filtered, through the deflate into IDAT chunks.
// makeRow(y, out) writes row y's filter byte and filtered bytes.
template <typename MakeRow>
void WriteImageData(PngOutput& png, int height, size_t rowBytes, MakeRow makeRow) {
  const size_t lineBytes = 1 + rowBytes;
  const size_t rowsPerPiece = std::max<size_t>(1, kPieceBytes / lineBytes);
  ZlibWriter z;
  for (size_t y = 0; y < static_cast<size_t>(height) && png.ok();) {
    const size_t rows = std::min(rowsPerPiece, static_cast<size_t>(height) - y);
    uint8_t* piece = ZlibPieceBuffer(z, rows * lineBytes);
    for (size_t r = 0; r < rows; ++r) makeRow(static_cast<int>(y + r), piece + r * lineBytes);
    y += rows;
    ZlibCompressPiece(z, rows * lineBytes, y == static_cast<size_t>(height));
    png.Chunk("IDAT", z.out.data(), z.out.size());
    z.out.clear();
  }
}

}  // namespace

uint32_t Crc32Update(uint32_t crc, const uint8_t* p, size_t size) {
  const CrcTables& c = Crc();
  crc = ~crc;
  while (size >= 8) {
    const uint32_t lo =
        crc ^ (p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
               (static_cast<uint32_t>(p[3]) << 24));
    crc = c.t[7][lo & 0xFF] ^ c.t[6][(lo >> 8) & 0xFF] ^ c.t[5][(lo >> 16) & 0xFF] ^
          c.t[4][lo >> 24] ^ c.t[3][p[4]] ^ c.t[2][p[5]] ^ c.t[1][p[6]] ^ c.t[0][p[7]];
    p += 8;
    size -= 8;
  }
  while (size--) crc = c.t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

bool WritePng(const BgrPixels& pic, const PngSink& sink) {
  if (!pic.top || pic.width <= 0 || pic.height <= 0 ||
      (pic.bytesPerPixel != 3 && pic.bytesPerPixel != 4)) {
    return false;
  }
  Palette palette;
  const bool indexed = CollectPalette(pic, palette);
  const int depth = indexed ? PaletteBitDepth(palette.count) : 8;

  PngOutput png(sink);
  png.Raw(kSignature, sizeof kSignature);
  uint8_t header[13];
  PngOutput::PutBigEndian(header, static_cast<uint32_t>(pic.width));
  PngOutput::PutBigEndian(header + 4, static_cast<uint32_t>(pic.height));
  header[8] = static_cast<uint8_t>(depth);
  header[9] = indexed ? kColourTypePalette : kColourTypeRgb;
  header[10] = 0;  // deflate
  header[11] = 0;  // adaptive filtering
  header[12] = 0;  // not interlaced
  png.Chunk("IHDR", header, sizeof header);

  if (indexed) {
    uint8_t entries[3 * kMaxPaletteColours];
    for (int i = 0; i < palette.count; ++i) {
      entries[3 * i] = static_cast<uint8_t>(palette.colours[i] >> 16);
      entries[3 * i + 1] = static_cast<uint8_t>(palette.colours[i] >> 8);
      entries[3 * i + 2] = static_cast<uint8_t>(palette.colours[i]);
    }
    png.Chunk("PLTE", entries, 3 * static_cast<size_t>(palette.count));
    const size_t rowBytes = (static_cast<size_t>(pic.width) * depth + 7) / 8;
    WriteImageData(png, pic.height, rowBytes, [&](int y, uint8_t* out) {
      out[0] = kFilterNone;  // indices are not quantities: nothing to predict
      PackIndexRow(RowAt(pic, y), pic, palette, depth, out + 1, rowBytes);
    });
  } else {
    const size_t rowBytes = 3 * static_cast<size_t>(pic.width);
    std::vector<uint8_t> rows(2 * rowBytes, 0);
    uint8_t* prev = rows.data();  // the row above; zeros above the first
    uint8_t* cur = prev + rowBytes;
    const size_t sourceBytes = static_cast<size_t>(pic.width) * pic.bytesPerPixel;
    WriteImageData(png, pic.height, rowBytes, [&](int y, uint8_t* out) {
      const uint8_t* source = RowAt(pic, y);
      if (y > 0 && std::memcmp(source, RowAt(pic, y - 1), sourceBytes) == 0) {
        // The row repeats the one above: "up" makes it all zeros.
        out[0] = kFilterUp;
        std::memset(out + 1, 0, rowBytes);
        return;
      }
      ToRgb(source, pic.width, pic.bytesPerPixel, cur);
      FilterRgbRow(cur, prev, rowBytes, out);
      std::swap(prev, cur);
    });
  }
  png.Chunk("IEND", nullptr, 0);
  return png.ok();
}

std::vector<uint8_t> EncodePng(const BgrPixels& picture) {
  std::vector<uint8_t> file;
  const bool written = WritePng(picture, [&file](const uint8_t* data, size_t size) {
    file.insert(file.end(), data, data + size);
    return true;
  });
  if (!written) file.clear();
  return file;
}

}  // namespace kv
