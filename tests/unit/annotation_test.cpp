// The tools' geometry and the undo records.
#include <gtest/gtest.h>

#include <random>

#include "core/annotation.h"
#include "core/pixel_patch.h"

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

  ASSERT_TRUE(ApplyPatch(after.Mutable(), patch));
  EXPECT_EQ(after.bits, before.bits);

  // A patch that does not fit is refused whole.
  TestPicture smaller(64, 64);
  EXPECT_FALSE(ApplyPatch(smaller.Mutable(), patch));
  EXPECT_TRUE(DiffPictures(before.View(), smaller.View()).tiles.empty());
}

}  // namespace
}  // namespace kv
