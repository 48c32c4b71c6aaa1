// The tools' geometry and the undo records.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

#include "core/annotation.h"
#include "core/colour_text.h"
#include "core/highlighter.h"
#include "core/keyboard.h"
#include "core/mosaic.h"
#include "core/pixel_patch.h"
#include "core/step_marker.h"

namespace kv {
namespace {

TEST(ArrowHead, BaseSitsTenPixelsBackAndFivePixelsToEachSide) {
  struct Case {
    Point start, end, p1, p2;
  } cases[] = {
      {{100, 100}, {200, 100}, {190, 105}, {190, 95}},
      {{200, 100}, {100, 100}, {110, 95}, {110, 105}},
      {{100, 100}, {100, 200}, {95, 190}, {105, 190}},
      {{0, 0}, {30, 40}, {20, 35}, {28, 29}},  // a 3-4-5 diagonal
      // Far apart: the squared length does not fit 32 bits.
      {{-40000, 0}, {40000, 0}, {39990, 5}, {39990, -5}},
  };
  for (const Case& c : cases) {
    const ArrowHead h = ComputeArrowHead(c.start, c.end);
    ASSERT_TRUE(h.present);
    EXPECT_EQ(h.p1, c.p1) << c.end.x << "," << c.end.y;
    EXPECT_EQ(h.p2, c.p2) << c.end.x << "," << c.end.y;
  }
  EXPECT_FALSE(ComputeArrowHead({5, 5}, {5, 5}).present);
}

TEST(StepMarker, SizedByThePenNumberedByTheMarkersLeftReadableOnItsColour) {
  EXPECT_EQ(StepMarkerRadius(1, UiScale{}), 10);
  EXPECT_EQ(StepMarkerRadius(5, UiScale{}), 18);
  EXPECT_EQ(StepMarkerRadius(2, UiScale{144}), 20);
  EXPECT_EQ(StepMarkerRect({50, 60}, 10), (Rect{40, 50, 61, 71}));  // centred, odd width
  // Only the markers count: other annotations between them do not.
  EXPECT_EQ(NextStepNumber({}), 1);
  EXPECT_EQ(NextStepNumber({true, false, true, false}), 3);
  // Black on the light swatches, white on the dark and saturated ones.
  EXPECT_TRUE(StepMarkerNumberIsDark(255, 255, 0));
  EXPECT_TRUE(StepMarkerNumberIsDark(255, 255, 255));
  EXPECT_TRUE(StepMarkerNumberIsDark(0, 255, 255));
  EXPECT_FALSE(StepMarkerNumberIsDark(255, 0, 0));
  EXPECT_FALSE(StepMarkerNumberIsDark(0, 0, 255));
  EXPECT_FALSE(StepMarkerNumberIsDark(128, 128, 128));
}

TEST(Highlighter, MultipliesOnlyUnderTheMaskSoDarkTextStaysDark) {
  // B, G, R: white, black, a mid grey, white outside the mask.
  std::array<uint8_t, 12> picture = {255, 255, 255, 0, 0, 0, 200, 200, 200, 255, 255, 255};
  const std::array<uint8_t, 4> mask = {1, 1, 1, 0};  // one byte per pixel would be too few
  const std::array<uint8_t, 12> mask3 = {255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 0, 0};
  const MutablePixelView view{picture.data(), 4, 1, 12, 3};
  MultiplyUnderMask(view, PixelView{mask.data(), 4, 1, 4, 1}, 255, 128, 0);  // not a format
  EXPECT_EQ(picture[0], 255);
  MultiplyUnderMask(view, PixelView{mask3.data(), 3, 1, 9, 3}, 255, 128, 0);  // other size
  EXPECT_EQ(picture[0], 255);
  MultiplyUnderMask(view, PixelView{mask3.data(), 4, 1, 12, 3}, 255, 128, 0);
  const std::array<uint8_t, 12> expected = {0,   128, 255, 0, 0, 0,  // white takes the colour
                                            0,   100, 200,           // 200 * 128 / 255 rounded
                                            255, 255, 255};          // outside: untouched
  EXPECT_EQ(picture, expected);
  EXPECT_EQ(HighlighterWidth(2, UiScale{}), 16);
  EXPECT_EQ(HighlighterWidth(5, UiScale{192}), 48);
}

TEST(ColourText, HexByDefaultRgbOnRequestUnknownSettingsFallBack) {
  EXPECT_EQ(ColourText(ColourFormat::kHex, 10, 171, 255), "#0AABFF");
  EXPECT_EQ(ColourText(ColourFormat::kRgb, 10, 171, 255), "RGB:(10,171,255)");
  EXPECT_EQ(ColourFormatFromSetting(1), ColourFormat::kRgb);
  EXPECT_EQ(ColourFormatFromSetting(0), ColourFormat::kHex);
  EXPECT_EQ(ColourFormatFromSetting(7), ColourFormat::kHex);
  EXPECT_EQ(OtherColourFormat(OtherColourFormat(ColourFormat::kRgb)), ColourFormat::kRgb);
}

TEST(TextBox, PlacedInsideTheDraggedRectangleWithAMinimumSize) {
  EXPECT_EQ(TextBoxRect({300, 200}, {100, 100}), (Rect{101, 101, 299, 199}));
  EXPECT_EQ(TextBoxRect({100, 100}, {300, 200}), (Rect{101, 101, 299, 199}));
  EXPECT_EQ(TextBoxRect({50, 60}, {50, 60}), (Rect{51, 61, 61, 81}));  // a click: 10 x 20
  EXPECT_EQ(TextBoxRect({50, 60}, {55, 200}), (Rect{51, 61, 61, 199}));
  EXPECT_EQ(TextBoxFrame(Rect{51, 61, 61, 81}), (Rect{50, 60, 62, 82}));
}

TEST(TextBox, CellHeightFollowsTheDeviceResolution) {
  const int sizes[] = {6, 8, 9, 10, 11, 12, 16, 18, 20};
  const int at96[] = {8, 11, 12, 13, 15, 16, 21, 24, 27};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(TextCellHeight(sizes[i], 96), at96[i]) << sizes[i];
  EXPECT_EQ(TextCellHeight(12, 144), 24);
  EXPECT_EQ(TextCellHeight(9, 120), 15);
}

struct TestPicture {
  TestPicture(int w, int h) : width(w), height(h), stride((w * 3 + 3) & ~3), bits(stride * h) {}
  PixelView View() const { return {bits.data(), width, height, stride, 3}; }
  MutablePixelView Mutable() { return {bits.data(), width, height, stride, 3}; }
  int width, height, stride;
  std::vector<uint8_t> bits;
};

TEST(PixelPatch, KeepsOnlyChangedTilesAndRestoresExactly) {
  std::mt19937 random(7);
  TestPicture before(301, 170);  // neither side a multiple of the tile
  for (uint8_t& b : before.bits) b = static_cast<uint8_t>(random());
  TestPicture after = before;

  EXPECT_TRUE(DiffPictures(before.View(), after.View()).tiles.empty());

  // One pixel in the last, partial tile and a line across the top rows.
  after.bits[169 * after.stride + 300 * 3] ^= 0xFF;
  for (int x = 0; x < 301; ++x) after.bits[2 * after.stride + x * 3 + 1] ^= 0x01;
  const PixelPatch patch = DiffPictures(before.View(), after.View());
  ASSERT_EQ(patch.tiles.size(), 11u);  // ten along the line, one corner
  EXPECT_EQ(patch.tiles.back(), (Rect{288, 160, 301, 170}));
  EXPECT_LT(patch.bytes.size(), before.bits.size() / 2);
  // Allocated once at its final size.
  EXPECT_EQ(patch.bytes.capacity(), patch.bytes.size());
  EXPECT_EQ(patch.tiles.capacity(), patch.tiles.size());

  // Undo, then redo: each exchange gives the other picture.
  const std::vector<uint8_t> later = after.bits;
  PixelPatch exchanged = patch;
  ASSERT_TRUE(ExchangePatch(after.Mutable(), exchanged));
  EXPECT_EQ(after.bits, before.bits);
  ASSERT_TRUE(ExchangePatch(after.Mutable(), exchanged));
  EXPECT_EQ(after.bits, later);

  // A patch that does not fit is refused whole.
  TestPicture smaller(64, 64);
  EXPECT_FALSE(ExchangePatch(smaller.Mutable(), exchanged));
  EXPECT_TRUE(DiffPictures(before.View(), smaller.View()).tiles.empty());
}

TEST(Mosaic, EveryBlockIsOneColourAndNothingOutsideTheAreaChanges) {
  std::mt19937 random(3);
  TestPicture picture(100, 60);
  for (uint8_t& b : picture.bits) b = static_cast<uint8_t>(random());
  const TestPicture original = picture;
  const Rect area{13, 7, 71, 44};
  const Point grid{-5, 2};  // the grid starts off the picture
  Pixelate(picture.Mutable(), area, 10, grid);
  auto pixel = [](const TestPicture& p, int x, int y) {
    const uint8_t* q = &p.bits[size_t(y) * p.stride + x * 3];
    return std::array<uint8_t, 3>{q[0], q[1], q[2]};
  };
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 100; ++x) {
      if (!Contains(area, {x, y})) {
        ASSERT_EQ(pixel(picture, x, y), pixel(original, x, y)) << x << "," << y;
        continue;
      }
      // Same colour as the first pixel of its block (cut to the area).
      const int bx = std::max(area.left, grid.x + (x - grid.x) / 10 * 10);
      const int by = std::max(area.top, grid.y + (y - grid.y) / 10 * 10);
      ASSERT_EQ(pixel(picture, x, y), pixel(picture, bx, by)) << x << "," << y;
    }
  }
  // A block's colour is its pixels' average: block (15..25, 12..22).
  unsigned sum = 0;
  for (int y = 12; y < 22; ++y)
    for (int x = 15; x < 25; ++x) sum += pixel(original, x, y)[1];
  EXPECT_EQ(pixel(picture, 20, 15)[1], (sum + 50) / 100);
  // Blocks as tall as a line of text by default, at every density.
  EXPECT_EQ(MosaicBlockSize(1, UiScale{96}), 10);
  EXPECT_EQ(MosaicBlockSize(2, UiScale{96}), 16);
  EXPECT_EQ(MosaicBlockSize(5, UiScale{96}), 24);
  EXPECT_EQ(MosaicBlockSize(2, UiScale{144}), 24);
}

TEST(Keyboard, ArrowsMoveAFixedRegionWithinTheScreenAndCtrlMovesOneEdge) {
  const Rect r{100, 50, 300, 150};
  EXPECT_EQ(RegionAfterArrow(r, Arrow::kLeft, false, false, 800, 600), (Rect{99, 50, 299, 150}));
  EXPECT_EQ(RegionAfterArrow(r, Arrow::kDown, false, true, 800, 600), (Rect{100, 60, 300, 160}));
  // Stops at the edges keeping its size, as dragging does.
  EXPECT_EQ(RegionAfterArrow({3, 50, 203, 150}, Arrow::kLeft, false, true, 800, 600),
            (Rect{0, 50, 200, 150}));
  EXPECT_EQ(RegionAfterArrow({600, 545, 800, 595}, Arrow::kDown, false, true, 800, 600),
            (Rect{600, 550, 800, 600}));
  // Ctrl: the right or bottom edge; Ctrl+Shift: the left or top edge.
  EXPECT_EQ(RegionAfterArrow(r, Arrow::kRight, true, false, 800, 600), (Rect{100, 50, 301, 150}));
  EXPECT_EQ(RegionAfterArrow(r, Arrow::kUp, true, false, 800, 600), (Rect{100, 50, 300, 149}));
  EXPECT_EQ(RegionAfterArrow(r, Arrow::kLeft, true, true, 800, 600), (Rect{99, 50, 300, 150}));
  EXPECT_EQ(RegionAfterArrow(r, Arrow::kDown, true, true, 800, 600), (Rect{100, 51, 300, 150}));
  // An edge stays on the screen and never reaches the opposite one.
  EXPECT_EQ(RegionAfterArrow({0, 0, 1, 600}, Arrow::kLeft, true, false, 800, 600),
            (Rect{0, 0, 1, 600}));
  EXPECT_EQ(RegionAfterArrow({0, 0, 1, 600}, Arrow::kLeft, true, true, 800, 600),
            (Rect{0, 0, 1, 600}));
  EXPECT_EQ(RegionAfterArrow({0, 0, 10, 600}, Arrow::kDown, true, false, 800, 600),
            (Rect{0, 0, 10, 600}));
}

TEST(Keyboard, CtrlLettersAreTheShortcuts) {
  EXPECT_EQ(ShortcutFor('C', true, false), Shortcut::kComplete);
  EXPECT_EQ(ShortcutFor('S', true, false), Shortcut::kSaveAs);
  EXPECT_EQ(ShortcutFor('Z', true, false), Shortcut::kUndo);
  EXPECT_EQ(ShortcutFor('Z', true, true), Shortcut::kRedo);
  EXPECT_EQ(ShortcutFor('Y', true, false), Shortcut::kRedo);
  EXPECT_EQ(ShortcutFor('C', false, false), Shortcut::kNone);
  EXPECT_EQ(ShortcutFor('A', true, false), Shortcut::kNone);
}

}  // namespace
}  // namespace kv
