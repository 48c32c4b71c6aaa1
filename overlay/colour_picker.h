// The colour picker of the overlay: while a region is being chosen, C puts
// the colour under the pointer on the clipboard as text, in the form the
// magnifier shows; a tap of Shift (pressed and released with no other key)
// switches that form between #RRGGBB and RGB:(r,g,b). The form is kept in
// the user's settings for the next capture.
#pragma once
#include <windows.h>

#include <string>

#include "core/colour_text.h"
#include "core/selection.h"

namespace kv {

// The colour of the screen (not of the darkened overlay) at an overlay
// client point, as the magnifier's colour line writes it.
std::wstring PointedColourText(Point p);

// C while choosing: the text of the colour under the pointer goes to the
// clipboard. The capture stays open.
void CopyPointedColour();

// Every key that reaches the overlay window, for the Shift tap.
void NotePickerKeyDown(UINT virtualKey, LPARAM keyData);
void NotePickerKeyUp(UINT virtualKey);

}  // namespace kv
