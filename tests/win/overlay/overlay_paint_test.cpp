// The overlay's picture, drawn into a memory context from synthetic
// snapshots: what lies where, in which colour, and what a composition holds.
#include <gtest/gtest.h>

#include "core/overlay_layout.h"
#include "host/host.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"
#include "test_support.h"

namespace {

using kv::Point;
using kv::Rect;
using kvtest::PatternAt;
using kvtest::Picture;

constexpr int kW = 400;
constexpr int kH = 300;
constexpr COLORREF kDim = RGB(10, 20, 30);
constexpr COLORREF kChoosingFrame = RGB(0, 180, 245);
constexpr COLORREF kFixedFrame = RGB(45, 120, 225);
constexpr COLORREF kLabel = RGB(50, 50, 50);
constexpr COLORREF kMagnifier = RGB(60, 60, 60);
constexpr COLORREF kCrossHair = RGB(0, 255, 255);

class OverlayPaint : public ::testing::Test {
 protected:
  void SetUp() override {
    kv::OverlayState& o = kv::overlayState;
    kv::ResetCapture();
    o.screenRect = RECT{0, 0, kW, kH};
    Picture screen(kW, kH), dimmed(kW, kH);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) screen.Set(x, y, PatternAt(x, y));
    dimmed.Fill(kDim);
    o.screenSnapshot.reset(screen.Release());
    o.dimmedSnapshot.reset(dimmed.Release());
    kv::captureRequest.tipInfo.clear();
  }
  void TearDown() override {
    kv::ReleaseOverlayResources();
    kv::captureRequest.tipInfo.clear();
  }

  void Render(Point pointer) { kv::RenderOverlay(target_.dc(), pointer); }

  Picture target_{kW, kH};
};

TEST_F(OverlayPaint, WithoutARegionOnlyTheDimmedScreenShows) {
  kv::overlayState.selection = Rect{150, 100, 150, 200};  // zero width
  Render({200, 150});
  for (int y = 0; y < kH; y += 7)
    for (int x = 0; x < kW; x += 7) ASSERT_EQ(target_.At(x, y), kDim) << x << "," << y;
}

TEST_F(OverlayPaint, CrossedEdgesPaintAsAnEmptyRegion) {
  kv::overlayState.selection = Rect{250, 80, 100, 160};
  kv::overlayState.selected = true;
  kv::overlayState.composeFlag = true;
  Render({200, 150});
  for (int y = 0; y < kH; y += 5)
    for (int x = 0; x < kW; x += 5) ASSERT_EQ(target_.At(x, y), kDim) << x << "," << y;
  EXPECT_FALSE(kv::overlayState.composedImage);
}

TEST_F(OverlayPaint, ChoosingShowsTheBrightRegionThickFrameMagnifierAndLabel) {
  const Rect r{100, 80, 200, 160};
  kv::overlayState.selection = r;
  const Point pointer{150, 100};
  Render(pointer);
  EXPECT_EQ(target_.At(120, 90), PatternAt(120, 90));  // bright inside
  EXPECT_EQ(target_.At(50, 50), kDim);                 // dimmed outside
  EXPECT_EQ(target_.At(r.left, 120), kChoosingFrame);  // the frame, 4 wide
  EXPECT_EQ(target_.At(r.left + 1, 120), kChoosingFrame);
  EXPECT_EQ(target_.At(r.left - 2, 120), kChoosingFrame);
  EXPECT_EQ(target_.At(r.left + 3, 120), PatternAt(r.left + 3, 120));
  EXPECT_EQ(target_.At(r.left + 1, r.top - 17), kLabel);  // label on the top edge

  const kv::MagnifierLayout m = kv::LayoutMagnifier(pointer, kW, kH, false);
  const Rect& box = m.box;
  EXPECT_EQ(target_.At(box.left + 3, box.top + 100), kMagnifier);
  EXPECT_EQ(target_.At(box.right - 1, box.bottom - 1), kMagnifier);
  EXPECT_EQ(target_.At(box.left + 10, box.top + 49), kCrossHair);
  EXPECT_EQ(target_.At(box.left + 60, box.top + 10), kCrossHair);
  // Each screen pixel is a 4 x 4 block; the pointer's pixel is the block at
  // (48, 48), the pixel right of it and one row up the block at (52, 44).
  for (int dy = 0; dy < 4; ++dy) {
    if (dy == 1 || dy == 2) continue;  // under the horizontal bar
    for (int dx = 0; dx < 4; ++dx) {
      EXPECT_EQ(target_.At(box.left + 48 + dx, box.top + 48 + dy), PatternAt(150, 100));
      EXPECT_EQ(target_.At(box.left + 52 + dx, box.top + 44 + dy), PatternAt(151, 99));
    }
  }
}

TEST_F(OverlayPaint, MagnifierMovesBesideThePointerNearTheEdges) {
  struct Case {
    Point pointer;
    bool tip;
  } cases[] = {{{395, 150}, false},
               {{150, 290}, false},
               {{150, 117}, true},
               {{150, 118}, true},
               {{399, 299}, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pointer.x << "," << c.pointer.y << " tip " << c.tip);
    kv::captureRequest.tipInfo = c.tip ? "tip text" : "";
    kv::overlayState.selection = Rect{20, 20, 380, 280};
    Render(c.pointer);
    // The last line always shows: the page's tip, or else the key hint.
    const Rect box = kv::LayoutMagnifier(c.pointer, kW, kH, true).box;
    ASSERT_GE(box.left, 0);
    ASSERT_LE(box.bottom, kH);
    EXPECT_EQ(target_.At(box.left + 3, box.top + 100), kMagnifier);
    EXPECT_EQ(target_.At(box.left + 117, box.top + 49), kCrossHair);
  }
}

TEST_F(OverlayPaint, FixedRegionHasAThinFrameAndHandlesAndNoMagnifier) {
  kv::OverlayState& o = kv::overlayState;
  const Rect r{100, 80, 200, 160};
  o.selection = r;
  o.selected = true;
  o.selectPhase = 2;
  Render({150, 100});
  EXPECT_EQ(target_.At(r.left, 100), kFixedFrame);
  EXPECT_EQ(target_.At(r.left + 1, 100), PatternAt(r.left + 1, 100));
  EXPECT_EQ(target_.At(r.left - 1, 100), kDim);
  // Dimmed all around: above, below, left and right of the region.
  for (Point p : {Point{150, 40}, Point{150, 200}, Point{50, 120}, Point{250, 120}, Point{0, 0},
                  Point{kW - 1, kH - 1}, Point{kW - 1, 100}, Point{10, kH - 1}}) {
    EXPECT_EQ(target_.At(p.x, p.y), kDim) << p.x << "," << p.y;
  }
  EXPECT_EQ(o.handleRects, kv::ComputeHandleRects(r));
  for (int i = 1; i <= 8; ++i) {
    // The size label covers the top handles' upper rows.
    const Rect& h = o.handleRects[i];
    EXPECT_EQ(target_.At(h.right - 1, h.bottom - 1), kFixedFrame) << i;
  }
  // No magnifier where it would stand below the pointer.
  const Rect box = kv::LayoutMagnifier({150, 100}, kW, kH, false).box;
  EXPECT_EQ(target_.At(box.left + 5, box.top + 5), PatternAt(box.left + 5, box.top + 5));
}

TEST_F(OverlayPaint, SizeLabelGoesToTheScreenTopOverTheRegion) {
  kv::overlayState.selection = Rect{100, 10, 300, 200};
  kv::overlayState.selected = true;
  Render({150, 100});
  EXPECT_EQ(target_.At(101, 1), kLabel);
  EXPECT_EQ(target_.At(101, 16), kLabel);
  EXPECT_EQ(target_.At(101, 18), PatternAt(101, 18));
  EXPECT_EQ(target_.At(205, 12), PatternAt(205, 12));  // 100 wide
}

// Reads a 24-bit bottom-up section's pixel.
COLORREF SectionPixel(HBITMAP section, int x, int y) {
  DIBSECTION info{};
  GetObject(section, sizeof info, &info);
  const BITMAP& bm = info.dsBm;
  const auto* row = static_cast<const BYTE*>(bm.bmBits) + (bm.bmHeight - 1 - y) * bm.bmWidthBytes;
  return RGB(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
}

TEST_F(OverlayPaint, CompositionHoldsTheRegionWithoutDecorations) {
  kv::OverlayState& o = kv::overlayState;
  const Rect r{100, 80, 220, 170};
  o.selection = r;
  o.selected = true;
  o.composeFlag = true;
  Render({150, 100});
  ASSERT_TRUE(o.composedImage);
  DIBSECTION info{};
  ASSERT_EQ(GetObject(o.composedImage.get(), sizeof info, &info), int(sizeof info));
  EXPECT_EQ(info.dsBmih.biWidth, r.Width());
  EXPECT_EQ(info.dsBmih.biHeight, r.Height());  // bottom-up
  EXPECT_EQ(info.dsBmih.biBitCount, 24);
  for (int y = 0; y < r.Height(); ++y)
    for (int x = 0; x < r.Width(); ++x)
      ASSERT_EQ(SectionPixel(o.composedImage.get(), x, y), PatternAt(r.left + x, r.top + y))
          << x << "," << y;
  // The picture on the screen still has its frame.
  EXPECT_EQ(target_.At(r.left, 120), kFixedFrame);
}

TEST_F(OverlayPaint, CompositionShowsTheTopSnapshotAndCutsToTheScreen) {
  kv::OverlayState& o = kv::overlayState;
  // A region two pixels beyond the right and bottom edges, as a handle drag
  // can leave it.
  const Rect r{300, 200, kW + 2, kH + 2};
  o.selection = r;
  o.selected = true;
  Picture annotated(r.Width(), r.Height());
  annotated.Fill(RGB(1, 2, 3));
  annotated.Set(0, 0, RGB(200, 0, 0));
  o.snapshotStack.top.reset(annotated.Release());
  o.composeFlag = true;
  Render({150, 100});
  ASSERT_TRUE(o.composedImage);
  BITMAP bm{};
  GetObject(o.composedImage.get(), sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, kW - r.left);
  EXPECT_EQ(bm.bmHeight, kH - r.top);
  EXPECT_EQ(SectionPixel(o.composedImage.get(), 0, 0), RGB(200, 0, 0));
  EXPECT_EQ(SectionPixel(o.composedImage.get(), 50, 50), RGB(1, 2, 3));
  EXPECT_EQ(target_.At(r.left + 50, r.top + 50), RGB(1, 2, 3));
}

}  // namespace
