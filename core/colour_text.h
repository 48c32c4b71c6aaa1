// The colour under the pointer as the magnifier shows it and as the colour
// picker copies it.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

enum class ColourFormat : uint32_t { kHex = 0, kRgb = 1 };

// "#RRGGBB" (upper-case hexadecimal) or "RGB:(r,g,b)".
std::string ColourText(ColourFormat format, int red, int green, int blue);

// The format a stored setting names; anything unknown is the default, hex.
ColourFormat ColourFormatFromSetting(uint32_t value);

ColourFormat OtherColourFormat(ColourFormat format);

}  // namespace kv
