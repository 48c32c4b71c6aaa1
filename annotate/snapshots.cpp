// Annotations are kept as pixels: each finished one is burned into the
// picture of the region, undo puts back what it changed and redo what undo
// took away. The stack
// holds one full picture (the top) and, per annotation, only the tiles it
// changed, so a long session costs memory in proportion to what was drawn.
#include <new>

#include "annotate/annotate.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"

namespace kv {

namespace {

OverlayState& o = overlayState;

// The pixels of a 24-bit section (null bits when it is not one).
MutablePixelView PixelsOf(HBITMAP section) {
  DIBSECTION info{};
  MutablePixelView view;
  if (!section || GetObject(section, sizeof info, &info) != sizeof info) return view;
  if (info.dsBm.bmBitsPixel != 24 || !info.dsBm.bmBits) return view;
  GdiFlush();  // drawing queued on the section has landed
  view.bits = static_cast<uint8_t*>(info.dsBm.bmBits);
  view.width = info.dsBm.bmWidth;
  view.height = info.dsBm.bmHeight;
  view.stride = info.dsBm.bmWidthBytes;
  view.bytesPerPixel = 3;
  return view;
}

PixelView ReadOnly(const MutablePixelView& v) {
  return {v.bits, v.width, v.height, v.stride, v.bytesPerPixel};
}

// The region as it shows without annotations, in the format of a
// composition.
ScopedBitmap PlainRegion() {
  const Rect region = VisibleRegion();
  if (IsEmptyRect(region) || !o.screenSnapshot) return ScopedBitmap();
  ScopedGetDC screen(nullptr);
  ScopedMemDC mem(CreateCompatibleDC(screen.get()));
  if (!mem) return ScopedBitmap();
  ScopedSelect select(mem.get(), o.screenSnapshot.get());
  return CopyToRegionSection(mem.get(), region);
}

// Makes `picture` the new top, remembering what it changed. A picture
// whose predecessor cannot be read, or whose undo record finds no memory,
// is not added: the annotation is dropped and the region keeps its
// previous picture.
void PushSnapshot(ScopedBitmap picture) {
  SnapshotStack& stack = o.snapshotStack;
  ScopedBitmap plain;
  HBITMAP previous = stack.top.get();
  if (!previous) {
    plain = PlainRegion();
    previous = plain.get();
  }
  const MutablePixelView before = PixelsOf(previous);
  const MutablePixelView after = PixelsOf(picture.get());
  if (!before.bits || !after.bits || before.width != after.width || before.height != after.height) {
    return;
  }
  try {
    stack.entryIsMarker.reserve(stack.entries.size() + 1);
    stack.entries.push_back(DiffPictures(ReadOnly(before), ReadOnly(after)));
  } catch (const std::bad_alloc&) {
    return;
  }
  stack.entryIsMarker.push_back(o.currentTool == kStepMarkerTool);
  stack.redo.clear();
  stack.redoIsMarker.clear();
  stack.top = std::move(picture);
}

}  // namespace

void ComposeRegion() {
  // A paint that ends early (no window context, no back buffer) must not
  // leave an earlier picture behind as the new one.
  o.composedImage.reset();
  o.composeFlag = true;
  PaintOverlay();
  o.composeFlag = false;
}

void BurnIn() {
  ComposeRegion();
  if (o.composedImage) PushSnapshot(std::move(o.composedImage));
  EndBrushStroke();
}

void UndoAnnotation() {
  o.textString.clear();
  SnapshotStack& stack = o.snapshotStack;
  if (stack.empty()) {
    HideToolWindows();
    ResetCapture();
    PaintOverlay();
    return;
  }
  PixelPatch patch = std::move(stack.entries.back());
  stack.entries.pop_back();
  const bool marker = stack.entryIsMarker.back();
  stack.entryIsMarker.pop_back();
  // The top becomes the earlier picture (the plain capture after the first
  // annotation is undone) and the patch keeps what it replaced.
  if (ExchangePatch(PixelsOf(stack.top.get()), patch)) {
    stack.redo.push_back(std::move(patch));
    stack.redoIsMarker.push_back(marker);
  } else {
    stack.clear();  // cannot happen; the plain capture is never wrong
  }
  PaintOverlay();
}

bool CanRedo() { return !o.snapshotStack.redo.empty(); }

void RedoAnnotation() {
  SnapshotStack& stack = o.snapshotStack;
  if (stack.redo.empty() || o.shapeInProgress) return;
  PixelPatch patch = std::move(stack.redo.back());
  stack.redo.pop_back();
  const bool marker = stack.redoIsMarker.back();
  stack.redoIsMarker.pop_back();
  if (ExchangePatch(PixelsOf(stack.top.get()), patch)) {
    stack.entries.push_back(std::move(patch));
    stack.entryIsMarker.push_back(marker);
  } else {
    stack.redo.clear();
    stack.redoIsMarker.clear();
  }
  PaintOverlay();
}

}  // namespace kv
