// Placeholder direct commands until the capture routines exist: the host
// waits in its message loop.
#include "host/capture_commands.h"

#include "host/host.h"

namespace kv {

void CaptureWindowCommand() {}
void CaptureScreenCommand() {}
void CaptureRectCommand() {}
void MinimizeBrowserWindows(HWND) {}
void RestoreBrowserWindows() {}

}  // namespace kv
