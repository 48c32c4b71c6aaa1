// Where things shown beside the region or the pointer go on a desk of
// several monitors. The overlay covers the virtual screen, the bounding box
// of every monitor; where monitors differ in size it has corners that no
// monitor shows. Everything placed beside an anchor (a region or the
// pointer) therefore stays wholly on one monitor: the one holding the
// anchor's larger part. On a single monitor these rules are the plain
// screen-edge rules of the overlay's layout.
#pragma once
#include <initializer_list>
#include <vector>

#include "core/overlay_layout.h"
#include "core/selection.h"
#include "core/ui_scale.h"

namespace kv {

// One monitor, in the coordinates of whoever reads it (screen or overlay
// client coordinates), with its work area (the area without task bars) and
// its density.
struct Monitor {
  Rect area;
  Rect workArea;
  int dpi = kBaseDpi;
};
using Monitors = std::vector<Monitor>;

// One monitor covering a w x h screen at (0, 0).
Monitors SingleMonitor(int width, int height, int dpi = kBaseDpi);

// The monitors moved by (dx, dy): screen to overlay client coordinates.
Monitors OffsetMonitors(const Monitors& monitors, int dx, int dy);

// The monitor holding the larger part of `r` (edges in any order; the first
// listed on a tie); with no overlap, or an empty `r`, the one nearest its
// top-left corner. -1 for an empty list.
int MonitorOfRect(const Monitors& monitors, const Rect& r);
// The monitor holding `p`, else the nearest one. -1 for an empty list.
int MonitorOfPoint(const Monitors& monitors, Point p);

// The area of that monitor, or `fallback` for an empty list.
Rect MonitorAreaOf(const Monitors& monitors, const Rect& r, const Rect& fallback);
Rect MonitorAreaAt(const Monitors& monitors, Point p, const Rect& fallback);
// The density of the monitor something at `p` (or over `r`) is drawn on, or
// `fallback` for an empty list.
UiScale ScaleAt(const Monitors& monitors, Point p, UiScale fallback);
UiScale ScaleOf(const Monitors& monitors, const Rect& r, UiScale fallback);

// `r` moved the least distance that puts it inside `bounds`, its size kept;
// a rectangle wider or higher than `bounds` keeps its left or top edge on
// that of `bounds`.
Rect ShiftInside(const Rect& r, const Rect& bounds);
// `p` moved onto the nearest pixel of `bounds` (not empty).
Point ClampInside(Point p, const Rect& bounds);

// The sides of an anchor, tried in the order a caller gives.
enum class Side { kBelow, kAbove, kRight, kLeft };

// A box of `size` beside `anchor`, `gap` pixels away: below or above with
// left edges aligned, right or left of it with top edges aligned. The first
// side in `order` with room for the box inside `bounds` across that side is
// taken; along the side the box is shifted inside `bounds`. When no side has
// room, the first side's box is shifted inside `bounds`.
Rect PlaceBeside(const Rect& anchor, Size size, int gap, std::initializer_list<Side> order,
                 const Rect& bounds);

// A box of `size` centred in `area`, shifted inside it when larger.
Rect CentreIn(Size size, const Rect& area);

}  // namespace kv
