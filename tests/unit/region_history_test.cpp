// The region history: stored text, order and length, and browsing past
// regions that do not fit the screen.
#include <gtest/gtest.h>

#include "core/region_history.h"

namespace kv {
namespace {

RegionHistoryEntry Entry(int left, int w = 1600, int h = 900) {
  return {Rect{left, 10, left + 100, 110}, w, h};
}

TEST(RegionHistory, StoredTextRoundTripsAndBadItemsAreSkipped) {
  const std::vector<RegionHistoryEntry> entries = {Entry(5), Entry(1700, 3840, 2160)};
  EXPECT_EQ(FormatRegionHistory(entries), "5,10,105,110,1600,900;1700,10,1800,110,3840,2160");
  EXPECT_EQ(ParseRegionHistory(FormatRegionHistory(entries)), entries);
  // Malformed, empty, off its own screen, numbers too long: skipped.
  EXPECT_EQ(ParseRegionHistory("x;1,2,3;5,10,105,110,1600,900,7;;5,10,5,110,1600,900;"
                               "5,10,105,110,100,900;99999999999,1,2,3,4,5;"
                               "5,10,105,110,1600,900"),
            std::vector<RegionHistoryEntry>{Entry(5)});
}

TEST(RegionHistory, NewestFirstWithoutRepeatsAtMostTwenty) {
  std::vector<RegionHistoryEntry> entries;
  for (int i = 0; i < 25; ++i) AddToRegionHistory(entries, Entry(i));
  ASSERT_EQ(entries.size(), kRegionHistoryLength);
  EXPECT_EQ(entries.front(), Entry(24));
  EXPECT_EQ(entries.back(), Entry(5));
  AddToRegionHistory(entries, Entry(10));  // again: moves to the front
  EXPECT_EQ(entries.size(), kRegionHistoryLength);
  EXPECT_EQ(entries[0], Entry(10));
  EXPECT_EQ(entries[1], Entry(24));
}

TEST(RegionHistory, BrowsingSkipsRegionsOffTheScreenAndStopsAtTheEnds) {
  const std::vector<RegionHistoryEntry> entries = {Entry(5), Entry(1700, 3840, 2160), Entry(50)};
  EXPECT_EQ(StepRegionHistory(entries, -1, 1, 1600, 900), 0);
  EXPECT_EQ(StepRegionHistory(entries, 0, 1, 1600, 900), 2);  // 1 lies beyond the right edge
  EXPECT_EQ(StepRegionHistory(entries, 2, 1, 1600, 900), 2);  // nothing older
  EXPECT_EQ(StepRegionHistory(entries, 2, -1, 1600, 900), 0);
  EXPECT_EQ(StepRegionHistory(entries, 0, -1, 1600, 900), 0);  // nothing newer
  EXPECT_EQ(StepRegionHistory(entries, 0, 1, 3840, 2160), 1);
  EXPECT_EQ(StepRegionHistory({}, -1, 1, 1600, 900), -1);
}

}  // namespace
}  // namespace kv
