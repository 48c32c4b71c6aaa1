// Annotations are kept as pixels: each finished one is burned into a new
// picture of the region on the snapshot stack, and undo drops the top.
#include "annotate/annotate.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"

namespace kv {

namespace {
OverlayState& o = overlayState;
}  // namespace

void ComposeRegion() {
  o.composeFlag = true;
  PaintOverlay();
  o.composeFlag = false;
}

void BurnIn() {
  o.composeFlag = true;
  PaintOverlay();
  // A picture that could not be made adds no entry: the stack never holds
  // an empty one.
  if (o.composedImage) o.snapshotStack.push_back(std::move(o.composedImage));
  o.brushPoints.clear();
  o.composeFlag = false;
}

void UndoAnnotation() {
  o.textString.clear();
  if (o.snapshotStack.empty()) {
    HideToolWindows();
    ResetCapture();
    PaintOverlay();
    return;
  }
  o.snapshotStack.pop_back();
  PaintOverlay();
}

}  // namespace kv
