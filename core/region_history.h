// The regions of earlier completed captures, newest first, each with the
// size of the screen it was made on; kept in the user's settings as text
// and browsed with comma (older) and full stop (newer) while choosing.
#pragma once

#include <string>
#include <vector>

#include "core/selection.h"

namespace kv {

constexpr size_t kRegionHistoryLength = 20;

struct RegionHistoryEntry {
  Rect region;  // overlay client coordinates
  int screenWidth = 0;
  int screenHeight = 0;

  bool operator==(const RegionHistoryEntry& other) const {
    return region == other.region && screenWidth == other.screenWidth &&
           screenHeight == other.screenHeight;
  }
};

// "left,top,right,bottom,screenWidth,screenHeight" per entry, entries
// separated by ';'. Reading skips what is malformed, empty or beyond the
// 20 kept.
std::string FormatRegionHistory(const std::vector<RegionHistoryEntry>& entries);
std::vector<RegionHistoryEntry> ParseRegionHistory(const std::string& text);

// `entry` becomes the newest; an equal older entry is dropped, and the
// oldest go beyond 20.
void AddToRegionHistory(std::vector<RegionHistoryEntry>& entries, const RegionHistoryEntry& entry);

// The entry a step leads to from `current` (-1: none shown yet; `step` +1
// older, -1 newer), passing over entries whose region does not lie on a
// screen of the given size; `current` itself when there is none.
int StepRegionHistory(const std::vector<RegionHistoryEntry>& entries, int current, int step,
                      int screenWidth, int screenHeight);

}  // namespace kv
