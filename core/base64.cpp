#include "core/base64.h"

#include <cstring>

namespace kv {

namespace {
const char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kGroupsPerLine = 19;  // 76 characters
}  // namespace

size_t Base64EncodedSize(size_t size) {
  size_t groups = size / 3;
  size_t tail = size % 3;
  return groups * 4 + (groups / kGroupsPerLine) * 2 + (tail ? 4 : 0);
}

char* Base64EncodeTo(char* o, const uint8_t* data, size_t size, const char* lineBreak,
                     size_t lineBreakLength) {
  size_t groups = size / 3;
  const uint8_t* p = data;
  size_t g = 0;
  // Whole lines of 57 input bytes.
  while (groups - g >= kGroupsPerLine) {
    for (size_t k = 0; k < kGroupsPerLine; ++k, p += 3) {
      uint32_t v = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
      o[0] = kAlphabet[v >> 18];
      o[1] = kAlphabet[(v >> 12) & 63];
      o[2] = kAlphabet[(v >> 6) & 63];
      o[3] = kAlphabet[v & 63];
      o += 4;
    }
    std::memcpy(o, lineBreak, lineBreakLength);
    o += lineBreakLength;
    g += kGroupsPerLine;
  }
  for (; g < groups; ++g, p += 3) {
    uint32_t v = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    o[0] = kAlphabet[v >> 18];
    o[1] = kAlphabet[(v >> 12) & 63];
    o[2] = kAlphabet[(v >> 6) & 63];
    o[3] = kAlphabet[v & 63];
    o += 4;
  }
  size_t tail = size % 3;
  if (tail == 1) {
    uint32_t v = uint32_t(p[0]) << 16;
    o[0] = kAlphabet[v >> 18];
    o[1] = kAlphabet[(v >> 12) & 63];
    o[2] = '=';
    o[3] = '=';
    o += 4;
  } else if (tail == 2) {
    uint32_t v = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8;
    o[0] = kAlphabet[v >> 18];
    o[1] = kAlphabet[(v >> 12) & 63];
    o[2] = kAlphabet[(v >> 6) & 63];
    o[3] = '=';
    o += 4;
  }
  return o;
}

std::string Base64Encode(const uint8_t* data, size_t size) {
  std::string out(Base64EncodedSize(size), '\0');
  if (size) Base64EncodeTo(&out[0], data, size, "\r\n", 2);
  return out;
}

}  // namespace kv
