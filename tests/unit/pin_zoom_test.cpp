// The zoom of a pinned picture.
#include <gtest/gtest.h>

#include "core/pin_zoom.h"

namespace kv {
namespace {

TEST(PinZoom, StepsWithinItsRangeAroundThePointer) {
  EXPECT_EQ(PinZoomAfterWheel(100, 1), 110);
  EXPECT_EQ(PinZoomAfterWheel(100, -3), 70);
  EXPECT_EQ(PinZoomAfterWheel(20, -5), 10);
  EXPECT_EQ(PinZoomAfterWheel(490, 1000000), 500);
  // The picture's point under the pointer stays there: at (300, 250) in a
  // window at (200, 200), 100 -> 200 % moves the window up and left by the
  // pointer's offset.
  EXPECT_EQ(PinOriginAfterZoom({200, 200}, {300, 250}, 100, 200), (Point{100, 150}));
  EXPECT_EQ(PinOriginAfterZoom({100, 150}, {300, 250}, 200, 100), (Point{200, 200}));
  EXPECT_EQ(PinShownLength(600, 10), 60);
  EXPECT_EQ(PinShownLength(3, 10), 1);  // never nothing
}

}  // namespace
}  // namespace kv
