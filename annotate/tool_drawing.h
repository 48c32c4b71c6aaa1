// What each tool draws on the overlay's back buffer while it is used. The
// buffer is in overlay client coordinates and clipped to the region.
#pragma once
#include <windows.h>

#include "core/selection.h"

namespace kv {

// A stroke shows once a qualifying move has set its end and both of its
// points lie in the region.
bool StrokeShows();

void DrawRectangleTool(HDC back);
void DrawEllipseTool(HDC back);
void DrawArrowTool(HDC back);
void DrawBrushTool(HDC back);
void DrawTextTool(HDC back);
void DrawMosaicTool(HDC back);
void DrawStepMarkerTool(HDC back);
void DrawHighlighterTool(HDC back);

}  // namespace kv
