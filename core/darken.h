// The overlay's darkening of the frozen screen, done on pixels in memory.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kv {

// Each byte c becomes c * 155 / 255 (rounded down): what a black layer of
// alpha 100 over the screen gives.
void DarkenBytes(uint8_t* bytes, size_t count);

}  // namespace kv
