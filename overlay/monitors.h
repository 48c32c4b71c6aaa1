// The monitors of the desk the overlay covers, read as each capture starts
// (a monitor plugged in or removed since the last capture counts), and
// where the overlay's companions go on them.
#pragma once
#include <windows.h>

#include "core/monitor_placement.h"

namespace kv {

// Reads every monitor (area, work area, density) into the overlay's record,
// in overlay client coordinates; needs the virtual screen's rectangle.
void ReadMonitors();

// The overlay's monitors; one covering the virtual screen at the overlay's
// density when none could be read.
Monitors OverlayMonitors();

// The area and the density of the monitor holding `p` or the larger part
// of `r` (overlay client coordinates).
Rect MonitorAreaAt(Point p);
Rect MonitorAreaOf(const Rect& r);
UiScale ScaleAt(Point p);
UiScale ScaleOf(const Rect& r);

// A screen point moved onto the monitor nearest to it (screen coordinates).
POINT OntoMonitor(POINT screenPoint);

}  // namespace kv
