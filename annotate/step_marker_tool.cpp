// The step-marker tool: a press shows the next numbered disc under the
// pointer, it follows a drag, and the release leaves it there. The disc is
// filled with the pen's colour and its number stands in black or white,
// whichever reads on that colour.
#include <cwchar>

#include "annotate/tool_drawing.h"
#include "core/step_marker.h"
#include "overlay/overlay_state.h"

namespace kv {

void DrawStepMarkerTool(HDC back) {
  OverlayState& o = overlayState;
  if (!o.shapeInProgress) return;
  const Point centre = o.shapeEndSet ? o.shapeEnd : o.shapeStart;
  if (!Contains(o.selection, centre)) return;
  const int radius = StepMarkerRadius(o.penWidth, o.uiScale);
  const Rect disc = StepMarkerRect(centre, radius);
  {
    ScopedBrush fill(CreateSolidBrush(o.penColor));
    ScopedPen outline(CreatePen(PS_SOLID, 1, o.penColor));
    ScopedSelect selectBrush(back, fill.get());
    ScopedSelect selectPen(back, outline.get());
    Ellipse(back, disc.left, disc.top, disc.right, disc.bottom);
  }
  wchar_t number[16];
  std::swprintf(number, sizeof number / sizeof number[0], L"%d",
                NextStepNumber(o.snapshotStack.entryIsMarker));
  ScopedFont font(CreateFontW(-StepMarkerFontHeight(radius), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                              NONANTIALIASED_QUALITY, VARIABLE_PITCH, L"Arial"));
  ScopedSelect selectFont(back, font.get());
  const bool dark =
      StepMarkerNumberIsDark(GetRValue(o.penColor), GetGValue(o.penColor), GetBValue(o.penColor));
  SetTextColor(back, dark ? RGB(0, 0, 0) : RGB(255, 255, 255));
  SetBkMode(back, TRANSPARENT);
  RECT box = ToRECT(disc);
  DrawTextW(back, number, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
}

}  // namespace kv
