#include "overlay/monitors.h"

#include "overlay/overlay_state.h"
#include "winutil/dpi.h"

namespace kv {

namespace {

OverlayState& o = overlayState;

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM param) {
  auto* monitors = reinterpret_cast<Monitors*>(param);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return TRUE;
  monitors->push_back(
      Monitor{FromRECT(info.rcMonitor), FromRECT(info.rcWork), DpiOfMonitor(monitor)});
  return TRUE;
}

Rect VirtualScreen() { return {0, 0, o.ScreenWidth(), o.ScreenHeight()}; }

}  // namespace

void ReadMonitors() {
  Monitors screen;
  EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&screen));
  o.monitors = OffsetMonitors(screen, -o.screenRect.left, -o.screenRect.top);
}

Monitors OverlayMonitors() {
  if (!o.monitors.empty()) return o.monitors;
  return SingleMonitor(o.ScreenWidth(), o.ScreenHeight(), o.uiScale.dpi);
}

Rect MonitorAreaAt(Point p) { return kv::MonitorAreaAt(o.monitors, p, VirtualScreen()); }
Rect MonitorAreaOf(const Rect& r) { return kv::MonitorAreaOf(o.monitors, r, VirtualScreen()); }
UiScale ScaleAt(Point p) { return kv::ScaleAt(o.monitors, p, o.uiScale); }
UiScale ScaleOf(const Rect& r) { return kv::ScaleOf(o.monitors, r, o.uiScale); }

POINT OntoMonitor(POINT screenPoint) {
  const Point p{screenPoint.x - o.screenRect.left, screenPoint.y - o.screenRect.top};
  const Point on = ClampInside(p, MonitorAreaAt(p));
  return {on.x + o.screenRect.left, on.y + o.screenRect.top};
}

}  // namespace kv
