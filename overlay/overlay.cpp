#include "overlay/overlay.h"

#include "host/host.h"

namespace kv {

// Placeholder until the overlay exists: the capture counts as cancelled.
void StartOverlay(HWND notifyWindow, const std::string&) {
  PostMessageA(notifyWindow, WM_CAPTURE_CANCEL, 0, 0);
}

}  // namespace kv
