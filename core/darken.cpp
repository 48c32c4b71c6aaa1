#include "core/darken.h"

namespace kv {

void DarkenBytes(const uint8_t* from, uint8_t* to, size_t count) {
  constexpr unsigned kKept = 155;  // of 255
  // x / 255 for x below 65535 is (x + 1 + (x >> 8)) >> 8: no division, and
  // the loop vectorises.
  for (size_t i = 0; i < count; ++i) {
    const unsigned x = from[i] * kKept;
    to[i] = static_cast<uint8_t>((x + 1 + (x >> 8)) >> 8);
  }
}

}  // namespace kv
