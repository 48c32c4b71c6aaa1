#include "core/ui_scale.h"

#include <algorithm>

namespace kv {

int ScaleLength(int length, int numerator, int denominator) {
  const long long product = static_cast<long long>(length) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : -((-product + half) / denominator));
}

int UiScale::Px(int length) const { return ScaleLength(length, std::max(dpi, 1), kBaseDpi); }

int UiScale::ArtPercent() const {
  const int percent = ScaleLength(std::max(dpi, 1), 100, kBaseDpi);
  if (percent > 175) return 200;
  if (percent > 125) return 150;
  return 100;
}

int UiScale::ArtPx(int length) const { return ScaleLength(length, ArtPercent(), 100); }

int UiScale::ArtResourceId(int base) const { return base + (ArtPercent() - 100) * 2; }

int UiScale::ZoomFactor() const { return std::max(4, Px(4)); }

}  // namespace kv
