// The annotation editor: the toolbar and its option bars, the tools, and
// the snapshot stack behind undo.
#pragma once
#include <windows.h>

#include <string>

#include "core/selection.h"

namespace kv {

// Dialog procedures of the toolbar (resource 1131) and the colour,
// pen-size and text-size bars (1132 to 1134).
INT_PTR CALLBACK ToolbarDialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ColourBarDialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PenSizeBarDialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TextSizeBarDialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);

// Positions and shows the toolbar beside the region.
void PlaceToolbar();
// Activates `tool` (currentTool already set): marks its button, enters
// edit mode, places the toolbar and shows the tool's option bars.
void SelectTool(int tool);
// Clears the toolbar's hover and press marks but the active tool's, hides
// the tooltip and repaints the toolbar.
void ResetToolbarButtons();
// Forgets the colour bar's hovered swatch.
void ResetColourBarHover();

// Draws the active tool's shape while it is being made (paint step).
void DrawLiveShape(HDC target);
// Forgets the brush stroke under way (its points and its layer).
void EndBrushStroke();
// The text tool: a press prepares the box, a release places it, losing the
// focus commits it.
void PrepareTextBox();
void PlaceTextBox(Point releasePoint);
void CommitText();
// The text of the box as a commit takes it: at most 499 UTF-16 units.
std::wstring TextOfBox();
// Empties and hides an open text box without adding anything to the
// picture (the capture region is being discarded).
void DiscardTextBox();

// Composes the region with composeFlag set; the result is composedImage.
void ComposeRegion();
// Burns the finished annotation into a new snapshot on the stack.
void BurnIn();
// Removes the last annotation; with none left, back to choosing a region.
void UndoAnnotation();
// Brings back what the last undo removed, until a new annotation is made.
void RedoAnnotation();
bool CanRedo();

}  // namespace kv
