// Which part of the overlay a paint has to draw again: the picture the
// window shows and the one about to be drawn, each described by what
// decides its pixels, give the area where they can differ.
#pragma once

#include "core/monitor_placement.h"
#include "core/overlay_layout.h"
#include "core/selection.h"

namespace kv {

// A picture of the overlay as far as a partial paint needs to know it.
// Only a plain picture (the frozen screen, the bright region, its frame,
// handles, size label and magnifier; no annotations, tool or composition)
// is described; anything else is redrawn whole.
struct ShownPicture {
  bool known = false;  // the window shows a picture drawn this way
  bool plain = false;
  Rect selection;
  bool selected = false;
  Rect magnifier;   // everything the magnifier draws; empty without one
  Rect zoomSource;  // what the magnifier enlarges; empty without one
  Rect label;       // the size label; empty without a region
  UiScale scale;    // the density the region's frame and handles are drawn for
};

// The bounding rectangle of both; an empty rectangle adds nothing.
Rect BoundingRect(const Rect& a, const Rect& b);

// The plain picture with this region and pointer on a screen of w x h.
ShownPicture PlainPicture(const Rect& selection, bool selected, Point pointer, int w, int h,
                          UiScale scale = {});
// The same on several monitors (overlay client coordinates): the magnifier
// on the pointer's monitor at its density, the label, frame and handles at
// that of the monitor holding the region's larger part.
ShownPicture PlainPicture(const Rect& selection, bool selected, Point pointer,
                          const Monitors& monitors);

// The smallest rectangle of the screen (w x h) holding every pixel in which
// `now` can differ from `before`, plus what drawing `now` reads back from
// its own picture (the magnifier's source); the whole screen when either
// picture is unknown or not plain, empty when nothing changes.
Rect RepaintArea(const ShownPicture& before, const ShownPicture& now, int w, int h);

}  // namespace kv
