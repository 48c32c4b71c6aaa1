// The walk up a process's ancestry, guarded against reused process ids.
#pragma once
#include <cstdint>
#include <functional>

namespace kv {

// What the system tells about one process.
struct ProcessFacts {
  uint32_t parentId = 0;   // 0: none known
  uint64_t createdAt = 0;  // creation time in any increasing unit; 0: unknown
};

// Answers the facts of a process id; false when the process cannot be
// queried.
using ProcessQuery = std::function<bool(uint32_t id, ProcessFacts* facts)>;

// Longest ancestry the walk follows.
constexpr int kMaxAncestry = 64;

// Visits the ancestors of `self`, parent first, and returns the first id
// for which `accept` holds, or 0. The walk ends at a process without a
// parent, at an id seen before (a cycle of reused ids), at a "parent" that
// was created after its child (its id was reused by an unrelated process)
// and after kMaxAncestry steps. A parent that cannot be queried is still
// visited, but the walk ends there.
uint32_t FindInAncestry(uint32_t self, const ProcessQuery& query,
                        const std::function<bool(uint32_t id)>& accept);

}  // namespace kv
