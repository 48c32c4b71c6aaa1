// Placeholder interactive commands until the prompt exists: the host waits
// in its message loop.
#include "host/capture_commands.h"

namespace kv {

void StartCaptureCommand() {}
void CaptureCommand() {}

}  // namespace kv
