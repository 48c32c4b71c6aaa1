#include "core/keyboard.h"

namespace kv {

namespace {

int Clamp(int v, int low, int high) { return v < low ? low : v > high ? high : v; }

}  // namespace

Point ArrowStep(Arrow arrow, bool shift) {
  const int step = shift ? 10 : 1;
  switch (arrow) {
    case Arrow::kLeft: return {-step, 0};
    case Arrow::kRight: return {step, 0};
    case Arrow::kUp: return {0, -step};
    case Arrow::kDown: return {0, step};
  }
  return {};
}

Rect RegionAfterArrow(const Rect& region, Arrow arrow, bool ctrl, bool shift, int w, int h) {
  Rect r = NormalizedRect(region);
  const bool horizontal = arrow == Arrow::kLeft || arrow == Arrow::kRight;
  if (!ctrl) {
    const Point d = ArrowStep(arrow, shift);
    const int width = r.Width(), height = r.Height();
    r.left = Clamp(r.left + d.x, 0, w - width > 0 ? w - width : 0);
    r.top = Clamp(r.top + d.y, 0, h - height > 0 ? h - height : 0);
    r.right = r.left + width;
    r.bottom = r.top + height;
    return r;
  }
  const Point d = ArrowStep(arrow, false);
  if (shift) {  // the left or top edge
    if (horizontal) {
      r.left = Clamp(r.left + d.x, 0, r.right - 1);
    } else {
      r.top = Clamp(r.top + d.y, 0, r.bottom - 1);
    }
  } else if (horizontal) {  // the right or bottom edge
    r.right = Clamp(r.right + d.x, r.left + 1, w);
  } else {
    r.bottom = Clamp(r.bottom + d.y, r.top + 1, h);
  }
  return r;
}

Shortcut ShortcutFor(char letter, bool ctrl, bool shift) {
  if (!ctrl) return Shortcut::kNone;
  switch (letter) {
    case 'C': return shift ? Shortcut::kNone : Shortcut::kComplete;
    case 'S': return shift ? Shortcut::kNone : Shortcut::kSaveAs;
    case 'Z': return shift ? Shortcut::kRedo : Shortcut::kUndo;
    case 'Y': return shift ? Shortcut::kNone : Shortcut::kRedo;
    default: return Shortcut::kNone;
  }
}

}  // namespace kv
