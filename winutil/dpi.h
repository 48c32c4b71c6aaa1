// The density of the screen a window or point is on. The programs are
// per-monitor DPI aware (their manifests say so): every coordinate is a
// physical pixel, and what they draw is sized for the monitor it shows on.
#pragma once
#include <windows.h>

namespace kv {

// The effective DPI of the monitor holding `point` (screen coordinates):
// GetDpiForMonitor where the system has it (Windows 8.1 on), else the
// system's LOGPIXELSX.
int DpiAtPoint(POINT point);

// The effective DPI of a monitor, as DpiAtPoint finds it.
int DpiOfMonitor(HMONITOR monitor);

// The DPI a window is drawn for: GetDpiForWindow where the system has it
// (Windows 10 1607 on), else that of the monitor it is on.
int DpiOfWindow(HWND window);

}  // namespace kv
