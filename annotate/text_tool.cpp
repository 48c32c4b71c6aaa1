// The text tool: a box dragged out in the region, a borderless multi-line
// edit box placed over it for typing in the current colour, and the text
// drawn into the picture at the box's place when the box loses the focus.
#include "annotate/annotate.h"
#include "annotate/tool_drawing.h"
#include "core/annotation.h"
#include "overlay/monitors.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"

namespace kv {

namespace {

OverlayState& o = overlayState;

// Longest text taken from the box, in UTF-16 units.
constexpr int kMaxTextLength = 499;

// The text font for the current size on the overlay's screen: a cell of
// size * LOGPIXELSY / 72 pixels, the platform's face for the GB2312
// character set.
ScopedFont CreateTextFont() {
  int dpi = 96;
  if (o.overlayWindow) {
    ScopedGetDC dc(o.overlayWindow);
    if (dc) dpi = GetDeviceCaps(dc.get(), LOGPIXELSY);
  }
  LOGFONTW font{};
  font.lfHeight = TextCellHeight(o.textPointSize, dpi);
  font.lfCharSet = GB2312_CHARSET;
  return ScopedFont(CreateFontIndirectW(&font));
}

Rect BoxInOverlay() { return RectInOverlay(o.textEdit); }

void FrameDashed(HDC back, const Rect& r) {
  ScopedPen pen(CreatePen(PS_DASHDOTDOT, 1, RGB(0, 0, 0)));
  ScopedSelect selectPen(back, pen.get());
  ScopedSelect selectBrush(back, GetStockObject(NULL_BRUSH));
  Rectangle(back, r.left, r.top, r.right, r.bottom);
}

bool BoxOpen() { return o.textEdit && IsWindowVisible(o.textEdit); }

}  // namespace

void DrawTextTool(HDC back) {
  if (StrokeShows()) FrameDashed(back, SpanRect(o.shapeStart, o.shapeEnd));
  if (!o.textString.empty() && o.textEdit) {
    ScopedFont font = CreateTextFont();
    ScopedSelect selectFont(back, font.get());
    SetTextColor(back, o.penColor);
    RECT box = ToRECT(BoxInOverlay());
    DrawTextW(back, o.textString.c_str(), static_cast<int>(o.textString.size()), &box,
              DT_EDITCONTROL | DT_WORDBREAK | DT_NOPREFIX);
  }
  if (BoxOpen()) FrameDashed(back, TextBoxFrame(BoxInOverlay()));
}

void PrepareTextBox() {
  if (!o.textEdit || BoxOpen()) return;
  SetWindowTextW(o.textEdit, L"");
  ScopedFont font = CreateTextFont();
  SendMessageW(o.textEdit, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
  // No inner margins: the text sits where it will be drawn at the commit.
  SendMessageW(o.textEdit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
  o.textBoxFont = std::move(font);  // the box's previous font goes now
}

void PlaceTextBox(Point releasePoint) {
  if (!o.textEdit) return;
  if (BoxOpen()) {
    SetFocus(o.overlayWindow);  // the box loses the focus: its text is committed
    return;
  }
  const Point end = ClampToRegion(o.selection, releasePoint);
  SetWindowTextW(o.textEdit, L"");
  // A box that its least size pushes off its monitor is shifted back onto it.
  const Rect dragged = TextBoxRect(o.shapeStart, end);
  const Rect box = ShiftInside(dragged, MonitorAreaOf(dragged));
  MoveWindow(o.textEdit, box.left, box.top, box.Width(), box.Height(), TRUE);
  ShowWindow(o.textEdit, SW_SHOW);
  UpdateWindow(o.textEdit);
  SetFocus(o.textEdit);
}

std::wstring TextOfBox() {
  wchar_t text[kMaxTextLength + 1] = {};
  if (o.textEdit) GetWindowTextW(o.textEdit, text, kMaxTextLength + 1);
  return text;
}

void CommitText() {
  if (!o.overlayWindow || !o.textEdit || o.closing) return;
  o.textString = TextOfBox();
  ShowWindow(o.textEdit, SW_HIDE);
  if (!o.textString.empty()) BurnIn();
  // Once in the picture the text is pixels like every other annotation:
  // drawn again it would take the next colour chosen and darken its edges.
  o.textString.clear();
  PaintOverlay();
}

void DiscardTextBox() {
  if (!BoxOpen()) return;
  SetWindowTextW(o.textEdit, L"");
  if (GetFocus() == o.textEdit) {
    SetFocus(o.overlayWindow);  // commits the empty text: nothing is drawn
  }
  ShowWindow(o.textEdit, SW_HIDE);
}

}  // namespace kv
