#include "core/utf8.h"

namespace kv {

namespace {
const char kReplacement[] = "\xEF\xBF\xBD";

// Length of the well-formed sequence starting at p (1..4), or 0 when the
// bytes there are ill-formed; `bad` then receives the length of the maximal
// ill-formed subpart (at least 1).
size_t SequenceLength(const unsigned char* p, size_t avail, size_t* bad) {
  unsigned char b0 = p[0];
  *bad = 1;
  if (b0 < 0x80) return 1;
  size_t need;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 3;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  for (size_t i = 1; i < need; ++i) {
    if (i >= avail) return 0;
    unsigned char b = p[i];
    unsigned char l = (i == 1) ? lo : 0x80, h = (i == 1) ? hi : 0xBF;
    if (b < l || b > h) return 0;
    *bad = i + 1;
  }
  return need;
}
}  // namespace

std::string SanitizeUtf8(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t n = bytes.size(), i = 0;
  while (i < n) {
    size_t bad = 1;
    size_t len = SequenceLength(p + i, n - i, &bad);
    if (len) {
      out.append(bytes, i, len);
      i += len;
    } else {
      out.append(kReplacement, 3);
      i += bad;
    }
  }
  return out;
}

std::string CutAtZero(const std::string& text) {
  size_t z = text.find('\0');
  return z == std::string::npos ? text : text.substr(0, z);
}

}  // namespace kv
