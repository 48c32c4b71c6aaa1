// The walk up the host's parent processes that finds the browser.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "core/process_ancestry.h"

namespace kv {
namespace {

// A made-up process table: id -> parent id and creation time.
struct FakeProcesses {
  std::map<uint32_t, ProcessFacts> table;
  std::vector<uint32_t> visited;

  ProcessQuery Query() {
    return [this](uint32_t id, ProcessFacts* facts) {
      auto it = table.find(id);
      if (it == table.end()) return false;
      *facts = it->second;
      return true;
    };
  }
  uint32_t Find(uint32_t self, uint32_t wanted) {
    return FindInAncestry(self, Query(), [&](uint32_t id) {
      visited.push_back(id);
      return id == wanted;
    });
  }
};

TEST(AncestryTest, FindsTheNearestMatchingAncestor) {
  // host 40 <- cmd 30 <- browser 20 <- explorer 10
  FakeProcesses p;
  p.table = {{40, {30, 400}}, {30, {20, 300}}, {20, {10, 200}}, {10, {0, 100}}};
  EXPECT_EQ(p.Find(40, 20), 20u);
  EXPECT_EQ(p.visited, (std::vector<uint32_t>{30, 20}));
}

TEST(AncestryTest, WalksToTheEndWhenNothingMatches) {
  FakeProcesses p;
  p.table = {{40, {30, 400}}, {30, {20, 300}}, {20, {0, 200}}};
  EXPECT_EQ(p.Find(40, 99), 0u);
  EXPECT_EQ(p.visited, (std::vector<uint32_t>{30, 20}));
}

TEST(AncestryTest, SelfNotQueryableOrWithoutParentFindsNothing) {
  FakeProcesses p;
  EXPECT_EQ(p.Find(40, 40), 0u);
  p.table = {{40, {0, 400}}};
  EXPECT_EQ(p.Find(40, 40), 0u);
  EXPECT_TRUE(p.visited.empty());
}

TEST(AncestryTest, ParentThatCannotBeQueriedIsVisitedLast) {
  // The parent's windows may still be found (it exists but denies access).
  FakeProcesses p;
  p.table = {{40, {30, 400}}};
  EXPECT_EQ(p.Find(40, 30), 30u);
  p.visited.clear();
  EXPECT_EQ(p.Find(40, 20), 0u);
  EXPECT_EQ(p.visited, (std::vector<uint32_t>{30}));
}

TEST(AncestryTest, CyclesOfReusedIdsEnd) {
  const struct {
    const char* what;
    std::map<uint32_t, ProcessFacts> table;
    std::vector<uint32_t> visited;
  } cases[] = {
      // Times unknown: only the record of seen ids stops these.
      {"two processes name each other", {{40, {30, 0}}, {30, {20, 0}}, {20, {30, 0}}}, {30, 20}},
      {"a process names itself", {{40, {30, 0}}, {30, {30, 0}}}, {30}},
      {"the chain comes back to the host", {{40, {30, 0}}, {30, {40, 0}}}, {30}},
      // Known times: a "parent" younger than its child is not a parent.
      {"reused parent id", {{40, {30, 400}}, {30, {20, 500}}, {20, {0, 100}}}, {}},
      {"reused grandparent id", {{40, {30, 400}}, {30, {20, 300}}, {20, {40, 350}}}, {30}},
  };
  for (const auto& c : cases) {
    FakeProcesses p;
    p.table = c.table;
    EXPECT_EQ(p.Find(40, 99), 0u) << c.what;
    EXPECT_EQ(p.visited, c.visited) << c.what;
  }
}

TEST(AncestryTest, EqualCreationTimesAreAllowed) {
  // A coarse clock gives parent and child the same time.
  FakeProcesses p;
  p.table = {{40, {30, 400}}, {30, {20, 400}}, {20, {0, 400}}};
  EXPECT_EQ(p.Find(40, 20), 20u);
}

TEST(AncestryTest, EndlessChainIsBounded) {
  // Each process names a new parent: the walk stops after kMaxAncestry.
  FakeProcesses p;
  for (uint32_t id = 1; id <= 1000; ++id) p.table[id] = {id + 1, 0};
  EXPECT_EQ(p.Find(1, 5000), 0u);
  EXPECT_EQ(p.visited.size(), static_cast<size_t>(kMaxAncestry));
}

}  // namespace
}  // namespace kv
