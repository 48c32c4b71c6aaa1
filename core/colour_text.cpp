#include "core/colour_text.h"

#include <cstdio>

namespace kv {

std::string ColourText(ColourFormat format, int red, int green, int blue) {
  char text[32];
  if (format == ColourFormat::kRgb) {
    std::snprintf(text, sizeof text, "RGB:(%d,%d,%d)", red & 0xFF, green & 0xFF, blue & 0xFF);
  } else {
    std::snprintf(text, sizeof text, "#%02X%02X%02X", red & 0xFF, green & 0xFF, blue & 0xFF);
  }
  return text;
}

ColourFormat ColourFormatFromSetting(uint32_t value) {
  return value == static_cast<uint32_t>(ColourFormat::kRgb) ? ColourFormat::kRgb
                                                            : ColourFormat::kHex;
}

ColourFormat OtherColourFormat(ColourFormat format) {
  return format == ColourFormat::kHex ? ColourFormat::kRgb : ColourFormat::kHex;
}

}  // namespace kv
