#include "core/region_history.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace kv {

namespace {

// Six comma-separated whole numbers of at most 6 digits (a sign allowed),
// nothing else.
bool ParseSix(const std::string& item, int (&values)[6]) {
  size_t at = 0;
  for (int i = 0; i < 6; ++i) {
    if (i > 0) {
      if (at >= item.size() || item[at] != ',') return false;
      ++at;
    }
    bool negative = false;
    if (at < item.size() && item[at] == '-') {
      negative = true;
      ++at;
    }
    const size_t first = at;
    int value = 0;
    while (at < item.size() && item[at] >= '0' && item[at] <= '9' && at - first < 6) {
      value = value * 10 + (item[at] - '0');
      ++at;
    }
    if (at == first || (at < item.size() && item[at] >= '0' && item[at] <= '9')) return false;
    values[i] = negative ? -value : value;
  }
  return at == item.size();
}

bool LiesOnScreen(const Rect& r, int w, int h) {
  return !IsEmptyRect(r) && r.left >= 0 && r.top >= 0 && r.right <= w && r.bottom <= h;
}

}  // namespace

std::string FormatRegionHistory(const std::vector<RegionHistoryEntry>& entries) {
  std::string text;
  for (const RegionHistoryEntry& e : entries) {
    char item[96];
    std::snprintf(item, sizeof item, "%d,%d,%d,%d,%d,%d", e.region.left, e.region.top,
                  e.region.right, e.region.bottom, e.screenWidth, e.screenHeight);
    if (!text.empty()) text += ';';
    text += item;
  }
  return text;
}

std::vector<RegionHistoryEntry> ParseRegionHistory(const std::string& text) {
  std::vector<RegionHistoryEntry> entries;
  std::istringstream items(text);
  std::string item;
  while (entries.size() < kRegionHistoryLength && std::getline(items, item, ';')) {
    int v[6];
    if (!ParseSix(item, v)) continue;
    const RegionHistoryEntry e{Rect{v[0], v[1], v[2], v[3]}, v[4], v[5]};
    if (LiesOnScreen(e.region, e.screenWidth, e.screenHeight)) entries.push_back(e);
  }
  return entries;
}

void AddToRegionHistory(std::vector<RegionHistoryEntry>& entries, const RegionHistoryEntry& entry) {
  entries.erase(std::remove(entries.begin(), entries.end(), entry), entries.end());
  entries.insert(entries.begin(), entry);
  if (entries.size() > kRegionHistoryLength) entries.resize(kRegionHistoryLength);
}

int StepRegionHistory(const std::vector<RegionHistoryEntry>& entries, int current, int step,
                      int screenWidth, int screenHeight) {
  const int count = static_cast<int>(entries.size());
  for (int i = current + step; i >= 0 && i < count; i += step) {
    if (LiesOnScreen(entries[i].region, screenWidth, screenHeight)) return i;
  }
  return current;
}

}  // namespace kv
