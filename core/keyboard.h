// What the overlay's keys do: arrow keys step the pointer while a region is
// being chosen and move or resize a fixed region; Ctrl with a letter runs
// a command. Overlay client coordinates.
#pragma once

#include "core/selection.h"

namespace kv {

enum class Arrow { kLeft, kRight, kUp, kDown };

// One pixel, ten with Shift, in the arrow's direction.
Point ArrowStep(Arrow arrow, bool shift);

// A fixed region after an arrow key: without Ctrl it moves (Shift: ten
// pixels) and stops at the screen's edges keeping its size, as dragging
// moves it; Ctrl moves the right or bottom edge and Ctrl+Shift the left or
// top edge by one pixel, each kept on the screen and at least one pixel
// from the opposite edge. Crossed edges are put in order first.
Rect RegionAfterArrow(const Rect& region, Arrow arrow, bool ctrl, bool shift, int screenWidth,
                      int screenHeight);

enum class Shortcut { kNone, kComplete, kSaveAs, kUndo, kRedo };

// Ctrl+C complete, Ctrl+S Save As, Ctrl+Z undo, Ctrl+Y and Ctrl+Shift+Z
// redo. `letter` is the key's upper-case letter.
Shortcut ShortcutFor(char letter, bool ctrl, bool shift);

}  // namespace kv
