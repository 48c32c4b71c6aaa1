// How a top-level window stands beyond what IsWindowVisible tells.
#pragma once
#include <windows.h>

namespace kv {

// The window is cloaked: "visible" to the window manager yet not on the
// screen (a window of another virtual desktop, a suspended store app,
// Windows 8 on). False where the system cannot tell.
bool IsCloaked(HWND window);

}  // namespace kv
