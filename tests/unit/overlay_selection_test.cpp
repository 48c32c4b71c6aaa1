#include <gtest/gtest.h>

#include "core/selection.h"

namespace {

using kv::AdjustResult;
using kv::Point;
using kv::Rect;
using kv::SelectionFields;

constexpr int kScreenW = 1600;
constexpr int kScreenH = 900;

// A region fixed at `r` and idle, with its handles computed as a paint does.
SelectionFields Fixed(Rect r) {
  SelectionFields s;
  s.selection = r;
  s.selected = true;
  s.selectPhase = 2;
  s.handleRects = kv::ComputeHandleRects(r);
  return s;
}

Point Centre(const Rect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

TEST(OverlaySelection, HandleSquaresSitOnCornersAndEdgeMiddles) {
  const Rect r{100, 50, 301, 151};  // odd sums: the middles truncate
  const auto h = kv::ComputeHandleRects(r);
  const Point expected[9] = {{},        {98, 48},  {198, 48},  {298, 48}, {98, 98},
                             {298, 98}, {98, 148}, {198, 148}, {298, 148}};
  for (int i = 1; i <= 8; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(h[i], (Rect{expected[i].x, expected[i].y, expected[i].x + 5, expected[i].y + 5}));
  }
  // Middles truncate toward zero, also left of the screen's origin.
  EXPECT_EQ(kv::ComputeHandleRects(Rect{-5, -5, 0, 0})[2].left, -2 - 2);
}

TEST(OverlaySelection, HandleHitsTestFromEightDownAndExcludeFarEdges) {
  struct Case {
    Rect region;
    Point p;
    int handle;
  } cases[] = {
      {{100, 100, 300, 200}, {98, 98}, 1},    // top-left square's own corner
      {{100, 100, 300, 200}, {102, 102}, 1},  // its last pixel
      {{100, 100, 300, 200}, {103, 103}, 0},  // right/bottom edges excluded
      {{100, 100, 300, 200}, {297, 197}, 8},
      {{100, 100, 300, 200}, {200, 150}, 0},  // inside, no handle
      {{100, 100, 300, 200}, {198, 100}, 2},
      {{100, 100, 300, 200}, {100, 148}, 4},
      {{100, 100, 300, 200}, {299, 152}, 5},
      {{100, 100, 300, 200}, {101, 199}, 6},
      {{100, 100, 300, 200}, {200, 199}, 7},
      {{100, 100, 300, 200}, {298, 99}, 3},
      // A tiny region: the squares overlap and the higher number wins.
      {{10, 10, 12, 12}, {10, 10}, 8},
      {{10, 10, 12, 12}, {8, 8}, 1},
      {{10, 10, 12, 12}, {13, 8}, 3},
      {{10, 10, 12, 12}, {8, 13}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.p.x << "," << c.p.y);
    EXPECT_EQ(kv::HitHandle(kv::ComputeHandleRects(c.region), c.p), c.handle);
  }
}

TEST(OverlaySelection, DragIsAnchoredAtTheFirstQualifyingMove) {
  SelectionFields s;
  s.selection = {10, 10, 500, 400};  // the highlighted window
  // A button already held when the overlay appeared drags nothing.
  EXPECT_FALSE(kv::DragTo(s, {60, 70}));
  EXPECT_FALSE(s.anchorSet);
  kv::PressAt(s, {100, 100});
  // Sharing the press point's row or column does not qualify.
  EXPECT_FALSE(kv::DragTo(s, {100, 50}));
  EXPECT_FALSE(kv::DragTo(s, {40, 100}));
  EXPECT_FALSE(s.anchorSet);
  EXPECT_EQ(s.selection, (Rect{10, 10, 500, 400}));

  EXPECT_TRUE(kv::DragTo(s, {98, 97}));
  EXPECT_EQ(s.dragAnchor, (Point{98, 97}));
  EXPECT_EQ(s.selection, (Rect{98, 97, 98, 97}));  // empty until the next move
  EXPECT_TRUE(kv::DragTo(s, {50, 40}));
  EXPECT_EQ(s.selection, (Rect{50, 40, 98, 97}));
  // Crossing the anchor keeps the edges ordered.
  EXPECT_TRUE(kv::DragTo(s, {120, 130}));
  EXPECT_EQ(s.selection, (Rect{98, 97, 120, 130}));
  EXPECT_TRUE(kv::DragTo(s, {98, 20}));  // same column as the anchor: empty side
  EXPECT_EQ(s.selection, (Rect{98, 20, 98, 97}));
  EXPECT_EQ(s.dragAnchor, (Point{98, 97}));
}

TEST(OverlaySelection, ResizeByEachHandleFollowsThePointerWithoutClamping) {
  const Rect r{100, 100, 300, 200};
  const int dx = 10, dy = 20;
  const Rect expected[9] = {
      {},
      {110, 120, 300, 200},
      {100, 120, 300, 200},
      {100, 120, 310, 200},
      {110, 100, 300, 200},
      {100, 100, 310, 200},
      {110, 100, 300, 220},
      {100, 100, 300, 220},
      {100, 100, 310, 220},
  };
  for (int handle = 1; handle <= 8; ++handle) {
    SCOPED_TRACE(handle);
    SelectionFields s = Fixed(r);
    // Press one pixel into the square, away from its centre, so the kept
    // pointer offsets matter.
    Point press{s.handleRects[handle].left + 1, s.handleRects[handle].top + 3};
    kv::GrabResult grab = kv::GrabFixedRegion(s, press);
    EXPECT_TRUE(grab.handle);
    EXPECT_EQ(s.hitHandle, handle);
    EXPECT_EQ(s.selectPhase, 1);
    EXPECT_EQ(kv::AdjustTo(s, {press.x + dx, press.y + dy}, kScreenW, kScreenH),
              AdjustResult::kResized);
    EXPECT_EQ(s.selection, expected[handle]);
  }
  // Beyond the screen and past the opposite edge: kept as it is.
  SelectionFields s = Fixed(r);
  kv::GrabFixedRegion(s, {100, 149});  // left handle, on the edge
  kv::AdjustTo(s, {450, 149}, kScreenW, kScreenH);
  EXPECT_EQ(s.selection, (Rect{450, 100, 300, 200}));
  EXPECT_TRUE(kv::IsEmptyRect(s.selection));
  kv::GrabFixedRegion(s = Fixed(r), {297, 197});
  kv::AdjustTo(s, {1700, 1000}, kScreenW, kScreenH);
  EXPECT_EQ(s.selection, (Rect{100, 100, 1700 + 3, 1000 + 3}));
}

TEST(OverlaySelection, PressOnTheInnerPartOfACornerHandleResizesAndCanMove) {
  SelectionFields s = Fixed({100, 100, 300, 200});
  kv::GrabResult grab = kv::GrabFixedRegion(s, {298, 198});  // handle 8, inside
  EXPECT_TRUE(grab.handle && grab.inside);
  EXPECT_TRUE(s.moving);
  EXPECT_EQ(kv::AdjustTo(s, {308, 208}, kScreenW, kScreenH), AdjustResult::kResized);
  EXPECT_EQ(s.selection, (Rect{100, 100, 310, 210}));
}

TEST(OverlaySelection, PressOutsideGrabsNothing) {
  SelectionFields s = Fixed({100, 100, 300, 200});
  kv::GrabResult grab = kv::GrabFixedRegion(s, {500, 500});
  EXPECT_FALSE(grab.handle || grab.inside);
  EXPECT_EQ(s.selectPhase, 1);
  EXPECT_EQ(kv::AdjustTo(s, {600, 600}, kScreenW, kScreenH), AdjustResult::kNone);
  EXPECT_EQ(s.selection, (Rect{100, 100, 300, 200}));
}

TEST(OverlaySelection, OnlyAPressOnTheRegionLetsThePointerReshapeIt) {
  SelectionFields s = Fixed({100, 100, 300, 200});
  kv::GrabFixedRegion(s, {200, 150});
  kv::AdjustTo(s, {210, 160}, kScreenW, kScreenH);
  s.selectPhase = 2;  // released; the button is later held after a press elsewhere
  EXPECT_EQ(kv::AdjustTo(s, {400, 400}, kScreenW, kScreenH), AdjustResult::kNone);
  EXPECT_EQ(s.selection, (Rect{110, 110, 310, 210}));
}

TEST(OverlaySelection, MovingStopsAtEachScreenEdgeWithItsSizeKept) {
  const Rect r{100, 100, 300, 200};  // 200 x 100, pressed at its middle
  struct Case {
    const char* name;
    Point to;
    Rect expected;
  } cases[] = {
      {"free", {500, 400}, {400, 350, 600, 450}},
      {"left", {-300, 400}, {0, 350, 200, 450}},
      {"left, exactly 0", {100, 400}, {0, 350, 200, 450}},
      {"top", {500, -50}, {400, 0, 600, 100}},
      {"right", {1590, 400}, {1400, 350, 1600, 450}},
      {"bottom", {500, 2000}, {400, 800, 600, 900}},
      {"bottom-right", {5000, 5000}, {1400, 800, 1600, 900}},
      {"top-left", {-9, -9}, {0, 0, 200, 100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SelectionFields s = Fixed(r);
    kv::GrabResult grab = kv::GrabFixedRegion(s, Centre(r));
    ASSERT_TRUE(grab.inside && !grab.handle);
    EXPECT_EQ(kv::AdjustTo(s, c.to, kScreenW, kScreenH), AdjustResult::kMoved);
    EXPECT_EQ(s.selection, c.expected);
  }
}

TEST(OverlaySelection, CursorsOverAFixedRegion) {
  SelectionFields s = Fixed({100, 100, 300, 200});
  struct Case {
    Point p;
    int cursor;
    bool selectCursor;
  } cases[] = {
      {{200, 150}, 0, false},  // inside: move
      {{101, 101}, 0, false},  // inner part of handle 1: the move cursor wins
      {{98, 98}, 1, false},    // outer part of handle 1
      {{200, 98}, 2, false},  {{301, 201}, 8, false},
      {{500, 500}, -1, true},  // outside: the selection cursor
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.p.x << "," << c.p.y);
    EXPECT_EQ(kv::FixedRegionCursor(s, c.p), c.cursor);
    EXPECT_EQ(kv::ShowsSelectCursor(s, c.p), c.selectCursor);
  }
  s.selectPhase = 1;  // button held: no cursor changes
  EXPECT_EQ(kv::FixedRegionCursor(s, {200, 150}), -1);
  EXPECT_FALSE(kv::ShowsSelectCursor(s, {500, 500}));
}

TEST(OverlaySelection, StrokeEndsAreClampedIntoTheRegion) {
  const Rect r{100, 100, 300, 200};
  struct Case {
    Point in, out;
  } cases[] = {
      {{150, 150}, {150, 150}}, {{50, 150}, {100, 150}},  {{350, 150}, {299, 150}},
      {{300, 150}, {300, 150}},  // the right edge itself stays
      {{150, 20}, {150, 100}},  {{150, 250}, {150, 199}}, {{0, 999}, {100, 199}},
  };
  for (const Case& c : cases) EXPECT_EQ(kv::ClampToRegion(r, c.in), c.out);
}

TEST(OverlaySelection, OutputRegionOrdersCrossedEdgesAndCutsToTheScreen) {
  struct Case {
    const char* name;
    Rect in, out;
  } cases[] = {
      {"ordinary", {10, 20, 110, 220}, {10, 20, 110, 220}},
      {"left past right", {450, 100, 300, 200}, {300, 100, 450, 200}},
      {"both crossed", {300, 200, 100, 100}, {100, 100, 300, 200}},
      {"beyond the screen", {1500, 800, 1703, 1003}, {1500, 800, 1600, 900}},
      {"before the origin", {-50, -10, 20, 30}, {0, 0, 20, 30}},
      {"zero width", {300, 100, 300, 200}, {}},
      {"wholly outside", {1700, 10, 1800, 20}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(kv::OutputRegion(c.in, kScreenW, kScreenH), c.out);
  }
}

}  // namespace
