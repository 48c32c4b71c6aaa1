// The overlay's darkening of the frozen screen, done on pixels in memory.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kv {

// Each byte c of `from` is written to `to` as c * 155 / 255 (rounded
// down): what a black layer of alpha 100 over the screen gives. `to` may
// be `from`.
void DarkenBytes(const uint8_t* from, uint8_t* to, size_t count);

}  // namespace kv
