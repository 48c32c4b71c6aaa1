// Placeholder commands until the capture routines exist: the host waits in
// its message loop, as it does while a prompt or an overlay is open.
#include "host/capture_commands.h"

#include "host/host.h"

namespace kv {

namespace {
void NotReady() {}
}  // namespace

void StartCaptureCommand() { NotReady(); }
void CaptureCommand() { NotReady(); }
void CaptureWindowCommand() { NotReady(); }
void CaptureScreenCommand() { NotReady(); }
void CaptureRectCommand() { NotReady(); }
void RestoreBrowserWindows() {}

}  // namespace kv
