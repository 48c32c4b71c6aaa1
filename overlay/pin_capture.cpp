// Pinning: F3, the toolbar's pin button or the menu item completes the
// capture as Ctrl+C does and leaves its picture on the screen where the
// region was, in a process of its own that outlives the host.
#include "annotate/annotate.h"
#include "host/pin.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"

namespace kv {

void PinCapture() {
  OverlayState& o = overlayState;
  if (!o.overlayWindow || !o.selected || o.modalLoopOpen) return;
  o.selection = NormalizedRect(o.selection);
  const Rect region = VisibleRegion();
  if (IsEmptyRect(region)) return;
  ComposeRegion();
  if (!o.composedImage) return;
  // The pin is started first: completing releases the picture.
  StartPin(o.composedImage.get(), o.screenRect.left + region.left, o.screenRect.top + region.top);
  CompleteCapture();
}

}  // namespace kv
