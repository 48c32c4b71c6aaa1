#include "core/monitor_placement.h"

#include <algorithm>
#include <climits>

#include "core/overlay_layout.h"

namespace kv {

namespace {

long long OverlapArea(const Rect& a, const Rect& b) {
  const long long w = std::min(a.right, b.right) - std::max(a.left, b.left);
  const long long h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
  return w > 0 && h > 0 ? w * h : 0;
}

// Squared distance from `p` to the nearest pixel of `r`.
long long DistanceSquared(const Rect& r, Point p) {
  const Point c = ClampInside(p, r);
  const long long dx = p.x - c.x, dy = p.y - c.y;
  return dx * dx + dy * dy;
}

int Nearest(const Monitors& monitors, Point p) {
  int best = -1;
  long long bestDistance = LLONG_MAX;
  for (size_t i = 0; i < monitors.size(); ++i) {
    const long long d = DistanceSquared(monitors[i].area, p);
    if (d < bestDistance) {
      best = static_cast<int>(i);
      bestDistance = d;
    }
  }
  return best;
}

int Shifted(int start, int length, int low, int high) {
  if (start + length > high) start = high - length;
  return std::max(start, low);
}

Rect BoxOnSide(const Rect& a, Size s, int gap, Side side) {
  switch (side) {
    case Side::kBelow: return {a.left, a.bottom + gap, a.left + s.width, a.bottom + gap + s.height};
    case Side::kAbove: return {a.left, a.top - gap - s.height, a.left + s.width, a.top - gap};
    case Side::kRight: return {a.right + gap, a.top, a.right + gap + s.width, a.top + s.height};
    case Side::kLeft: return {a.left - gap - s.width, a.top, a.left - gap, a.top + s.height};
  }
  return {};
}

bool RoomAcross(const Rect& box, Side side, const Rect& b) {
  if (side == Side::kBelow || side == Side::kAbove) {
    return box.top >= b.top && box.bottom <= b.bottom;
  }
  return box.left >= b.left && box.right <= b.right;
}

}  // namespace

Monitors SingleMonitor(int width, int height, int dpi) {
  const Rect area{0, 0, width, height};
  return {Monitor{area, area, dpi}};
}

Monitors OffsetMonitors(const Monitors& monitors, int dx, int dy) {
  auto move = [dx, dy](const Rect& r) {
    return Rect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
  };
  Monitors moved = monitors;
  for (Monitor& m : moved) {
    m.area = move(m.area);
    m.workArea = move(m.workArea);
  }
  return moved;
}

int MonitorOfRect(const Monitors& monitors, const Rect& r) {
  const Rect n = NormalizedRect(r);
  int best = -1;
  long long bestArea = 0;
  for (size_t i = 0; i < monitors.size(); ++i) {
    const long long area = OverlapArea(monitors[i].area, n);
    if (area > bestArea) {
      best = static_cast<int>(i);
      bestArea = area;
    }
  }
  return best >= 0 ? best : Nearest(monitors, {n.left, n.top});
}

int MonitorOfPoint(const Monitors& monitors, Point p) {
  for (size_t i = 0; i < monitors.size(); ++i) {
    if (Contains(monitors[i].area, p)) return static_cast<int>(i);
  }
  return Nearest(monitors, p);
}

Rect MonitorAreaOf(const Monitors& monitors, const Rect& r, const Rect& fallback) {
  const int i = MonitorOfRect(monitors, r);
  return i >= 0 ? monitors[i].area : fallback;
}

Rect MonitorAreaAt(const Monitors& monitors, Point p, const Rect& fallback) {
  const int i = MonitorOfPoint(monitors, p);
  return i >= 0 ? monitors[i].area : fallback;
}

UiScale ScaleAt(const Monitors& monitors, Point p, UiScale fallback) {
  const int i = MonitorOfPoint(monitors, p);
  return i >= 0 ? UiScale{monitors[i].dpi} : fallback;
}

UiScale ScaleOf(const Monitors& monitors, const Rect& r, UiScale fallback) {
  const int i = MonitorOfRect(monitors, r);
  return i >= 0 ? UiScale{monitors[i].dpi} : fallback;
}

Rect ShiftInside(const Rect& r, const Rect& b) {
  const int left = Shifted(r.left, r.Width(), b.left, b.right);
  const int top = Shifted(r.top, r.Height(), b.top, b.bottom);
  return {left, top, left + r.Width(), top + r.Height()};
}

Point ClampInside(Point p, const Rect& b) {
  return {std::max(b.left, std::min(p.x, b.right - 1)),
          std::max(b.top, std::min(p.y, b.bottom - 1))};
}

Rect PlaceBeside(const Rect& anchor, Size size, int gap, std::initializer_list<Side> order,
                 const Rect& bounds) {
  for (Side side : order) {
    const Rect box = BoxOnSide(anchor, size, gap, side);
    if (RoomAcross(box, side, bounds)) return ShiftInside(box, bounds);
  }
  const Side first = order.size() ? *order.begin() : Side::kBelow;
  return ShiftInside(BoxOnSide(anchor, size, gap, first), bounds);
}

Rect CentreIn(Size size, const Rect& area) {
  const int left = area.left + (area.Width() - size.width) / 2;
  const int top = area.top + (area.Height() - size.height) / 2;
  return ShiftInside({left, top, left + size.width, top + size.height}, area);
}

}  // namespace kv
