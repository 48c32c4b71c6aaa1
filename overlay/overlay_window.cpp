// The overlay's window procedure: the selection state machine and the
// routing of pointer input to the region or the active tool.
//
// States follow from the flags: Choosing / Dragging (no region fixed, the
// left button up / down), Fixed and Adjusting (region fixed, selectPhase 2
// / 1), Annotating (editMode). Pointer positions are read with
// GetCursorPos, not taken from the message.
#include <windowsx.h>

#include "annotate/annotate.h"
#include "core/keyboard.h"
#include "overlay/colour_picker.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"
#include "winutil/message_guard.h"
#include "winutil/window_state.h"

namespace kv {

namespace {

OverlayState& o = overlayState;

// The topmost shown, enabled top-level window under `p` other than the
// overlay, or the desktop over none: what the pointer would be over without
// the overlay. The list is walked in z order, which leaves the overlay's
// focus and state untouched. A cloaked window is not on the screen, though
// it counts as visible, and is passed over.
struct WindowSearch {
  POINT p;
  HWND found;
};

BOOL CALLBACK MatchWindowAt(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  if (hwnd == o.overlayWindow || !IsWindowVisible(hwnd) || !IsWindowEnabled(hwnd)) return TRUE;
  RECT r;
  if (!VisibleWindowRect(hwnd, &r) || !PtInRect(&r, search->p) || IsCloaked(hwnd)) return TRUE;
  search->found = hwnd;
  return FALSE;
}

HWND TopLevelWindowBelowOverlay(POINT p) {
  WindowSearch search{p, nullptr};
  EnumWindows(MatchWindowAt, reinterpret_cast<LPARAM>(&search));
  return search.found ? search.found : GetDesktopWindow();
}

Point PointerInClient() {
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(o.overlayWindow, &p);
  return {p.x, p.y};
}

// Pointer moves count for dragging, resizing, moving and drawing only with
// exactly the left button held: no other button, no Shift, no Ctrl.
bool OnlyLeftButton(WPARAM keys) { return keys == MK_LBUTTON; }

void HideIfVisible(HWND w) {
  if (w && IsWindowVisible(w)) ShowWindow(w, SW_HIDE);
}

void SetHandleCursor(int index) {
  if (index >= 0 && index <= 8) SetCursor(o.handleCursors[index]);
}

// The Escape poll: the only keyboard handling of the overlay. It reads the
// key's global state, so it also works while the text box or a bar has the
// focus. While a modal loop of the overlay runs, Escape belongs to that
// loop (it closes the dialog or menu) and the capture stays open, also
// until that Escape is released.
void OnTimer() {
  if (!o.ready) {
    o.ready = true;
    // The keys come to the overlay from the start, before any click on it
    // (creating its companions can leave the focus nowhere).
    if (!GetFocus() && GetForegroundWindow() == o.overlayWindow) SetFocus(o.overlayWindow);
  }
  const SHORT escape = GetAsyncKeyState(VK_ESCAPE);
  if (o.modalLoopOpen) return;
  if (o.escapeHeldOver) {
    if (!(escape & 0x8000)) o.escapeHeldOver = false;
    return;
  }
  if (escape != 0) CancelCapture();
}

void OnSetCursor() {
  if (ShowsSelectCursor(o, PointerInClient())) SetCursor(o.selectCursor);
}

void OnMouseMoveAnnotating(Point p, WPARAM keys) {
  const bool inside = Contains(o.selection, p);
  if (inside) SetCursor(o.toolCursor);
  if (OnlyLeftButton(keys) && inside && o.shapeInProgress && p.x != o.shapeStart.x &&
      p.y != o.shapeStart.y) {
    // A drag over an open text box starts a new one: the open box's text
    // is committed first, whatever the platform does with a hidden focus.
    if (IsWindowVisible(o.textEdit) && GetFocus() == o.textEdit) SetFocus(o.overlayWindow);
    HideIfVisible(o.textEdit);
    o.shapeEnd = ClampToRegion(o.selection, p);
    o.shapeEndSet = true;
  }
  PaintOverlay();
}

void OnMouseMoveFixed(Point p, WPARAM keys) {
  SetHandleCursor(FixedRegionCursor(o, p));
  if (OnlyLeftButton(keys) &&
      AdjustTo(o, p, o.ScreenWidth(), o.ScreenHeight()) == AdjustResult::kMoved &&
      IsWindowVisible(o.toolbarWindow)) {
    PlaceToolbar();
  }
  PaintOverlay();
}

void OnMouseMoveChoosing(Point p, WPARAM keys) {
  HighlightWindowUnderPointer();
  if (OnlyLeftButton(keys)) DragTo(o, p);
  PaintOverlay();
}

void OnMouseMove(WPARAM keys) {
  const Point p = PointerInClient();
  if (o.editMode) return OnMouseMoveAnnotating(p, keys);
  if (o.selected) return OnMouseMoveFixed(p, keys);
  OnMouseMoveChoosing(p, keys);
}

void OnLButtonDown() {
  const Point p = PointerInClient();
  if (o.editMode) {
    if (!Contains(o.selection, p)) return;
    o.shapeStart = p;
    o.shapeEndSet = false;
    o.shapeInProgress = true;
    // The stroke ends where the button is released, also over the toolbar,
    // a bar or outside the overlay.
    SetCapture(o.overlayWindow);
    if (o.currentTool == kTextTool) {
      if (!IsWindowVisible(o.textEdit)) PrepareTextBox();
    } else {
      SetFocus(o.overlayWindow);
    }
    return;
  }
  if (o.selected) {
    const GrabResult grab = GrabFixedRegion(o, p);
    if (grab.handle) SetHandleCursor(o.hitHandle);
    if (grab.handle || grab.inside) HideIfVisible(o.toolbarWindow);
    return;
  }
  PressAt(o, p);
}

// The stroke under way ends: the text tool places or commits its box, the
// other tools burn their shape in. Nothing is added while the overlay is
// being destroyed.
void EndStroke() {
  if (!o.shapeInProgress) return;
  if (!o.closing) {
    if (o.currentTool == kTextTool) {
      PlaceTextBox(PointerInClient());
    } else {
      BurnIn();
    }
  }
  o.shapeStart = o.shapeEnd = Point{};
  o.shapeEndSet = false;
  o.shapeInProgress = false;
}

void OnLButtonUp() {
  o.pressed = false;
  if (!o.ready) return;
  if (o.editMode) {
    EndStroke();
    if (GetCapture() == o.overlayWindow) ReleaseCapture();
    ResetToolbarButtons();
    return;
  }
  if (!o.selected) {
    // Fixed on whatever the region holds: the highlighted window after a
    // click, the dragged rectangle after a drag.
    o.selected = true;
    PaintOverlay();
  }
  o.moving = false;
  PlaceToolbar();
  o.selectPhase = 2;
  ResetToolbarButtons();
}

void OnLButtonDblClk() {
  if (o.selected && Contains(o.selection, PointerInClient())) CompleteCapture();
}

void OnRButtonUp(LPARAM lParam) {
  if (!o.editMode && !o.selected) return CancelCapture();
  if (Contains(o.selection, PointerInClient())) {
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ClientToScreen(o.overlayWindow, &at);
    SetFocus(o.overlayWindow);
    ShowContextMenu(at);
    return;
  }
  HideToolWindows();
  ResetCapture();
  PaintOverlay();
}

void ChooseTool(int tool) {
  o.currentTool = tool;
  SelectTool(tool);
}

bool KeyHeld(int key) { return GetKeyState(key) < 0; }

bool ArrowOf(UINT key, Arrow* arrow) {
  switch (key) {
    case VK_LEFT: *arrow = Arrow::kLeft; return true;
    case VK_RIGHT: *arrow = Arrow::kRight; return true;
    case VK_UP: *arrow = Arrow::kUp; return true;
    case VK_DOWN: *arrow = Arrow::kDown; return true;
    default: return false;
  }
}

// While choosing, the pointer steps (the magnifier and the window snap
// follow, a drag under way extends); a fixed region without a tool moves
// or changes one edge.
void OnArrowKey(Arrow arrow, bool ctrl, bool shift) {
  if (!o.selected) {
    if (ctrl) return;
    const Point step = ArrowStep(arrow, shift);
    POINT p{};
    GetCursorPos(&p);
    SetCursorPos(p.x + step.x, p.y + step.y);
    // The modifiers belong to the key: a drag under way goes on.
    OnMouseMove(KeyHeld(VK_LBUTTON) ? MK_LBUTTON : 0);
    return;
  }
  if (o.editMode || o.selectPhase != 2) return;
  o.selection =
      RegionAfterArrow(o.selection, arrow, ctrl, shift, o.ScreenWidth(), o.ScreenHeight());
  PlaceToolbar();
  PaintOverlay();
}

void RunShortcut(Shortcut shortcut) {
  switch (shortcut) {
    case Shortcut::kComplete: return CompleteCapture();
    case Shortcut::kSaveAs: return SaveCaptureAs();
    case Shortcut::kUndo: return UndoAnnotation();
    case Shortcut::kRedo: return RedoAnnotation();
    case Shortcut::kNone: return;
  }
}

// The pointer was taken away in the middle of a stroke (another window
// captured it, the overlay is closing): the stroke ends there.
void OnCaptureChanged() {
  if (o.editMode && o.shapeInProgress) EndStroke();
}

void OnCommand(WPARAM wParam, LPARAM lParam) {
  if (HIWORD(wParam) == EN_KILLFOCUS && reinterpret_cast<HWND>(lParam) == o.textEdit) {
    return CommitText();
  }
  switch (LOWORD(wParam)) {
    case kCmdAddRectangle: return ChooseTool(kRectangleTool);
    case kCmdAddEllipse: return ChooseTool(kEllipseTool);
    case kCmdAddArrow: return ChooseTool(kArrowTool);
    case kCmdBrushTool: return ChooseTool(kBrushTool);
    case kCmdAddText: return ChooseTool(kTextTool);
    case kCmdAddMosaic: return ChooseTool(kMosaicTool);
    case kCmdAddStepMarker: return ChooseTool(kStepMarkerTool);
    case kCmdHighlighter: return ChooseTool(kHighlighterTool);
    case kCmdUndo: return UndoAnnotation();
    case kCmdRedo: return RedoAnnotation();
    case kCmdResetCapture:
      HideToolWindows();
      ResetCapture();
      return PaintOverlay();
    case kCmdCompleteCapture: return CompleteCapture();
    case kCmdPin: return PinCapture();
    case kCmdSaveAs: return SaveCaptureAs();
    case kCmdCancelCapture: return CancelCapture();
    default: return;
  }
}

// Typed text shows in the current colour on the box's own background.
LRESULT OnCtlColorEdit(HDC dc) {
  SetTextColor(dc, o.penColor);
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

void OnPaint(HWND hwnd) {
  // The paint draws the window's update region along with what changed.
  PaintOverlay();
  ScopedPaint paint(hwnd);
}

void OnDestroy() {
  o.lastSnap = WindowSnap{};
  o.snapshotStack.clear();
  EndBrushStroke();
  HWND* owned[] = {&o.toolbarWindow, &o.optionBars[0], &o.optionBars[1], &o.optionBars[2]};
  for (HWND* w : owned) {
    if (*w) DestroyWindow(*w);
    *w = nullptr;
  }
  // The remaining children go with the overlay.
  o.textEdit = o.fontSizeCombo = o.tooltipWindow = nullptr;
  o.overlayWindow = nullptr;
}

}  // namespace

namespace {

LRESULT DispatchOverlayMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_TIMER: OnTimer(); return 0;
    case WM_SETCURSOR: OnSetCursor(); return 0;
    case WM_MOUSEMOVE: OnMouseMove(wParam); return 0;
    case WM_LBUTTONDOWN: OnLButtonDown(); return 0;
    case WM_LBUTTONUP: OnLButtonUp(); return 0;
    case WM_LBUTTONDBLCLK: OnLButtonDblClk(); return 0;
    case WM_RBUTTONUP: OnRButtonUp(lParam); return 0;
    case WM_CAPTURECHANGED: OnCaptureChanged(); return 0;
    case WM_KEYDOWN:
      NotePickerKeyDown(static_cast<UINT>(wParam), lParam);
      OnOverlayKey(static_cast<UINT>(wParam));
      return 0;
    case WM_KEYUP: NotePickerKeyUp(static_cast<UINT>(wParam)); return 0;
    case WM_COMMAND: OnCommand(wParam, lParam); return 0;
    case WM_CTLCOLOREDIT: return OnCtlColorEdit(reinterpret_cast<HDC>(wParam));
    case WM_PAINT: OnPaint(hwnd); return 0;
    // The paint covers everything: no background erase, no flash.
    case WM_ERASEBKGND: return 1;
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_OVERLAY_COMPANIONS: CreateOverlayCompanions(); return 0;
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

}  // namespace

LRESULT CALLBACK OverlayWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CatchAllocationFailure([&] { return DispatchOverlayMessage(hwnd, msg, wParam, lParam); },
                                LRESULT{0});
}

void OnOverlayKey(UINT key) {
  // Keys wait for the first tick, as releases do, and never cut into a
  // stroke or a modal loop of the overlay.
  if (!o.overlayWindow || !o.ready || o.shapeInProgress || o.modalLoopOpen) return;
  const bool ctrl = KeyHeld(VK_CONTROL), shift = KeyHeld(VK_SHIFT);
  Arrow arrow;
  if (ArrowOf(key, &arrow)) return OnArrowKey(arrow, ctrl, shift);
  if (key == 'C' && !ctrl && !o.selected) return CopyPointedColour();
  if (key == VK_F3 && o.selected) return PinCapture();
  if ((key == VK_OEM_COMMA || key == VK_OEM_PERIOD) && !ctrl) {
    return StepThroughRegionHistory(key == VK_OEM_COMMA ? 1 : -1);
  }
  // The commands need a fixed region, as their buttons and menu items do.
  if (key >= 'A' && key <= 'Z' && o.selected) {
    RunShortcut(ShortcutFor(static_cast<char>(key), ctrl, shift));
  }
}

void HighlightWindowUnderPointer() {
  SetCursor(o.selectCursor);
  if (o.selected) return;
  POINT p{};
  GetCursorPos(&p);
  if (o.lastSnap.made && o.lastSnap.pointer.x == p.x && o.lastSnap.pointer.y == p.y &&
      o.lastSnap.region == o.selection) {
    return;
  }
  const POINT searchedAt = p;
  HWND target = TopLevelWindowBelowOverlay(p);
  GetCursorPos(&p);
  while (target) {
    POINT local = p;
    ScreenToClient(target, &local);
    // Hidden, disabled and click-through children are not what the user
    // sees or points at.
    HWND child = ChildWindowFromPointEx(target, local,
                                        CWP_SKIPINVISIBLE | CWP_SKIPDISABLED | CWP_SKIPTRANSPARENT);
    // Over no window the search starts at the desktop, whose topmost child
    // is the overlay itself: neither it nor its hidden bars are offered.
    if (!child || child == target || child == o.overlayWindow) break;
    GetCursorPos(&p);
    target = child;
  }
  RECT r;
  if (target && VisibleWindowRect(target, &r)) {
    POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    ScreenToClient(o.overlayWindow, &corners[0]);
    ScreenToClient(o.overlayWindow, &corners[1]);
    o.selection = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
  }
  o.selection = ClipRect(o.selection, o.ScreenWidth(), o.ScreenHeight());
  o.lastSnap = WindowSnap{searchedAt, o.selection, true};
}

}  // namespace kv
