// Painting the overlay: the darkened frozen screen, the bright region with
// its annotations, the frame and handles or the magnifier, the size label.
// Everything is drawn off-screen and reaches the window in one copy; a
// paint after a pointer move draws and copies only what changed.
#include <cwchar>
#include <string>

#include "annotate/annotate.h"
#include "core/overlay_layout.h"
#include "core/paint_area.h"
#include "host/host.h"
#include "overlay/colour_picker.h"
#include "overlay/monitors.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"
#include "winutil/codepage.h"
#include "winutil/ui_text.h"

namespace kv {

namespace {

OverlayState& o = overlayState;

// What the window shows since the last paint.
ShownPicture shown;

constexpr COLORREF kChoosingFrame = RGB(0, 180, 245);
constexpr COLORREF kFixedFrame = RGB(45, 120, 225);
constexpr COLORREF kLabelBack = RGB(50, 50, 50);
constexpr COLORREF kMagnifierBack = RGB(60, 60, 60);
constexpr COLORREF kZoomFrame = RGB(0, 120, 255);
constexpr COLORREF kCrossHair = RGB(0, 255, 255);
constexpr COLORREF kLabelText = RGB(255, 255, 255);
constexpr COLORREF kTipText = RGB(255, 127, 39);

// The font of the size label and the magnifier lines (12 pixels at 96 dpi
// on the monitor they are drawn on), made for each block.
ScopedFont LabelFont(UiScale scale) {
  return ScopedFont(CreateFontW(-scale.Px(12), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                GB2312_CHARSET, OUT_STROKE_PRECIS, CLIP_STROKE_PRECIS,
                                DRAFT_QUALITY, VARIABLE_PITCH, L"Arial"));
}

// Copies w x h pixels of `bitmap` from (sx, sy) to (x, y) of `target`.
void CopyFromBitmap(HDC target, HBITMAP bitmap, int x, int y, int w, int h, int sx, int sy) {
  ScopedMemDC mem(CreateCompatibleDC(target));
  ScopedSelect select(mem.get(), bitmap);
  BitBlt(target, x, y, w, h, mem.get(), sx, sy, SRCCOPY);
}

void FillSolid(HDC dc, const Rect& r, COLORREF colour) {
  ScopedBrush brush(CreateSolidBrush(colour));
  RECT rc = ToRECT(r);
  FillRect(dc, &rc, brush.get());
}

void FrameHollow(HDC dc, const Rect& r, int penWidth, COLORREF colour) {
  ScopedPen pen(CreatePen(PS_SOLID, penWidth, colour));
  ScopedSelect selectPen(dc, pen.get());
  ScopedSelect selectBrush(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, r.left, r.top, r.right, r.bottom);
}

void DrawLine(HDC dc, const std::wstring& text, const Rect& r, COLORREF colour, UINT flags) {
  SetTextColor(dc, colour);
  RECT rc = ToRECT(r);
  DrawTextW(dc, text.c_str(), -1, &rc, flags);
}

std::wstring Format(const wchar_t* format, int a, int b) {
  wchar_t text[64];
  std::swprintf(text, sizeof text / sizeof text[0], format, a, b);
  return text;
}

// The darkened screen everywhere but `region`, which the bright picture
// covers next: the same picture as one full copy, without copying the
// region's pixels twice.
void CopyDimmedAround(HDC back, const Rect& region, int w, int h) {
  HBITMAP dimmed = o.dimmedSnapshot.get();
  if (IsEmptyRect(region)) return CopyFromBitmap(back, dimmed, 0, 0, w, h, 0, 0);
  const Rect bands[4] = {{0, 0, w, region.top},
                         {0, region.bottom, w, h},
                         {0, region.top, region.left, region.bottom},
                         {region.right, region.top, w, region.bottom}};
  ScopedMemDC mem(CreateCompatibleDC(back));
  ScopedSelect select(mem.get(), dimmed);
  for (const Rect& b : bands) {
    if (IsEmptyRect(b)) continue;
    BitBlt(back, b.left, b.top, b.Width(), b.Height(), mem.get(), b.left, b.top, SRCCOPY);
  }
}

// A new 24-bit bottom-up section holding `region` of the picture; it
// replaces composedImage (null when it cannot be made).
void ComposeImage(HDC back, const Rect& region) {
  o.composedImage.reset();
  if (IsEmptyRect(region)) return;
  o.composedImage = CopyToRegionSection(back, region);
}

// The magnifier's last line: the page's own hint when it gave one, else the
// keys of choosing (arrows step the pointer, C copies the colour, comma and
// full stop bring back earlier regions).
std::wstring MagnifierTip() {
  const std::string& tip = captureRequest.tipInfo;
  return tip.empty() ? UiTextWide("←↑→↓ C copy ,. back") : AnsiToWide(tip);
}

void DrawMagnifier(HDC back, Point p) {
  const std::wstring tip = MagnifierTip();
  // On the pointer's monitor, at its density.
  const UiScale scale = ScaleAt(p);
  const MagnifierLayout m = LayoutMagnifier(p, MonitorAreaAt(p), true, scale);
  const int zw = m.zoomSize.width, zh = m.zoomSize.height;
  {
    // The zoom is taken before the box is drawn, so it never shows itself.
    ScopedMemDC zoomDC(CreateCompatibleDC(back));
    ScopedBitmap zoom(CreateCompatibleBitmap(back, zw, zh));
    ScopedSelect select(zoomDC.get(), zoom.get());
    StretchBlt(zoomDC.get(), 0, 0, zw, zh, back, m.zoomSource.x, m.zoomSource.y, kZoomSourceWidth,
               kZoomSourceHeight, SRCCOPY);
    FillSolid(back, m.box, kMagnifierBack);
    BitBlt(back, m.box.left, m.box.top, zw, zh, zoomDC.get(), 0, 0, SRCCOPY);
  }
  FrameHollow(back, m.zoomFrame, scale.Px(2), kZoomFrame);
  FillSolid(back, m.crossHorizontal, kCrossHair);
  FillSolid(back, m.crossVertical, kCrossHair);

  ScopedFont font = LabelFont(scale);
  ScopedSelect selectFont(back, font.get());
  const UINT flags = DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS;
  DrawLine(back, Format(L"X:%d,Y:%d", p.x, p.y), m.positionLine, kLabelText, flags);
  DrawLine(back, PointedColourText(p), m.colourLine, kLabelText, flags);
  DrawLine(back, tip, m.tipLine, kTipText, flags);
}

void DrawSizeLabel(HDC back, const Rect& r) {
  // On the monitor holding the region's larger part, at its density.
  const UiScale scale = ScaleOf(r);
  const Rect label = SizeLabelRect(r, MonitorAreaOf(r), scale);
  FillSolid(back, label, kLabelBack);
  ScopedFont font = LabelFont(scale);
  ScopedSelect selectFont(back, font.get());
  // The multiplication sign between the numbers (U+00D7).
  DrawLine(back, Format(L"%d\u00D7%d", r.Width(), r.Height()), label, kLabelText,
           DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}

void DrawFixedFrame(HDC back, const Rect& r) {
  FrameHollow(back, r, 1, kFixedFrame);
  o.handleRects = ComputeHandleRects(r, ScaleOf(r).Px(kHandleSize));
  ScopedBrush brush(CreateSolidBrush(kFixedFrame));
  for (int i = 1; i <= 8; ++i) {
    RECT rc = ToRECT(o.handleRects[i]);
    FillRect(back, &rc, brush.get());
  }
}

Point PointerInOverlay() {
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(o.overlayWindow, &p);
  return {p.x, p.y};
}

}  // namespace

Rect RectInOverlay(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  MapWindowPoints(HWND_DESKTOP, o.overlayWindow, reinterpret_cast<POINT*>(&r), 2);
  return FromRECT(r);
}

Rect VisibleRegion() { return ClipRect(o.selection, o.ScreenWidth(), o.ScreenHeight()); }

ScopedBitmap CopyToRegionSection(HDC source, const Rect& region) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = region.Width();
  info.bmiHeader.biHeight = region.Height();
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  ScopedBitmap section(CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!section) return section;
  ScopedMemDC mem(CreateCompatibleDC(source));
  if (!mem) return ScopedBitmap();
  ScopedSelect select(mem.get(), section.get());
  BitBlt(mem.get(), 0, 0, region.Width(), region.Height(), source, region.left, region.top,
         SRCCOPY);
  return section;
}

void DrawRegionPicture(HDC target, const Rect& part, Point at) {
  const Rect visible = VisibleRegion();
  CopyFromBitmap(target, o.screenSnapshot.get(), at.x, at.y, part.Width(), part.Height(), part.left,
                 part.top);
  if (o.snapshotStack.top) {
    CopyFromBitmap(target, o.snapshotStack.top.get(), at.x, at.y, part.Width(), part.Height(),
                   part.left - visible.left, part.top - visible.top);
  }
}

void RenderOverlay(HDC back, Point pointer) {
  const int w = o.ScreenWidth(), h = o.ScreenHeight();
  const Rect& r = o.selection;
  const bool hasRegion = !IsEmptyRect(r);
  const Rect visible = VisibleRegion();
  CopyDimmedAround(back, hasRegion ? visible : Rect{}, w, h);
  // The layer of a brush or highlighter stroke already holds the region's
  // picture.
  const bool layerCoversRegion = o.brushLayer && o.editMode &&
                                 (o.currentTool == kBrushTool || o.currentTool == kHighlighterTool);
  if (hasRegion && !layerCoversRegion)
    DrawRegionPicture(back, visible, {visible.left, visible.top});
  // Text of every kind (the tools' too) goes on a transparent background,
  // and dashed lines keep the picture between their dashes.
  SetBkMode(back, TRANSPARENT);
  if (o.editMode && IsTool(o.currentTool)) DrawLiveShape(back);
  if (o.composeFlag) ComposeImage(back, visible);
  if (!hasRegion) return;
  if (!o.selected) {
    FrameHollow(back, r, 4, kChoosingFrame);
    DrawMagnifier(back, pointer);
  } else {
    DrawFixedFrame(back, r);
  }
  DrawSizeLabel(back, r);
}

void PaintOverlay() {
  if (!o.overlayWindow) return;
  const int w = o.ScreenWidth(), h = o.ScreenHeight();
  ScopedGetDC window(o.overlayWindow);
  if (!window) return;
  const Point pointer = PointerInOverlay();
  // Annotations, a tool or a composition make the picture more than its
  // region and pointer tell: such a paint covers the whole window.
  ShownPicture now;
  if (!o.composeFlag && !o.editMode && !o.snapshotStack.top && !o.brushLayer) {
    now = PlainPicture(o.selection, o.selected, pointer, OverlayMonitors());
  }
  now.known = true;
  Rect area = RepaintArea(shown, now, w, h);
  // What the window waits to have painted again (uncovered when a companion
  // window hid) is drawn with it, so no second paint follows.
  RECT pending{};
  if (GetUpdateRect(o.overlayWindow, &pending, FALSE)) {
    area = ClipRect(BoundingRect(area, FromRECT(pending)), w, h);
  }
  if (IsEmptyRect(area)) return;
  // Until the new picture is on the window, what it shows is unknown.
  shown = ShownPicture{};
  ScopedMemDC back(CreateCompatibleDC(window.get()));
  ScopedBitmap buffer(CreateCompatibleBitmap(window.get(), area.Width(), area.Height()));
  if (!back || !buffer) return;
  ScopedSelect select(back.get(), buffer.get());
  // The buffer holds `area` of the window; drawing keeps window coordinates.
  SetWindowOrgEx(back.get(), area.left, area.top, nullptr);
  RenderOverlay(back.get(), pointer);
  BitBlt(window.get(), area.left, area.top, area.Width(), area.Height(), back.get(), area.left,
         area.top, SRCCOPY);
  const RECT painted = ToRECT(area);
  ValidateRect(o.overlayWindow, &painted);
  shown = now;
}

void ForgetShownPicture() { shown = ShownPicture{}; }

void PaintFrozenScreen() {
  if (!o.overlayWindow) return;
  const int w = o.ScreenWidth(), h = o.ScreenHeight();
  ScopedGetDC window(o.overlayWindow);
  if (!window) return;
  CopyFromBitmap(window.get(), o.dimmedSnapshot.get(), 0, 0, w, h, 0, 0);
  ValidateRect(o.overlayWindow, nullptr);
  // What a paint without a region shows.
  shown = PlainPicture(Rect{}, false, Point{}, OverlayMonitors());
}

}  // namespace kv
