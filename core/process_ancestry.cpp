#include "core/process_ancestry.h"

#include <vector>

namespace kv {

uint32_t FindInAncestry(uint32_t self, const ProcessQuery& query,
                        const std::function<bool(uint32_t id)>& accept) {
  ProcessFacts child;
  if (!query(self, &child)) return 0;
  std::vector<uint32_t> seen{self};
  for (int step = 0; step < kMaxAncestry && child.parentId != 0; ++step) {
    uint32_t id = child.parentId;
    for (uint32_t s : seen) {
      if (s == id) return 0;
    }
    seen.push_back(id);
    ProcessFacts parent;
    bool known = query(id, &parent);
    if (known && parent.createdAt && child.createdAt && parent.createdAt > child.createdAt)
      return 0;
    if (accept(id)) return id;
    if (!known) return 0;
    child = parent;
  }
  return 0;
}

}  // namespace kv
