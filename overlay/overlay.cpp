// The overlay's lifecycle: the frozen snapshot, the window and its
// companions, and the operations that end or restart a capture.
#include "overlay/overlay.h"

#include <commctrl.h>

#include <future>
#include <system_error>
#include <utility>

#include "annotate/annotate.h"
#include "core/darken.h"
#include "host/host.h"
#include "output/image_output.h"
#include "overlay/monitors.h"
#include "overlay/overlay_state.h"
#include "resources/host/overlay_ids.h"
#include "winutil/dib_section.h"
#include "winutil/dpi.h"
#include "winutil/ui_text.h"
#include "winutil/window_state.h"

namespace kv {

const char kOverlayClass[] = "KvVovoDodereWnd";
OverlayState overlayState;

namespace {

OverlayState& o = overlayState;

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollPeriodMs = 100;

struct MenuEntry {
  const char* key;  // English text; "-----" is a separator
  UINT command;
  const wchar_t* keys;  // the item's keyboard shortcut, shown at its right
};
const MenuEntry kContextMenu[] = {
    {"Add Rectangle", kCmdAddRectangle, nullptr},
    {"Add Ellipse", kCmdAddEllipse, nullptr},
    {"Add Arrow", kCmdAddArrow, nullptr},
    {"Brush Tool", kCmdBrushTool, nullptr},
    {"Add Text", kCmdAddText, nullptr},
    {"Add Mosaic", kCmdAddMosaic, nullptr},
    {"Add Step Marker", kCmdAddStepMarker, nullptr},
    {"Highlighter", kCmdHighlighter, nullptr},
    {"Undo", kCmdUndo, L"Ctrl+Z"},
    {"Redo", kCmdRedo, L"Ctrl+Y"},
    {"-----", 0, nullptr},
    {"Reset Capture Area", kCmdResetCapture, nullptr},
    {"Complete Capture", kCmdCompleteCapture, L"Ctrl+C"},
    {"Pin to Screen", kCmdPin, L"F3"},
    {"Save As", kCmdSaveAs, L"Ctrl+S"},
    {"-----", 0, nullptr},
    {"Cancel Capture", kCmdCancelCapture, L"Esc"},
};

const char* const kFontSizes[] = {"6", "8", "9", "10", "11", "12", "16", "18", "20"};
constexpr int kDefaultFontSizeIndex = 5;  // "12"

// The system cursors of the handle table: 0 move, 1 to 8 the handles.
const LPCTSTR kHandleCursorIds[9] = {IDC_SIZEALL,  IDC_SIZENWSE, IDC_SIZENS,
                                     IDC_SIZENESW, IDC_SIZEWE,   IDC_SIZEWE,
                                     IDC_SIZENESW, IDC_SIZENS,   IDC_SIZENWSE};

RECT VirtualScreenRect() {
  RECT r;
  r.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  r.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  r.right = r.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  r.bottom = r.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
  return r;
}

// A 32-bit top-down section of the virtual screen's size; its pixels at
// `bits`.
HBITMAP CreateScreenSection(HDC dc, void** bits) {
  return CreateTopDownSection(dc, o.ScreenWidth(), o.ScreenHeight(), bits);
}

// A screen-sized section whose memory the system has already handed out:
// every page is written once, so the loop that fills it later does not pay
// for a fault per page (about three quarters of the darkening's time at
// 3840 x 2160).
struct ReadySection {
  ScopedBitmap bitmap;
  void* bits = nullptr;
};

ReadySection MakeReadySection(int width, int height) {
  ReadySection made;
  made.bitmap.reset(CreateTopDownSection(nullptr, width, height, &made.bits));
  if (!made.bits) return made;
  auto* bytes = static_cast<uint8_t*>(made.bits);
  const size_t size = 4 * static_cast<size_t>(width) * height;
  constexpr size_t kPage = 4096;  // the smallest page of every x86 system
  for (size_t at = 0; at < size; at += kPage) bytes[at] = 0;
  return made;
}

// The darkened copy's section, made on a second thread while the first
// waits for the screen read.
std::future<ReadySection> dimmedSectionMaking;

void StartMakingDimmedSection() {
  const int w = o.ScreenWidth(), h = o.ScreenHeight();
  try {
    dimmedSectionMaking = std::async(std::launch::async, MakeReadySection, w, h);
  } catch (const std::system_error&) {  // no thread: made when it is needed
    std::promise<ReadySection> later;
    later.set_value(MakeReadySection(w, h));
    dimmedSectionMaking = later.get_future();
  }
}

// The untouched copy of the virtual screen: the one read from the screen,
// into a section, so that the darkened copy is made from its pixels in
// memory.
bool ReadScreen() {
  StartMakingDimmedSection();
  // What was hidden just before (the prompt, minimised windows) has left
  // the compositor's picture too.
  WaitForCompositor();
  ScopedGetDC desktop(GetDesktopWindow());
  if (!desktop) return false;
  void* bits = nullptr;
  o.screenSnapshot.reset(CreateScreenSection(desktop.get(), &bits));
  ScopedMemDC mem(CreateCompatibleDC(desktop.get()));
  if (!o.screenSnapshot || !bits || !mem) return false;
  ScopedSelect select(mem.get(), o.screenSnapshot.get());
  return BitBlt(mem.get(), 0, 0, o.ScreenWidth(), o.ScreenHeight(), desktop.get(),
                o.screenRect.left, o.screenRect.top, SRCCOPY) != FALSE;
}

// The darkened copy, made from the snapshot's pixels by a plain loop (a
// second read from the screen would cost as much as the first).
bool DarkenCopy() {
  DIBSECTION snapshot{};
  if (GetObject(o.screenSnapshot.get(), sizeof snapshot, &snapshot) != sizeof snapshot ||
      !snapshot.dsBm.bmBits) {
    return false;
  }
  if (!dimmedSectionMaking.valid()) StartMakingDimmedSection();  // taken already
  ReadySection dimmed = dimmedSectionMaking.get();
  if (!dimmed.bitmap || !dimmed.bits) return false;
  o.dimmedSnapshot = std::move(dimmed.bitmap);
  GdiFlush();  // the screen read has landed in the snapshot
  DarkenBytes(static_cast<const uint8_t*>(snapshot.dsBm.bmBits), static_cast<uint8_t*>(dimmed.bits),
              4 * static_cast<size_t>(o.ScreenWidth()) * o.ScreenHeight());
  return true;
}

bool RegisterOverlayClass() {
  WNDCLASSA existing;
  if (GetClassInfoA(hostInstance, kOverlayClass, &existing)) return true;
  WNDCLASSA wc{};
  wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = OverlayWindowProc;
  wc.hInstance = hostInstance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  wc.lpszClassName = kOverlayClass;
  return RegisterClassA(&wc) != 0;
}

bool CreateOverlayWindow() {
  if (!RegisterOverlayClass()) return false;
  o.overlayWindow = CreateWindowExA(WS_EX_TOPMOST, kOverlayClass, nullptr,
                                    WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, o.screenRect.left,
                                    o.screenRect.top, o.ScreenWidth(), o.ScreenHeight(), nullptr,
                                    nullptr, hostInstance, nullptr);
  ForgetShownPicture();
  return o.overlayWindow != nullptr;
}

bool ShowFrozenScreen() {
  ShowWindow(o.overlayWindow, SW_SHOW);
  // Painted before UpdateWindow, which then has nothing left to paint: the
  // darkened screen reaches the window once.
  PaintFrozenScreen();
  UpdateWindow(o.overlayWindow);
  // The keys belong to the overlay from the start, before any click on it.
  SetForegroundWindow(o.overlayWindow);
  return true;
}

bool LoadCursors() {
  for (int i = 0; i < 9; ++i) o.handleCursors[i] = LoadCursor(nullptr, kHandleCursorIds[i]);
  o.selectCursor = LoadCursorA(hostInstance, MAKEINTRESOURCEA(IDC_SELECT_ARROW));
  o.toolCursor = LoadCursorA(hostInstance, MAKEINTRESOURCEA(IDC_TOOL_CROSS));
  return true;
}

// A bar takes the size of its background picture, which is made for the
// screen's density (the template's dialog units follow the system font
// instead).
void FitToBackground(HWND bar, HBITMAP background) {
  BITMAP info{};
  if (!bar || !background || !GetObject(background, sizeof info, &info)) return;
  SetWindowPos(bar, nullptr, 0, 0, info.bmWidth, info.bmHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CreateToolbarAndBars() {
  o.toolbarWindow = CreateDialogParamA(hostInstance, MAKEINTRESOURCEA(IDD_TOOLBAR), o.overlayWindow,
                                       ToolbarDialogProc, 0);
  FitToBackground(o.toolbarWindow, o.toolbarBitmaps[0].get());
  const int bars[3] = {IDD_COLOUR_BAR, IDD_PEN_SIZE_BAR, IDD_TEXT_SIZE_BAR};
  const DLGPROC procs[3] = {ColourBarDialogProc, PenSizeBarDialogProc, TextSizeBarDialogProc};
  for (int i = 0; i < 3; ++i) {
    o.optionBars[i] =
        CreateDialogParamA(hostInstance, MAKEINTRESOURCEA(bars[i]), o.overlayWindow, procs[i], 0);
    FitToBackground(o.optionBars[i], o.toolbarBitmaps[i + 1].get());
  }
  return true;
}

bool CreateTextBoxAndSizeList() {
  // WS_CHILD | ES_MULTILINE | ES_PASSWORD: a multi-line edit ignores the
  // password bit.
  // A Unicode window, so that typed and pasted text of any script stays
  // intact whatever the system's ANSI code page.
  o.textEdit = CreateWindowExW(0, L"edit", L"", WS_CHILD | ES_MULTILINE | ES_PASSWORD, 0, 0, 0, 0,
                               o.overlayWindow, nullptr, hostInstance, nullptr);
  const UiScale& s = o.uiScale;
  o.fontSizeCombo = CreateWindowExA(
      0, "combobox", "", WS_CHILD | WS_VSCROLL | WS_BORDER | CBS_DROPDOWNLIST, s.ArtPx(30),
      s.ArtPx(6), s.ArtPx(50), s.ArtPx(180), o.optionBars[2], nullptr, hostInstance, nullptr);
  for (const char* size : kFontSizes) {
    SendMessageA(o.fontSizeCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(size));
  }
  SendMessageA(o.fontSizeCombo, CB_SETCURSEL, kDefaultFontSizeIndex, 0);
  ShowWindow(o.fontSizeCombo, SW_SHOW);
  return true;
}

bool LoadToolbarBitmaps() {
  const int ids[4] = {IDB_TOOLBAR_BACK, IDB_COLOUR_BAR_BACK, IDB_PEN_SIZE_BAR_BACK,
                      IDB_TEXT_SIZE_BAR_BACK};
  for (int i = 0; i < 4; ++i) o.toolbarBitmaps[i].reset(LoadArtwork(ids[i]));
  return true;
}

// The density the overlay is drawn for: that of the monitor the pointer is
// on as it opens, where the user is looking.
UiScale OverlayScale() {
  POINT pointer{};
  GetCursorPos(&pointer);
  return UiScale{DpiAtPoint(pointer)};
}

bool CreateTooltip() {
  o.tooltipWindow = CreateWindowExW(
      0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, o.overlayWindow, nullptr, hostInstance, nullptr);
  if (!o.tooltipWindow) return true;
  SetWindowPos(o.tooltipWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
  tool.hwnd = o.overlayWindow;
  tool.uId = reinterpret_cast<UINT_PTR>(o.overlayWindow);
  tool.lpszText = const_cast<wchar_t*>(L"");
  SendMessageW(o.tooltipWindow, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  return true;
}

bool CreateContextMenu() {
  o.contextMenu.reset(CreatePopupMenu());
  if (!o.contextMenu) return true;
  for (const MenuEntry& e : kContextMenu) {
    if (std::string(e.key) == "-----") {
      AppendMenuA(o.contextMenu.get(), MF_SEPARATOR, 0, nullptr);
    } else {
      // Shown as UTF-16: the texts of every language reach the screen
      // whatever the system's ANSI code page.
      std::wstring text = UiTextWide(e.key);
      if (e.keys) text += std::wstring(L"\t") + e.keys;
      AppendMenuW(o.contextMenu.get(), MF_STRING, e.command, text.c_str());
    }
  }
  return true;
}

// From now on only an Escape pressed from here on cancels: one held down now
// counts once it has been released, and the key's "pressed since the last
// query" bit, which an earlier press elsewhere may have left set, is read
// away here.
void HoldOverEscape() { o.escapeHeldOver = (GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0; }

bool StartTakingInput() {
  HoldOverEscape();
  SetTimer(o.overlayWindow, kPollTimer, kPollPeriodMs, nullptr);
  return true;
}

// Runs `operation` as a modal loop owned by the overlay (see
// OverlayState::modalLoopOpen).
template <typename F>
void RunModalLoop(F operation) {
  o.modalLoopOpen = true;
  operation();
  o.modalLoopOpen = false;
  HoldOverEscape();
}

// The region a composition for output uses: crossed edges put in order.
// False when nothing of it lies on the screen.
bool PrepareOutputRegion() {
  o.selection = NormalizedRect(o.selection);
  return !IsEmptyRect(ClipRect(o.selection, o.ScreenWidth(), o.ScreenHeight()));
}

// Takes the overlay off the screen at once (its companions are its
// children, but for the tooltip): a completed capture is encoded and
// written with the screen already back to normal. The message check hands
// the change to the display now rather than at the next wait for input.
void HideOverlay() {
  o.closing = true;  // a text box losing the focus now adds nothing
  for (HWND w : {o.tooltipWindow, o.overlayWindow}) {
    if (w && IsWindowVisible(w)) ShowWindow(w, SW_HIDE);
  }
  MSG msg;
  PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

// Undoes HideOverlay when the capture cannot end after all.
void ShowOverlayAgain() {
  o.closing = false;
  ShowWindow(o.overlayWindow, SW_SHOW);
  ForgetShownPicture();
  PaintOverlay();
  SetForegroundWindow(o.overlayWindow);
}

// Destroys the overlay with its companions and releases what it holds. A
// text box or stroke that its destruction interrupts adds nothing.
void CloseOverlay() {
  o.closing = true;
  if (o.overlayWindow) DestroyWindow(o.overlayWindow);
  ReleaseOverlayResources();
}

}  // namespace

const OverlayOpeningStep kOverlayOpening[] = {
    {"screen read", ReadScreen},
    {"darkened copy", DarkenCopy},
    {"overlay window", CreateOverlayWindow},
    {"frozen screen shown", ShowFrozenScreen},
    {"cursors", LoadCursors},
    {"Escape state and timer", StartTakingInput},
};
const size_t kOverlayOpeningSteps = sizeof kOverlayOpening / sizeof kOverlayOpening[0];

const OverlayOpeningStep kOverlayCompanions[] = {
    // The bars take their size from their artwork.
    {"toolbar artwork", LoadToolbarBitmaps},
    {"toolbar and option bars", CreateToolbarAndBars},
    {"text box and size list", CreateTextBoxAndSizeList},
    {"tooltip", CreateTooltip},
    {"context menu", CreateContextMenu},
};
const size_t kOverlayCompanionSteps = sizeof kOverlayCompanions / sizeof kOverlayCompanions[0];

void PrepareOverlay(HWND notifyWindow, const std::string& fileName) {
  o.closing = false;
  o.notifyWindow = notifyWindow;
  o.fileName = fileName;
  ResetCapture();
  o.screenRect = VirtualScreenRect();
  o.uiScale = OverlayScale();
  ReadMonitors();
}

void StartOverlay(HWND notifyWindow, const std::string& fileName) {
  PrepareOverlay(notifyWindow, fileName);
  for (const OverlayOpeningStep& step : kOverlayOpening) {
    if (!step.run()) return AbandonOverlay();
  }
  // Posted messages come before input, paints and timers: the companions
  // exist before the overlay handles anything the user does.
  PostMessageA(o.overlayWindow, WM_OVERLAY_COMPANIONS, 0, 0);
}

void CreateOverlayCompanions() {
  for (const OverlayOpeningStep& step : kOverlayCompanions) {
    if (!step.run()) return CancelCapture();
  }
}

void AbandonOverlay() {
  PostMessageA(o.notifyWindow, WM_CAPTURE_CANCEL, 0, 0);
  ReleaseOverlayResources();
}

void CompleteCapture() { CompleteCaptureAnd(nullptr); }

void CompleteCaptureAnd(void (*alsoWith)(HBITMAP picture, const Rect& region)) {
  if (!o.overlayWindow || !PrepareOutputRegion()) return;
  // The screen is back to normal before the picture is composed (a whole
  // paint, which at 3840 x 2160 takes longer than a frame).
  HideOverlay();
  ComposeRegion();
  // Without an image (the section could not be made) the capture stays
  // open rather than report a file that was never written.
  if (!o.composedImage) return ShowOverlayAgain();
  if (alsoWith) alsoWith(o.composedImage.get(), VisibleRegion());
  RememberCompletedRegion();
  CopyImageToClipboard(o.notifyWindow, o.composedImage.get());
  SaveToCaptureFolder(o.composedImage.get(), o.fileName);
  PostMessageA(o.notifyWindow, WM_CAPTURE_DONE, 0, 0);
  CloseOverlay();
}

void CancelCapture() {
  PostMessageA(o.notifyWindow, WM_CAPTURE_CANCEL, 0, 0);
  CloseOverlay();
}

void SaveCaptureAs() {
  if (!o.overlayWindow || o.modalLoopOpen) return;
  const Rect kept = o.selection;
  if (PrepareOutputRegion()) {
    ComposeRegion();
    if (o.composedImage) {
      RunModalLoop([] { SaveImageAs(o.overlayWindow, o.composedImage.get(), o.fileName); });
    }
  }
  o.selection = kept;
  PaintOverlay();
}

void ResetCapture() {
  o.anchorSet = false;
  o.pressed = false;
  o.selected = false;
  o.editMode = false;
  o.composeFlag = false;
  o.shapeInProgress = false;
  o.shapeEndSet = false;
  o.ready = false;
  o.selectPhase = 0;
  o.selection = Rect{};
  o.snapshotStack.clear();
  EndBrushStroke();
  o.textString.clear();
  o.currentTool = 0;
  ResetColourBarHover();
}

void HideToolWindows() {
  DiscardTextBox();
  HWND windows[] = {o.toolbarWindow, o.optionBars[0], o.optionBars[1], o.optionBars[2]};
  for (HWND w : windows) {
    if (w && IsWindowVisible(w)) ShowWindow(w, SW_HIDE);
  }
}

void HideOptionBars() {
  for (HWND w : o.optionBars) {
    if (w && IsWindowVisible(w)) ShowWindow(w, SW_HIDE);
  }
}

void ReleaseOverlayResources() {
  dimmedSectionMaking = {};  // a section made for an opening that failed
  o.screenSnapshot.reset();
  o.dimmedSnapshot.reset();
  o.composedImage.reset();
  o.textBoxFont.reset();
  for (ScopedBitmap& b : o.toolbarBitmaps) b.reset();
  o.contextMenu.reset();
  o.monitors.clear();  // read again by the next capture
  ResetCapture();
}

HBITMAP LoadArtwork(int pictureId) {
  return LoadBitmapA(hostInstance, MAKEINTRESOURCEA(o.uiScale.ArtResourceId(pictureId)));
}

// Shows the context menu at a screen point, owned by the overlay, on the
// monitor of that point (the system keeps the menu on it).
void ShowContextMenu(POINT pointer) {
  const POINT screenPoint = OntoMonitor(pointer);
  EnableMenuItem(o.contextMenu.get(), kCmdRedo,
                 MF_BYCOMMAND | (CanRedo() ? MF_ENABLED : MF_GRAYED));
  RunModalLoop([screenPoint] {
    TrackPopupMenu(o.contextMenu.get(), TPM_RIGHTBUTTON, screenPoint.x, screenPoint.y, 0,
                   o.overlayWindow, nullptr);
  });
}

}  // namespace kv
