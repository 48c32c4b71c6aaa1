// The toolbar and the three option bars: child dialogs of the overlay that
// draw themselves from bitmap artwork and handle the pointer themselves.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "annotate/annotate.h"
#include "core/overlay_layout.h"
#include "host/host.h"
#include "overlay/monitors.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"
#include "resources/host/overlay_ids.h"
#include "winutil/message_guard.h"
#include "winutil/ui_text.h"

namespace kv {

namespace {

OverlayState& o = overlayState;

struct ToolButton {
  Rect rect;
  ScopedBitmap images[4];  // 1 normal, 2 hovered, 3 pressed; 0 is never drawn
  int width = 0;
  int height = 0;
  std::wstring tipText;  // translated
  bool hovered = false;
  bool pressed = false;
  bool armed = false;  // the button went down here; a release here fires it
};

// Buttons 0 to kToolCount - 1 are the tools, in ToolId order; then these.
enum ToolbarButton {
  kUndoButton = kToolCount,
  kSaveButton,
  kPinButton,
  kCancelButton,
  kCompleteButton
};

struct ButtonSpec {
  int strip;
  const char* tipKey;
};
const ButtonSpec kToolbarSpecs[kToolbarButtonCount] = {
    {IDB_RECTANGLE_TOOL, "Rectangle Tool"},
    {IDB_ELLIPSE_TOOL, "Ellipse Tool"},
    {IDB_ARROW_TOOL, "Arrow Tool"},
    {IDB_BRUSH_TOOL, "Brush Tool"},
    {IDB_TEXT_TOOL, "Text Tool"},
    {IDB_MOSAIC_TOOL, "Mosaic Tool"},
    {IDB_STEP_MARKER_TOOL, "Step Marker Tool"},
    {IDB_HIGHLIGHTER_TOOL, "Highlighter Tool"},
    {IDB_UNDO, "Undo"},
    {IDB_SAVE, "Save"},
    {IDB_PIN, "Pin to Screen"},
    {IDB_CANCEL, "Cancel"},
    {IDB_COMPLETE, "Complete"},
};
const int kPenSizeStrips[kPenSizeButtonCount] = {IDB_PEN_SMALL, IDB_PEN_MEDIUM, IDB_PEN_LARGE};
const int kPenWidths[kPenSizeButtonCount] = {1, 2, 5};

constexpr COLORREF kBarBackground = RGB(200, 255, 255);
constexpr COLORREF kHoveredSwatchFrame = RGB(0, 0, 255);

ToolButton toolbarButtons[kToolbarButtonCount];
ToolButton penSizeButtons[kPenSizeButtonCount];
bool toolbarTracking = false;
bool colourBarTracking = false;
bool penSizeBarTracking = false;
std::array<Rect, kSwatchCount> colourSwatches{};
int hoveredSwatch = 0;  // 1 to 16, 0 none
ScopedBrush barBrush;   // the bars' background, made once

Point ClientPointer(HWND w) {
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(w, &p);
  return {p.x, p.y};
}

// Cuts a strip of four state images into the button's images.
void LoadButtonImages(int stripId, ToolButton& button, const char* tipKey) {
  ScopedBitmap strip(LoadArtwork(stripId));
  BITMAP info{};
  if (!strip || !GetObject(strip.get(), sizeof info, &info)) return;
  button.width = info.bmWidth / 4;
  button.height = info.bmHeight;
  ScopedGetDC screen(nullptr);
  ScopedMemDC source(CreateCompatibleDC(screen.get()));
  ScopedMemDC target(CreateCompatibleDC(screen.get()));
  ScopedSelect selectStrip(source.get(), strip.get());
  for (int i = 0; i < 4; ++i) {
    button.images[i].reset(CreateCompatibleBitmap(source.get(), button.width, button.height));
    ScopedSelect selectImage(target.get(), button.images[i].get());
    BitBlt(target.get(), 0, 0, button.width, button.height, source.get(), i * button.width, 0,
           SRCCOPY);
  }
  if (tipKey && *tipKey) button.tipText = UiTextWide(tipKey);
}

void ReleaseButtons(ToolButton* buttons, int count) {
  for (int i = 0; i < count; ++i) buttons[i] = ToolButton{};
}

void DrawImage(HDC target, HDC source, HBITMAP image, int x, int y, int w, int h) {
  ScopedSelect select(source, image);
  BitBlt(target, x, y, w, h, source, 0, 0, SRCCOPY);
}

// Background 1:1, then each button's state images, into one copy.
void PaintButtonBar(HWND bar, HDC dc, HBITMAP background, const ToolButton* buttons, int count) {
  RECT client;
  GetClientRect(bar, &client);
  ScopedMemDC back(CreateCompatibleDC(dc));
  ScopedBitmap buffer(CreateCompatibleBitmap(dc, client.right, client.bottom));
  ScopedMemDC source(CreateCompatibleDC(dc));
  if (!back || !buffer || !source) return;
  ScopedSelect selectBuffer(back.get(), buffer.get());
  FillRect(back.get(), &client, barBrush ? barBrush.get() : GetSysColorBrush(COLOR_3DFACE));
  if (background)
    DrawImage(back.get(), source.get(), background, 0, 0, client.right, client.bottom);
  for (int i = 0; i < count; ++i) {
    const ToolButton& b = buttons[i];
    auto draw = [&](int state) {
      if (b.images[state]) {
        DrawImage(back.get(), source.get(), b.images[state].get(), b.rect.left, b.rect.top, b.width,
                  b.height);
      }
    };
    if (!b.hovered && !b.pressed) draw(1);
    if (b.hovered) draw(2);
    if (b.pressed) draw(3);
  }
  BitBlt(dc, 0, 0, client.right, client.bottom, back.get(), 0, 0, SRCCOPY);
}

// Repaints a bar at once.
void RepaintNow(HWND w) {
  if (!w) return;
  InvalidateRect(w, nullptr, FALSE);
  UpdateWindow(w);
}

// The one tool the overlay registered with the tooltip.
TOOLINFOW OverlayTool() {
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = o.overlayWindow;
  tool.uId = reinterpret_cast<UINT_PTR>(o.overlayWindow);
  return tool;
}

void HideTooltip() {
  if (!o.tooltipWindow) return;
  TOOLINFOW tool = OverlayTool();
  SendMessageW(o.tooltipWindow, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

void ShowTooltip(const std::wstring& text) {
  if (!o.tooltipWindow) return;
  TOOLINFOW tool = OverlayTool();
  tool.lpszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(o.tooltipWindow, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  // Right of and below the pointer, else above it, on the pointer's monitor.
  POINT p{};
  GetCursorPos(&p);
  const Point at{p.x - o.screenRect.left, p.y - o.screenRect.top};
  const int offset = ScaleAt(at).Px(15);
  const LRESULT bubble =
      SendMessageW(o.tooltipWindow, TTM_GETBUBBLESIZE, 0, reinterpret_cast<LPARAM>(&tool));
  const Size size{LOWORD(bubble), HIWORD(bubble)};
  const Rect box = PlaceBeside({at.x + offset, at.y, at.x + offset, at.y}, size, offset,
                               {Side::kBelow, Side::kAbove}, MonitorAreaAt(at));
  SendMessageW(o.tooltipWindow, TTM_TRACKPOSITION, 0,
               MAKELPARAM(box.left + o.screenRect.left, box.top + o.screenRect.top));
  SendMessageW(o.tooltipWindow, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

void TrackPointer(HWND w, DWORD flags, bool* armed) {
  if (*armed) return;
  TRACKMOUSEEVENT track{};
  track.cbSize = sizeof track;
  track.dwFlags = flags;
  track.hwndTrack = w;
  track.dwHoverTime = HOVER_DEFAULT;
  TrackMouseEvent(&track);
  *armed = true;
}

void MarkActiveTool() {
  if (IsTool(o.currentTool)) toolbarButtons[o.currentTool - 1].pressed = true;
}

// The action of a toolbar button. The capture may end here, taking the
// toolbar with it.
void FireToolbarButton(int index) {
  if (index < kToolCount) {
    o.currentTool = index + 1;
    SelectTool(o.currentTool);
    return;
  }
  switch (index) {
    case kUndoButton:
      toolbarButtons[index].hovered = true;
      UndoAnnotation();
      return;
    case kSaveButton: return SaveCaptureAs();
    case kPinButton: return PinCapture();
    case kCancelButton: return CancelCapture();
    case kCompleteButton: return CompleteCapture();
    default: return;
  }
}

// ---- toolbar (1131)

// The buttons' images and places for the current artwork set.
void LoadToolbarButtons() {
  std::array<Size, kToolbarButtonCount> sizes;
  for (int i = 0; i < kToolbarButtonCount; ++i) {
    toolbarButtons[i] = ToolButton{};
    LoadButtonImages(kToolbarSpecs[i].strip, toolbarButtons[i], kToolbarSpecs[i].tipKey);
    sizes[i] = {toolbarButtons[i].width, toolbarButtons[i].height};
  }
  const auto rects = ToolbarButtonRects(sizes, o.uiScale);
  for (int i = 0; i < kToolbarButtonCount; ++i) toolbarButtons[i].rect = rects[i];
}

void LoadPenSizeButtons() {
  std::array<Size, kPenSizeButtonCount> sizes;
  for (int i = 0; i < kPenSizeButtonCount; ++i) {
    penSizeButtons[i] = ToolButton{};
    LoadButtonImages(kPenSizeStrips[i], penSizeButtons[i], nullptr);
    sizes[i] = {penSizeButtons[i].width, penSizeButtons[i].height};
  }
  const auto rects = PenSizeButtonRects(sizes, o.uiScale);
  for (int i = 0; i < kPenSizeButtonCount; ++i) {
    penSizeButtons[i].rect = rects[i];
    penSizeButtons[i].pressed = kPenWidths[i] == o.penWidth;
  }
}

void OnToolbarInit(HWND dlg) {
  toolbarTracking = false;
  o.penWidth = 2;
  o.penColor = RGB(0, 0, 0);
  LoadToolbarButtons();
}

void OnToolbarMouseMove(HWND dlg) {
  const Point p = ClientPointer(dlg);
  for (ToolButton& b : toolbarButtons) {
    if (Contains(b.rect, p)) {
      if (!b.hovered && !b.pressed) toolbarTracking = false;  // ask for a new hover
      if (b.pressed) HideTooltip();
      b.hovered = true;
    } else {
      b.hovered = false;
    }
  }
  RepaintNow(dlg);
  TrackPointer(dlg, TME_HOVER | TME_LEAVE, &toolbarTracking);
}

void OnToolbarHover(HWND dlg) {
  const Point p = ClientPointer(dlg);
  for (const ToolButton& b : toolbarButtons) {
    if (Contains(b.rect, p)) {
      ShowTooltip(b.tipText);
      break;
    }
  }
  RepaintNow(dlg);
}

void OnToolbarButtonDown(HWND dlg) {
  if (!o.ready) return;
  SetFocus(dlg);  // ends a text entry in progress, which commits it
  const Point p = ClientPointer(dlg);
  for (ToolButton& b : toolbarButtons) {
    if (Contains(b.rect, p)) b.pressed = b.armed = true;
  }
  RepaintNow(dlg);
}

void OnToolbarButtonUp(HWND dlg) {
  SetFocus(dlg);
  const Point p = ClientPointer(dlg);
  for (int i = 0; i < kToolbarButtonCount; ++i) {
    ToolButton& b = toolbarButtons[i];
    b.hovered = b.pressed = false;
    if (b.armed && Contains(b.rect, p)) {
      b.armed = false;
      FireToolbarButton(i);
      if (!IsWindow(dlg)) return;  // the capture ended
      break;
    }
    b.armed = false;
    MarkActiveTool();
  }
  RepaintNow(dlg);
  HideTooltip();
}

INT_PTR PaintBar(HWND dlg, HBITMAP background, const ToolButton* buttons, int count) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(dlg, &ps);
  PaintButtonBar(dlg, dc, background, buttons, count);
  EndPaint(dlg, &ps);
  return 0;
}

// ---- colour bar (1132)

void PaintColourBar(HWND dlg) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(dlg, &ps);
  RECT client;
  GetClientRect(dlg, &client);
  ScopedMemDC back(CreateCompatibleDC(dc));
  ScopedBitmap buffer(CreateCompatibleBitmap(dc, client.right, client.bottom));
  ScopedMemDC source(CreateCompatibleDC(dc));
  if (back && buffer && source) {
    ScopedSelect selectBuffer(back.get(), buffer.get());
    FillRect(back.get(), &client, barBrush.get());
    if (o.toolbarBitmaps[1]) {
      DrawImage(back.get(), source.get(), o.toolbarBitmaps[1].get(), 0, 0, client.right,
                client.bottom);
    }
    if (hoveredSwatch > 0) {
      const Rect& r = colourSwatches[hoveredSwatch - 1];
      ScopedPen pen(CreatePen(PS_SOLID, 1, kHoveredSwatchFrame));
      ScopedSelect selectPen(back.get(), pen.get());
      ScopedSelect selectBrush(back.get(), GetStockObject(NULL_BRUSH));
      Rectangle(back.get(), r.left, r.top, r.right, r.bottom);
    }
    ScopedBrush preview(CreateSolidBrush(o.penColor));
    RECT square = ToRECT(ColourPreviewRect(o.uiScale));
    FillRect(back.get(), &square, preview.get());
    BitBlt(dc, 0, 0, client.right, client.bottom, back.get(), 0, 0, SRCCOPY);
  }
  EndPaint(dlg, &ps);
}

int SwatchAt(Point p) {
  for (int i = 0; i < kSwatchCount; ++i) {
    if (Contains(colourSwatches[i], p)) return i + 1;
  }
  return 0;
}

void OnColourBarButtonDown(HWND dlg) {
  SetFocus(dlg);  // as on the toolbar: a text being typed is committed first
  const int swatch = SwatchAt(ClientPointer(dlg));
  if (swatch > 0) {
    // The colour as the bar shows it at the swatch's centre.
    const Rect& r = colourSwatches[swatch - 1];
    ScopedGetDC dc(dlg);
    const COLORREF shown = GetPixel(dc.get(), (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    if (shown != CLR_INVALID) o.penColor = shown;
    RepaintNow(dlg);
  }
  PaintOverlay();
}

INT_PTR BarBrush() {
  if (!barBrush) barBrush.reset(CreateSolidBrush(kBarBackground));
  return reinterpret_cast<INT_PTR>(barBrush.get());
}

INT_PTR ToolbarMessage(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: OnToolbarInit(dlg); return TRUE;
    case WM_PAINT:
      return PaintBar(dlg, o.toolbarBitmaps[0].get(), toolbarButtons, kToolbarButtonCount);
    case WM_MOUSEMOVE: OnToolbarMouseMove(dlg); return 0;
    case WM_MOUSEHOVER: OnToolbarHover(dlg); return 0;
    case WM_MOUSELEAVE:
      toolbarTracking = false;
      ResetToolbarButtons();
      return 0;
    case WM_LBUTTONDOWN: OnToolbarButtonDown(dlg); return 0;
    case WM_LBUTTONUP: OnToolbarButtonUp(dlg); return 0;
    case WM_KEYDOWN: OnOverlayKey(static_cast<UINT>(wParam)); return 0;
    case WM_DESTROY: ReleaseButtons(toolbarButtons, kToolbarButtonCount); return 0;
    default: return FALSE;
  }
}

INT_PTR ColourBarMessage(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      colourSwatches = ColourSwatchRects(o.uiScale);
      colourBarTracking = false;
      o.penColor = RGB(255, 0, 0);
      hoveredSwatch = 0;
      return TRUE;
    case WM_CTLCOLORDLG: return BarBrush();
    case WM_PAINT: PaintColourBar(dlg); return 0;
    case WM_MOUSEMOVE: {
      TrackPointer(dlg, TME_LEAVE, &colourBarTracking);
      const int swatch = SwatchAt(ClientPointer(dlg));
      if (swatch > 0) hoveredSwatch = swatch;
      RepaintNow(dlg);
      return 0;
    }
    case WM_LBUTTONDOWN: OnColourBarButtonDown(dlg); return 0;
    case WM_LBUTTONUP: ResetToolbarButtons(); return 0;
    case WM_KEYDOWN: OnOverlayKey(static_cast<UINT>(wParam)); return 0;
    case WM_MOUSELEAVE:
      colourBarTracking = false;
      hoveredSwatch = 0;
      RepaintNow(dlg);
      return 0;
    default: return FALSE;
  }
}

INT_PTR PenSizeBarMessage(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      penSizeBarTracking = false;
      LoadPenSizeButtons();  // penWidth 2: the middle one pressed
      return TRUE;
    }
    case WM_CTLCOLORDLG: return BarBrush();
    case WM_PAINT:
      return PaintBar(dlg, o.toolbarBitmaps[2].get(), penSizeButtons, kPenSizeButtonCount);
    case WM_MOUSEMOVE: {
      TrackPointer(dlg, TME_LEAVE, &penSizeBarTracking);
      const Point p = ClientPointer(dlg);
      for (ToolButton& b : penSizeButtons) b.hovered = Contains(b.rect, p);
      RepaintNow(dlg);
      return 0;
    }
    case WM_LBUTTONDOWN: {
      SetFocus(dlg);  // a text being typed is committed first
      const Point p = ClientPointer(dlg);
      for (int i = 0; i < kPenSizeButtonCount; ++i) {
        penSizeButtons[i].pressed = Contains(penSizeButtons[i].rect, p);
        if (penSizeButtons[i].pressed) o.penWidth = kPenWidths[i];
      }
      RepaintNow(dlg);
      PaintOverlay();
      return 0;
    }
    case WM_LBUTTONUP: ResetToolbarButtons(); return 0;
    case WM_KEYDOWN: OnOverlayKey(static_cast<UINT>(wParam)); return 0;
    case WM_MOUSELEAVE:
      penSizeBarTracking = false;
      for (ToolButton& b : penSizeButtons) b.hovered = false;
      RepaintNow(dlg);
      return 0;
    case WM_DESTROY: ReleaseButtons(penSizeButtons, kPenSizeButtonCount); return 0;
    default: return FALSE;
  }
}

INT_PTR TextSizeBarMessage(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: return TRUE;
    case WM_CTLCOLORDLG: return BarBrush();
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(dlg, &ps);
      if (o.toolbarBitmaps[3]) {
        ScopedMemDC source(CreateCompatibleDC(dc));
        ScopedSelect select(source.get(), o.toolbarBitmaps[3].get());
        const RECT& r = ps.rcPaint;
        BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, source.get(), r.left, r.top,
               SRCCOPY);
      }
      EndPaint(dlg, &ps);
      if (o.fontSizeCombo) UpdateWindow(o.fontSizeCombo);
      return 0;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) == CBN_SELCHANGE && reinterpret_cast<HWND>(lParam) == o.fontSizeCombo) {
        char text[16] = {};
        const LRESULT index = SendMessageA(o.fontSizeCombo, CB_GETCURSEL, 0, 0);
        if (index != CB_ERR &&
            SendMessageA(o.fontSizeCombo, CB_GETLBTEXTLEN, index, 0) < LRESULT(sizeof text)) {
          SendMessageA(o.fontSizeCombo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
          o.textPointSize = std::atoi(text);
        }
        o.textString.clear();  // committed text is not redrawn in another size
      }
      return 0;
    case WM_LBUTTONUP: ResetToolbarButtons(); return 0;
    default: return FALSE;
  }
}

}  // namespace

INT_PTR CALLBACK ToolbarDialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CatchAllocationFailure([&] { return ToolbarMessage(dlg, msg, wParam, lParam); },
                                INT_PTR{0});
}

INT_PTR CALLBACK ColourBarDialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CatchAllocationFailure([&] { return ColourBarMessage(dlg, msg, wParam, lParam); },
                                INT_PTR{0});
}

INT_PTR CALLBACK PenSizeBarDialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CatchAllocationFailure([&] { return PenSizeBarMessage(dlg, msg, wParam, lParam); },
                                INT_PTR{0});
}

INT_PTR CALLBACK TextSizeBarDialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CatchAllocationFailure([&] { return TextSizeBarMessage(dlg, msg, wParam, lParam); },
                                INT_PTR{0});
}

void ResetToolbarButtons() {
  for (ToolButton& b : toolbarButtons) b.hovered = b.pressed = b.armed = false;
  MarkActiveTool();
  HideTooltip();
  RepaintNow(o.toolbarWindow);
}

void ResetColourBarHover() { hoveredSwatch = 0; }

namespace {

// A bar takes the size of its background picture.
void FitBarToBackground(HWND bar, HBITMAP background) {
  BITMAP info{};
  if (!bar || !background || !GetObject(background, sizeof info, &info)) return;
  SetWindowPos(bar, nullptr, 0, 0, info.bmWidth, info.bmHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(bar, nullptr, FALSE);
}

// The toolbar and its bars are drawn with the artwork set of the monitor
// holding the region's larger part: moved to a monitor of another density,
// they take that monitor's set. The pen, colour and tool stay.
void MatchArtworkToRegion() {
  const UiScale want = ScaleOf(o.selection);
  if (want.ArtPercent() == o.uiScale.ArtPercent()) return;
  o.uiScale = want;
  const int backgrounds[4] = {IDB_TOOLBAR_BACK, IDB_COLOUR_BAR_BACK, IDB_PEN_SIZE_BAR_BACK,
                              IDB_TEXT_SIZE_BAR_BACK};
  const HWND bars[4] = {o.toolbarWindow, o.optionBars[0], o.optionBars[1], o.optionBars[2]};
  for (int i = 0; i < 4; ++i) {
    o.toolbarBitmaps[i].reset(LoadArtwork(backgrounds[i]));
    FitBarToBackground(bars[i], o.toolbarBitmaps[i].get());
  }
  LoadToolbarButtons();
  MarkActiveTool();
  LoadPenSizeButtons();
  colourSwatches = ColourSwatchRects(o.uiScale);
  const UiScale& s = o.uiScale;
  if (o.fontSizeCombo) {
    MoveWindow(o.fontSizeCombo, s.ArtPx(30), s.ArtPx(6), s.ArtPx(50), s.ArtPx(180), FALSE);
  }
}

}  // namespace

void PlaceToolbar() {
  HWND bar = o.toolbarWindow;
  if (!bar) return;
  MatchArtworkToRegion();
  RECT client, window, colour{};
  GetClientRect(bar, &client);
  GetWindowRect(bar, &window);
  if (o.optionBars[0]) GetClientRect(o.optionBars[0], &colour);
  const int optionRow = o.currentTool > 0 ? colour.bottom : 0;
  // On the monitor holding the region's larger part.
  const Point at = ToolbarOrigin(o.selection, {client.right, client.bottom}, optionRow,
                                 MonitorAreaOf(o.selection), o.uiScale);
  MoveWindow(bar, at.x, at.y, window.right - window.left, window.bottom - window.top, TRUE);
  ShowWindow(bar, SW_SHOW);
  UpdateWindow(bar);
}

namespace {

Size WindowSize(HWND w) {
  RECT r{};
  if (w) GetWindowRect(w, &r);
  return {r.right - r.left, r.bottom - r.top};
}

}  // namespace

void SelectTool(int tool) {
  for (int i = 0; i < kToolCount; ++i) toolbarButtons[i].pressed = false;
  if (tool > 0) {
    toolbarButtons[tool - 1].pressed = true;
    o.editMode = true;
  }
  PlaceToolbar();
  if (!o.toolbarWindow) return;
  const OptionRowLayout row = LayoutOptionRow(
      tool, RectInOverlay(o.toolbarWindow), o.selection.top, WindowSize(o.optionBars[0]),
      WindowSize(o.optionBars[1]), WindowSize(o.optionBars[2]));
  HideOptionBars();
  const Rect* places[3] = {&row.colourBar, &row.penSizeBar, &row.textSizeBar};
  for (int i = 0; i < 3; ++i) {
    const Rect& r = *places[i];
    if (IsEmptyRect(r) || !o.optionBars[i]) continue;
    MoveWindow(o.optionBars[i], r.left, r.top, r.Width(), r.Height(), TRUE);
    ShowWindow(o.optionBars[i], SW_SHOW);
    UpdateWindow(o.optionBars[i]);
  }
  RepaintNow(o.toolbarWindow);
  if (tool > 0) PaintOverlay();
}

}  // namespace kv
