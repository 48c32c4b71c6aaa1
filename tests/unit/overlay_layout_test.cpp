#include <gtest/gtest.h>

#include "core/overlay_layout.h"

namespace {

using kv::Point;
using kv::Rect;
using kv::Size;

constexpr int kW = 1600;
constexpr int kH = 900;

TEST(OverlayLayout, MagnifierSitsBelowRightAndFlipsNearTheEdges) {
  struct Case {
    const char* name;
    Point p;
    bool tip;
    Rect box;
  } cases[] = {
      {"middle", {400, 300}, false, {400, 325, 520, 465}},
      {"middle with tip", {400, 300}, true, {400, 325, 520, 483}},
      {"exactly 120 from the right", {kW - 120, 300}, false, {1480, 325, 1600, 465}},
      {"within 120 of the right", {kW - 119, 300}, false, {1361, 325, 1481, 465}},
      {"exactly 165 from the bottom", {400, kH - 165}, false, {400, 760, 520, 900}},
      {"within 165 of the bottom", {400, kH - 164}, false, {400, 596, 520, 736}},
      {"183 from the bottom with tip", {400, kH - 183}, true, {400, 742, 520, 900}},
      {"within 183 of the bottom with tip", {400, kH - 182}, true, {400, 560, 520, 718}},
      {"bottom-right corner", {kW - 1, kH - 1}, false, {1479, 759, 1599, 899}},
      {"top-left corner", {0, 0}, false, {0, 25, 120, 165}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(kv::LayoutMagnifier(c.p, kW, kH, c.tip).box, c.box);
  }
}

TEST(OverlayLayout, ZoomPutsThePointerPixelUnderTheCrossHair) {
  const Point p{700, 400};
  const kv::MagnifierLayout m = kv::LayoutMagnifier(p, kW, kH, true);
  const Rect& b = m.box;
  EXPECT_EQ(m.zoomSource, (Point{688, 388}));
  // 4x enlargement: the pointer's pixel is the zoom block (48..51, 48..51).
  const int blockLeft = (p.x - m.zoomSource.x) * 4, blockTop = (p.y - m.zoomSource.y) * 4;
  EXPECT_EQ(blockLeft, 48);
  EXPECT_EQ(blockTop, 48);
  // The horizontal bar crosses the block; the vertical bar is 8 pixels right.
  EXPECT_EQ(m.crossHorizontal, (Rect{b.left + 2, b.top + 49, b.left + 118, b.top + 51}));
  EXPECT_EQ(m.crossVertical, (Rect{b.left + 59, b.top + 1, b.left + 61, b.top + 98}));
  EXPECT_EQ(m.crossVertical.left - b.left - (blockLeft + 3), 8);
  EXPECT_EQ(m.zoomFrame, (Rect{b.left + 1, b.top, b.left + 120, b.top + 100}));
  EXPECT_EQ(m.positionLine, (Rect{b.left + 5, b.top + 102, b.right - 2, b.top + 122}));
  EXPECT_EQ(m.colourLine, (Rect{b.left + 5, b.top + 118, b.right - 2, b.top + 140}));
  EXPECT_EQ(m.tipLine, (Rect{b.left + 5, b.top + 134, b.right - 2, b.top + 158}));
  EXPECT_LE(m.tipLine.bottom, b.bottom);
}

TEST(OverlayLayout, SizeLabelStandsOnTheRegionOrAtTheScreenTop) {
  struct Case {
    int top;
    Rect label;
  } cases[] = {
      {100, {30, 82, 130, 100}}, {19, {30, 1, 130, 19}},
      {18, {30, 0, 130, 18}},  // T - 18 is not above 0
      {5, {30, 0, 130, 18}},     {0, {30, 0, 130, 18}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.top);
    EXPECT_EQ(kv::SizeLabelRect(Rect{30, c.top, 330, c.top + 200}), c.label);
  }
}

TEST(OverlayLayout, ToolbarPlacementRules) {
  const Size bar{257, 28};
  const int row = 36;  // the colour bar's height, with a tool active
  struct Case {
    const char* name;
    Rect region;
    int optionRow;
    Point at;
  } cases[] = {
      {"under, right-aligned", {300, 100, 800, 500}, 0, {543, 505}},
      {"under needs room for the bar and 5", {300, 100, 800, kH - 34}, 0, {543, kH - 29}},
      {"just no room under: above", {300, 100, 800, kH - 33}, 0, {543, 67}},
      {"the option row counts", {300, 100, 800, kH - 34}, row, {543, 67}},
      {"top and bottom: inside top-right", {300, 0, 800, kH}, 0, {538, 5}},
      {"no room above with the row", {300, 60, 800, kH - 10}, row, {538, 65}},
      {"room above with the row", {300, 70, 800, kH - 10}, row, {543, 37}},
      {"narrower than the bar at the left edge", {0, 100, 200, 300}, 0, {0, 305}},
      {"narrow, inside the corner", {0, 0, 200, kH}, 0, {0, 5}},
      {"R - w - 5 below 0 is kept", {0, 0, 260, kH}, 0, {-2, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(kv::ToolbarOrigin(c.region, bar, c.optionRow, kH), c.at);
  }
}

TEST(OverlayLayout, OptionRowFollowsTheTool) {
  const Size colour{165, 36}, pen{83, 36}, text{83, 35};
  const Rect below{543, 505, 800, 533};  // toolbar under a region at top 100
  const Rect above{543, 67, 800, 95};    // toolbar above a region at top 100
  const Rect none{};
  struct Case {
    int tool;
    Rect toolbar;
    Rect colourBar, penBar, textBar;
  } cases[] = {
      {3, below, {543, 533, 708, 569}, none, none},
      {1, below, {626, 533, 791, 569}, {543, 533, 626, 569}, none},
      {2, below, {626, 533, 791, 569}, {543, 533, 626, 569}, none},
      {4, above, {626, 31, 791, 67}, {543, 31, 626, 67}, none},
      // The text-size bar takes the colour bar's height.
      {5, below, {626, 533, 791, 569}, none, {543, 533, 626, 569}},
      {6, below, none, {543, 533, 626, 569}, none},  // the mosaic: block sizes only
      {7, below, {626, 533, 791, 569}, {543, 533, 626, 569}, none},
      {8, below, {626, 533, 791, 569}, {543, 533, 626, 569}, none},
      {0, below, none, none, none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tool);
    kv::OptionRowLayout row = kv::LayoutOptionRow(c.tool, c.toolbar, 100, colour, pen, text);
    EXPECT_EQ(row.colourBar, c.colourBar);
    EXPECT_EQ(row.penSizeBar, c.penBar);
    EXPECT_EQ(row.textSizeBar, c.textBar);
  }
}

TEST(OverlayLayout, BarButtonPositions) {
  std::array<Size, kv::kToolbarButtonCount> tools;
  tools.fill(Size{24, 22});
  const int lefts[] = {3, 29, 55, 81, 107, 133, 159, 185, 218, 244, 270, 306, 332};
  auto rects = kv::ToolbarButtonRects(tools);
  for (int i = 0; i < kv::kToolbarButtonCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rects[i], (Rect{lefts[i], 3, lefts[i] + 24, 25}));
  }
  // The last button steps by the width of the one before it.
  tools[12] = Size{30, 22};
  EXPECT_EQ(kv::ToolbarButtonRects(tools)[12], (Rect{332, 3, 362, 25}));

  std::array<Size, kv::kPenSizeButtonCount> pens;
  pens.fill(Size{24, 29});
  auto pen = kv::PenSizeButtonRects(pens);
  EXPECT_EQ(pen[0], (Rect{4, 3, 28, 32}));
  EXPECT_EQ(pen[1], (Rect{31, 3, 55, 32}));
  EXPECT_EQ(pen[2], (Rect{58, 3, 82, 32}));

  auto swatches = kv::ColourSwatchRects();
  EXPECT_EQ(swatches[0], (Rect{38, 2, 53, 17}));
  EXPECT_EQ(swatches[7], (Rect{143, 2, 158, 17}));
  EXPECT_EQ(swatches[8], (Rect{38, 17, 53, 32}));
  EXPECT_EQ(swatches[15], (Rect{143, 17, 158, 32}));
}

TEST(OverlayLayout, DenserScreensScaleTheLayoutAndPickTheNearestArtwork) {
  struct Case {
    int dpi;
    int art;
    int zoom;
  } cases[] = {{96, 100, 4},  {110, 100, 5}, {120, 100, 5}, {121, 150, 5}, {144, 150, 6},
               {168, 150, 7}, {169, 200, 7}, {192, 200, 8}, {288, 200, 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dpi);
    const kv::UiScale s{c.dpi};
    EXPECT_EQ(s.ArtPercent(), c.art);
    EXPECT_EQ(s.ZoomFactor(), c.zoom);
  }
  // The resource numbers both programs' artwork sets use.
  EXPECT_EQ(kv::UiScale{120}.ArtResourceId(1201), 1201);
  EXPECT_EQ(kv::UiScale{144}.ArtResourceId(1201), 1301);
  EXPECT_EQ(kv::UiScale{192}.ArtResourceId(205), 405);
  EXPECT_EQ(kv::ScaleLength(5, 144, 96), 8);  // 7.5: halves away from zero
  EXPECT_EQ(kv::ScaleLength(-5, 144, 96), -8);

  // At 150 % the magnifier is 1.5 times as large, and the pointer's pixel is
  // still the block under the horizontal bar.
  const kv::UiScale s{144};
  const Point p{700, 400};
  const kv::MagnifierLayout m = kv::LayoutMagnifier(p, kW, kH, true, s);
  EXPECT_EQ(m.box, (Rect{700, 438, 880, 438 + 150 + 60 + 27}));
  const int blockTop = (p.y - m.zoomSource.y) * m.zoom;
  EXPECT_LE(m.crossHorizontal.top, m.box.top + blockTop + m.zoom / 2);
  EXPECT_GT(m.crossHorizontal.bottom, m.box.top + blockTop + m.zoom / 2);
  EXPECT_EQ(kv::SizeLabelRect(Rect{30, 300, 330, 500}, s), (Rect{30, 273, 180, 300}));

  // Buttons of the 150 % artwork (36 x 33) sit where that artwork draws its
  // gaps, and the swatches' edges are those of the 100 % layout times 1.5.
  std::array<Size, kv::kToolbarButtonCount> tools;
  tools.fill(Size{36, 33});
  EXPECT_EQ(kv::ToolbarButtonRects(tools, s)[8], (Rect{8 * 36 + 39, 5, 8 * 36 + 39 + 36, 38}));
  EXPECT_EQ(kv::ColourSwatchRects(s)[15], (Rect{215, 26, 237, 48}));
  EXPECT_EQ(kv::ComputeHandleRects(Rect{100, 100, 200, 200}, s.Px(kv::kHandleSize))[1],
            (Rect{96, 96, 104, 104}));
}

}  // namespace
