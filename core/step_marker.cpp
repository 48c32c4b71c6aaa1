#include "core/step_marker.h"

#include <algorithm>

namespace kv {

int StepMarkerRadius(int penWidth, const UiScale& scale) {
  const int base = penWidth <= 1 ? 10 : penWidth <= 2 ? 13 : 18;
  return scale.Px(base);
}

Rect StepMarkerRect(Point centre, int radius) {
  return {centre.x - radius, centre.y - radius, centre.x + radius + 1, centre.y + radius + 1};
}

int StepMarkerFontHeight(int radius) { return std::max(8, radius * 3 / 2); }

bool StepMarkerNumberIsDark(int red, int green, int blue) {
  // Perceived brightness (ITU-R BT.601 weights), out of 255 000.
  return red * 299 + green * 587 + blue * 114 > 150 * 1000;
}

int NextStepNumber(const std::vector<bool>& entryIsMarker) {
  return 1 + static_cast<int>(std::count(entryIsMarker.begin(), entryIsMarker.end(), true));
}

}  // namespace kv
