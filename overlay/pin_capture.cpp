// Pinning: F3, the toolbar's pin button or the menu item completes the
// capture as Ctrl+C does and leaves its picture on the screen where the
// region was, in a process of its own that outlives the host.
#include "host/pin.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"

namespace kv {

void PinCapture() {
  const OverlayState& o = overlayState;
  if (!o.overlayWindow || !o.selected || o.modalLoopOpen) return;
  CompleteCaptureAnd([](HBITMAP picture, const Rect& region) {
    const RECT& screen = overlayState.screenRect;
    StartPin(picture, screen.left + region.left, screen.top + region.top);
  });
}

}  // namespace kv
