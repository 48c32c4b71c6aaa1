#include "core/base64.h"

#include <cstring>
#include <utility>

namespace kv {

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
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

namespace {

// Value of a Base64 character, or -1.
int Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

}  // namespace

size_t Base64DecodedSizeBound(const std::string& text) {
  size_t characters = 0;
  for (char c : text) characters += IsLineBreak(c) ? 0 : 1;
  return characters / 4 * 3;
}

bool Base64Decode(const std::string& text, std::string* out) {
  std::string bytes;
  bytes.reserve(Base64DecodedSizeBound(text));
  uint32_t group = 0;
  int filled = 0;   // characters of the current group
  int padding = 0;  // "=" seen; only more "=" and line breaks may follow
  for (char c : text) {
    if (IsLineBreak(c)) continue;
    if (c == '=') {
      // Padding completes a group of two or three characters.
      if (filled + padding < 2) return false;
      ++padding;
      if (filled + padding > 4) return false;
      continue;
    }
    const int v = Base64Value(static_cast<unsigned char>(c));
    if (v < 0 || padding > 0) return false;
    group = group << 6 | static_cast<uint32_t>(v);
    if (++filled == 4) {
      bytes.push_back(static_cast<char>(group >> 16));
      bytes.push_back(static_cast<char>(group >> 8 & 0xFF));
      bytes.push_back(static_cast<char>(group & 0xFF));
      group = 0;
      filled = 0;
    }
  }
  if (filled == 0 && padding == 0) {
    *out = std::move(bytes);
    return true;
  }
  // The tail: two characters and "==" (one byte), three and "=" (two);
  // the bits past the last byte are zero in the encoder's text.
  if (filled + padding != 4) return false;
  if (filled == 2) {
    if (group & 0xF) return false;
    bytes.push_back(static_cast<char>(group >> 4));
  } else {
    if (group & 0x3) return false;
    bytes.push_back(static_cast<char>(group >> 10));
    bytes.push_back(static_cast<char>(group >> 2 & 0xFF));
  }
  *out = std::move(bytes);
  return true;
}

}  // namespace kv
