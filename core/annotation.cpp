#include "core/annotation.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace kv {

ArrowHead ComputeArrowHead(Point s, Point e) {
  const int64_t dx = int64_t(e.x) - s.x;
  const int64_t dy = int64_t(e.y) - s.y;
  const float length = std::sqrt(static_cast<float>(dx * dx + dy * dy));
  ArrowHead head;
  if (!(length > 1e-10f)) return head;
  // Half the reversed line, truncated toward zero; the head's base is 10
  // pixels back from the tip and reaches half of that to each side.
  const int64_t hx = (int64_t(s.x) - e.x) / 2;
  const int64_t hy = (int64_t(s.y) - e.y) / 2;
  const int64_t bx = int64_t(s.x) - e.x;
  const int64_t by = int64_t(s.y) - e.y;
  auto at = [length](int tip, int64_t scaled) {
    return static_cast<int>(static_cast<float>(tip) + static_cast<float>(10 * scaled) / length);
  };
  head.present = true;
  head.p1 = {at(e.x, bx + hy), at(e.y, by - hx)};
  head.p2 = {at(e.x, bx - hy), at(e.y, by + hx)};
  return head;
}

Rect TextBoxRect(Point start, Point end) {
  const int left = (start.x < end.x ? start.x : end.x) + 1;
  const int top = (start.y < end.y ? start.y : end.y) + 1;
  int width = std::abs(end.x - start.x) - 2;
  int height = std::abs(end.y - start.y) - 2;
  if (width < kTextBoxMinWidth) width = kTextBoxMinWidth;
  if (height < kTextBoxMinHeight) height = kTextBoxMinHeight;
  return {left, top, left + width, top + height};
}

int TextCellHeight(int pointSize, int dpi) {
  // As MulDiv rounds: half away from zero.
  const int64_t product = int64_t(pointSize) * dpi;
  const int64_t rounded = product >= 0 ? (product + 36) / 72 : (product - 36) / 72;
  return static_cast<int>(rounded);
}

Rect TextBoxFrame(const Rect& box) {
  return {box.left - 1, box.top - 1, box.right + 1, box.bottom + 1};
}

}  // namespace kv
