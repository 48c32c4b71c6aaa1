#include <gtest/gtest.h>

#include "core/monitor_placement.h"
#include "core/overlay_layout.h"
#include "core/paint_area.h"

namespace {

using kv::Monitors;
using kv::Point;
using kv::Rect;
using kv::Side;
using kv::Size;

// A desk of three in overlay client coordinates (the virtual screen's
// top-left at (0, 0)): the primary 1920 x 1080 at screen (0, 0), a
// 1280 x 1024 one to its left, a 1024 x 768 one above it. The corners left
// of the upper monitor, right of it and below the left one show nothing.
constexpr Rect kPrimary{1280, 768, 3200, 1848};
constexpr Rect kLeft{0, 768, 1280, 1792};
constexpr Rect kUpper{1280, 0, 2304, 768};

Monitors Desk(int leftDpi = 96, int primaryDpi = 96, int upperDpi = 96) {
  return kv::OffsetMonitors({{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, primaryDpi},
                             {{-1280, 0, 0, 1024}, {-1280, 0, 0, 1024}, leftDpi},
                             {{0, -768, 1024, 0}, {0, -768, 1024, 0}, upperDpi}},
                            1280, 768);
}

bool Inside(const Rect& r, const Rect& bounds) {
  return r.left >= bounds.left && r.top >= bounds.top && r.right <= bounds.right &&
         r.bottom <= bounds.bottom;
}

TEST(MonitorPlacement, TheMonitorOfARegionOrPoint) {
  const Monitors desk = Desk();
  EXPECT_EQ(desk[0].area, kPrimary);
  EXPECT_EQ(desk[0].workArea, (Rect{1280, 768, 3200, 1808}));
  // The larger part wins, edges in any order; a tie goes to the first listed.
  EXPECT_EQ(kv::MonitorOfRect(desk, {1000, 900, 1400, 1000}), 1);
  EXPECT_EQ(kv::MonitorOfRect(desk, {1500, 1000, 1100, 900}), 0);
  EXPECT_EQ(kv::MonitorOfRect(desk, {1180, 900, 1380, 1000}), 0);
  EXPECT_EQ(kv::MonitorOfRect(desk, {1500, 740, 1600, 800}), 0);
  EXPECT_EQ(kv::MonitorOfRect(desk, {1500, 700, 1600, 800}), 2);
  // Nothing on a monitor: the nearest to its top-left corner.
  EXPECT_EQ(kv::MonitorOfRect(desk, {2400, 10, 2500, 50}), 2);
  EXPECT_EQ(kv::MonitorOfPoint(desk, {1279, 767}), 1);  // 1 pixel from two: the first
  EXPECT_EQ(kv::MonitorOfPoint(desk, {1279, 1791}), 1);
  EXPECT_EQ(kv::MonitorOfPoint(desk, {100, 1840}), 1);
  EXPECT_EQ(kv::MonitorOfPoint({}, {0, 0}), -1);
  EXPECT_EQ(kv::MonitorAreaAt({}, {5, 5}, Rect{0, 0, 9, 9}), (Rect{0, 0, 9, 9}));
}

TEST(MonitorPlacement, ShiftBesideAndCentre) {
  const Rect b{0, 0, 100, 80};
  EXPECT_EQ(kv::ShiftInside({90, -5, 120, 15}, b), (Rect{70, 0, 100, 20}));
  EXPECT_EQ(kv::ShiftInside({-50, 10, 150, 20}, b), (Rect{0, 10, 200, 20}));  // too wide
  EXPECT_EQ(kv::ClampInside({120, -3}, b), (Point{99, 0}));
  const Rect anchor{40, 50, 60, 60};
  const auto belowElseAbove = {Side::kBelow, Side::kAbove};
  EXPECT_EQ(kv::PlaceBeside(anchor, {30, 15}, 5, belowElseAbove, b), (Rect{40, 65, 70, 80}));
  EXPECT_EQ(kv::PlaceBeside(anchor, {30, 20}, 5, belowElseAbove, b), (Rect{40, 25, 70, 45}));
  // Shifted along the side that has room.
  EXPECT_EQ(kv::PlaceBeside(anchor, {70, 15}, 5, belowElseAbove, b), (Rect{30, 65, 100, 80}));
  EXPECT_EQ(kv::PlaceBeside(anchor, {30, 50}, 5, {Side::kBelow, Side::kAbove, Side::kRight}, b),
            (Rect{65, 30, 95, 80}));
  // No side has room: the first, shifted in.
  EXPECT_EQ(kv::PlaceBeside(anchor, {30, 60}, 5, belowElseAbove, b), (Rect{40, 20, 70, 80}));
  // The prompt: centred on the left monitor's work area.
  EXPECT_EQ(kv::CentreIn({300, 200}, Desk()[1].workArea), (Rect{490, 1180, 790, 1380}));
  EXPECT_EQ(kv::CentreIn({300, 200}, Rect{0, 0, 200, 100}), (Rect{0, 0, 300, 200}));
}

// The magnifier at every corner of every monitor lies on that monitor, and
// takes its size from that monitor's density.
TEST(MonitorPlacement, MagnifierStaysOnThePointersMonitor) {
  const Monitors desk = Desk(144, 96, 192);
  for (size_t i = 0; i < desk.size(); ++i) {
    const Rect& a = desk[i].area;
    const Point corners[] = {
        {a.left, a.top}, {a.right - 1, a.top}, {a.left, a.bottom - 1}, {a.right - 1, a.bottom - 1}};
    for (const Point p : corners) {
      SCOPED_TRACE(testing::Message() << "monitor " << i << " at " << p.x << "," << p.y);
      const kv::UiScale scale = kv::ScaleAt(desk, p, {});
      EXPECT_EQ(scale.dpi, desk[i].dpi);
      const kv::MagnifierLayout m = kv::LayoutMagnifier(p, a, true, scale);
      EXPECT_TRUE(Inside(m.box, a));
      EXPECT_EQ(m.box.Width(), 30 * scale.ZoomFactor());
    }
  }
  // Where the whole virtual screen used the box went into empty corners.
  EXPECT_EQ(kv::LayoutMagnifier({1279, 1791}, kLeft, false).box, (Rect{1159, 1651, 1279, 1791}));
  EXPECT_EQ(kv::LayoutMagnifier({2303, 0}, kUpper, false).box, (Rect{2183, 25, 2303, 165}));
  // The picture's magnifier follows the pointer's monitor and density.
  const Rect region{1000, 900, 1400, 1000};
  EXPECT_EQ(kv::PlainPicture(region, false, {1200, 1000}, desk).magnifier.Width(), 180 + 2 * 6);
  EXPECT_EQ(kv::PlainPicture(region, false, {1300, 1000}, desk).magnifier.Width(), 120 + 2 * 4);
}

TEST(MonitorPlacement, ToolbarAndLabelStayOnTheRegionsMonitor) {
  const Size bar{257, 28};
  // A region at the bottom of the left monitor: above it, not at 1022 to
  // 1050 of a monitor ending at 1024.
  EXPECT_EQ(kv::ToolbarOrigin({300, 1500, 800, 1788}, bar, 0, kLeft), (Point{543, 1467}));
  // The same region on the primary has room under it.
  EXPECT_EQ(kv::ToolbarOrigin({1600, 1500, 2100, 1788}, bar, 0, kPrimary), (Point{1843, 1793}));
  // The whole height of the upper monitor: inside the top-right corner.
  EXPECT_EQ(kv::ToolbarOrigin({1500, 0, 2000, 768}, bar, 36, kUpper), (Point{1738, 5}));
  // Larger part on the primary, top on the upper monitor and reaching past
  // the primary's left: inside the corner of the part on the primary.
  EXPECT_EQ(kv::ToolbarOrigin({1200, 500, 1400, 1848}, bar, 0, kPrimary), (Point{1280, 773}));
  // Reaching past the left monitor's right edge: shifted back onto it.
  EXPECT_EQ(kv::ToolbarOrigin({900, 800, 1380, 1300}, bar, 36, kLeft), (Point{1023, 1305}));
  // The option row counts for the room below, and goes above the toolbar.
  const Point above = kv::ToolbarOrigin({300, 1000, 800, 1760}, bar, 36, kLeft);
  EXPECT_EQ(above, (Point{543, 967}));
  EXPECT_GE(above.y - 36, kLeft.top);

  // The label stands on the region inside its monitor, else at its top,
  // and is shifted sideways onto it.
  EXPECT_EQ(kv::SizeLabelRect({200, 800, 500, 900}, kLeft), (Rect{200, 782, 300, 800}));
  EXPECT_EQ(kv::SizeLabelRect({200, 780, 500, 900}, kLeft), (Rect{200, 768, 300, 786}));
  EXPECT_EQ(kv::SizeLabelRect({1250, 900, 1279, 1000}, kLeft), (Rect{1180, 882, 1280, 900}));
  // Mixed density: the label of a region on a 144-dpi monitor is 150 x 27.
  const Monitors desk = Desk(144);
  const Rect region{200, 900, 500, 1000};
  EXPECT_EQ(kv::PlainPicture(region, true, {}, desk).label, (Rect{200, 873, 350, 900}));
  EXPECT_EQ(kv::ScaleOf(desk, region, {}).Px(kv::kHandleSize), 8);
}

}  // namespace
