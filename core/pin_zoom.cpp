#include "core/pin_zoom.h"

#include <cstdint>

namespace kv {

int PinZoomAfterWheel(int percent, int notches) {
  // Far more notches than the range holds are the range's end.
  if (notches > 100) notches = 100;
  if (notches < -100) notches = -100;
  int zoom = percent + notches * kPinZoomStep;
  if (zoom < kPinZoomMin) zoom = kPinZoomMin;
  if (zoom > kPinZoomMax) zoom = kPinZoomMax;
  return zoom;
}

Point PinOriginAfterZoom(Point origin, Point pointer, int oldPercent, int newPercent) {
  if (oldPercent <= 0) return origin;
  auto place = [&](int o, int p) {
    const int64_t offset = int64_t(p) - o;  // pointer within the window, old zoom
    return static_cast<int>(p - offset * newPercent / oldPercent);
  };
  return {place(origin.x, pointer.x), place(origin.y, pointer.y)};
}

int PinShownLength(int length, int percent) {
  const int64_t shown = int64_t(length) * percent / 100;
  return shown < 1 ? 1 : static_cast<int>(shown);
}

}  // namespace kv
