// The live shape of the active tool, drawn by every paint of the overlay
// on top of the annotations burned in so far.
#include "annotate/annotate.h"
#include "annotate/tool_drawing.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"

namespace kv {

namespace {

OverlayState& o = overlayState;

// Limits drawing on a context to a rectangle for its lifetime.
class ScopedClip {
 public:
  ScopedClip(HDC dc, const Rect& r) : dc_(dc), saved_(SaveDC(dc)) {
    IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
  }
  ~ScopedClip() {
    if (saved_) RestoreDC(dc_, saved_);
  }
  ScopedClip(const ScopedClip&) = delete;
  ScopedClip& operator=(const ScopedClip&) = delete;

 private:
  HDC dc_;
  int saved_;
};

}  // namespace

bool StrokeShows() {
  return o.shapeInProgress && o.shapeEndSet && Contains(o.selection, o.shapeStart) &&
         Contains(o.selection, o.shapeEnd);
}

void DrawLiveShape(HDC back) {
  // What is drawn live is what the picture gets: nothing outside the region.
  const Rect region = VisibleRegion();
  if (IsEmptyRect(region)) return;
  ScopedClip clip(back, region);
  switch (o.currentTool) {
    case kRectangleTool: return DrawRectangleTool(back);
    case kEllipseTool: return DrawEllipseTool(back);
    case kArrowTool: return DrawArrowTool(back);
    case kBrushTool: return DrawBrushTool(back);
    case kTextTool: return DrawTextTool(back);
    case kMosaicTool: return DrawMosaicTool(back);
    case kStepMarkerTool: return DrawStepMarkerTool(back);
    case kHighlighterTool: return DrawHighlighterTool(back);
    default: return;
  }
}

}  // namespace kv
