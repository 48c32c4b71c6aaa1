// The overlay window and its companions on the test display: what
// StartOverlay builds, how the window procedure moves through the
// selection states, and how a capture ends. Pointer input is given as the
// window procedure reads it: the cursor position set, the message sent.
#include <gtest/gtest.h>

#include <string>

#include "core/languages.h"
#include "core/overlay_layout.h"
#include "host/host.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"
#include "overlay_fixture.h"
#include "test_support.h"
#include "winutil/codepage.h"

namespace {

using kv::Point;
using kv::Rect;
using kvtest::o;
using kvtest::OverlayWindow;

TEST_F(OverlayWindow, CoversTheVirtualScreenWithItsCompanionsHidden) {
  RECT r{};
  GetWindowRect(o.overlayWindow, &r);
  EXPECT_EQ(r.left, GetSystemMetrics(SM_XVIRTUALSCREEN));
  EXPECT_EQ(r.top, GetSystemMetrics(SM_YVIRTUALSCREEN));
  EXPECT_EQ(r.right - r.left, GetSystemMetrics(SM_CXVIRTUALSCREEN));
  EXPECT_EQ(r.bottom - r.top, GetSystemMetrics(SM_CYVIRTUALSCREEN));
  EXPECT_TRUE(GetWindowLongPtrA(o.overlayWindow, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(IsWindowVisible(o.overlayWindow));
  char cls[64] = {};
  GetClassNameA(o.overlayWindow, cls, sizeof cls);
  EXPECT_STREQ(cls, kv::kOverlayClass);

  HWND companions[] = {o.toolbarWindow, o.optionBars[0], o.optionBars[1], o.optionBars[2],
                       o.textEdit};
  for (HWND w : companions) {
    ASSERT_TRUE(IsWindow(w));
    EXPECT_EQ(GetParent(w), o.overlayWindow);
    EXPECT_FALSE(IsWindowVisible(w));
  }
  // The bars come to about their artwork's size (dialog units at 96 dpi).
  RECT client{};
  GetClientRect(o.toolbarWindow, &client);
  EXPECT_NEAR(client.right, 362, 3);
  EXPECT_NEAR(client.bottom, 28, 3);
  for (HBITMAP b : {o.toolbarBitmaps[0].get(), o.toolbarBitmaps[1].get(), o.toolbarBitmaps[2].get(),
                    o.toolbarBitmaps[3].get()}) {
    EXPECT_TRUE(b);
  }
  EXPECT_TRUE(o.selectCursor);
  EXPECT_TRUE(o.toolCursor);
  EXPECT_EQ(o.penColor, RGB(255, 0, 0));
  EXPECT_EQ(o.penWidth, 2);

  ASSERT_TRUE(IsWindow(o.fontSizeCombo));
  EXPECT_EQ(GetParent(o.fontSizeCombo), o.optionBars[2]);
  EXPECT_EQ(SendMessageA(o.fontSizeCombo, CB_GETCOUNT, 0, 0), 9);
  char text[8] = {};
  SendMessageA(o.fontSizeCombo, CB_GETLBTEXT, SendMessageA(o.fontSizeCombo, CB_GETCURSEL, 0, 0),
               reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "12");
}

TEST_F(OverlayWindow, ContextMenuListsTheCommandsInOrder) {
  const struct {
    UINT id;
    const char* text;
  } items[] = {{33002, "Add Rectangle"},
               {33003, "Add Ellipse"},
               {33004, "Add Arrow"},
               {33005, "Brush Tool"},
               {33006, "Add Text"},
               {33013, "Add Mosaic"},
               {33014, "Add Step Marker"},
               {33015, "Highlighter"},
               {33007, "Undo\tCtrl+Z"},
               {33012, "Redo\tCtrl+Y"},
               {0, nullptr},
               {33008, "Reset Capture Area"},
               {33009, "Complete Capture\tCtrl+C"},
               {33016, "Pin to Screen\tF3"},
               {33010, "Save As\tCtrl+S"},
               {0, nullptr},
               {33011, "Cancel Capture\tEsc"}};
  HMENU menu = o.contextMenu.get();
  const int count = sizeof items / sizeof items[0];
  ASSERT_EQ(GetMenuItemCount(menu), count);
  for (int i = 0; i < count; ++i) {
    SCOPED_TRACE(i);
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID;
    ASSERT_TRUE(GetMenuItemInfoA(menu, i, TRUE, &info));
    EXPECT_EQ(info.wID, items[i].id);
    if (!items[i].text) {
      EXPECT_TRUE(info.fType & MFT_SEPARATOR);
      continue;
    }
    char text[64] = {};
    GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, items[i].text);
  }
}

TEST(OverlayMenuLanguages, ContextMenuTextsFollowTheUiLanguage) {
  HWND notify = kvtest::CreateNotifyWindow();
  for (const char* code : {"cn", "tw"}) {
    SCOPED_TRACE(code);
    kv::ResetUiLanguagesForTest();
    ASSERT_TRUE(kv::SelectUiLanguage(code));
    kv::StartOverlay(notify, "unit.png");
    kvtest::Pump(1);
    ASSERT_TRUE(o.overlayWindow);
    const int language = kv::CurrentUiLanguage();
    const char* keys[] = {
        "Add Rectangle", "Add Ellipse",        "Add Arrow",        "Brush Tool",    "Add Text",
        "Add Mosaic",    "Add Step Marker",    "Highlighter",      "Undo",          "Redo",
        nullptr,         "Reset Capture Area", "Complete Capture", "Pin to Screen", "Save As",
        nullptr,         "Cancel Capture"};
    for (int i = 0; i < static_cast<int>(sizeof keys / sizeof keys[0]); ++i) {
      if (!keys[i]) continue;
      wchar_t text[128] = {};
      GetMenuStringW(o.contextMenu.get(), i, text, 128, MF_BYPOSITION);
      std::wstring shown(text);
      shown = shown.substr(0, shown.find(L'\t'));  // without the shortcut
      EXPECT_EQ(shown, kv::Utf8ToWide(kv::UiTextUtf8(keys[i], language))) << keys[i];
    }
    kv::CancelCapture();
    kvtest::Pump(20);
  }
  kv::ResetUiLanguagesForTest();
  DestroyWindow(notify);
}

TEST_F(OverlayWindow, AReleaseBeforeTheFirstTickIsIgnored) {
  PointerTo({300, 300});
  Send(WM_LBUTTONDOWN, MK_LBUTTON);
  Send(WM_LBUTTONUP);
  EXPECT_FALSE(o.selected);
  WaitUntilReady();
  Send(WM_LBUTTONUP);
  EXPECT_TRUE(o.selected);
  EXPECT_TRUE(IsWindowVisible(o.toolbarWindow));
}

TEST_F(OverlayWindow, DragIsAnchoredAtTheFirstQualifyingMoveAndPlacesTheToolbar) {
  WaitUntilReady();
  Drag({300, 300}, {{298, 297}, {250, 240}});
  EXPECT_TRUE(o.selected);
  EXPECT_EQ(o.selectPhase, 2);
  EXPECT_EQ(o.selection, (Rect{250, 240, 298, 297}));
  ASSERT_TRUE(IsWindowVisible(o.toolbarWindow));
  RECT client{};
  GetClientRect(o.toolbarWindow, &client);
  const Point expected =
      kv::ToolbarOrigin(o.selection, {client.right, client.bottom}, 0, o.ScreenHeight());
  const Rect bar = WindowRectInOverlay(o.toolbarWindow);
  EXPECT_EQ(bar.left, expected.x);
  EXPECT_EQ(bar.top, expected.y);
}

// The button was already down when the overlay appeared (its press went to
// another window): moving drags nothing, only the window highlight follows.
TEST_F(OverlayWindow, AButtonHeldFromBeforeTheOverlayDragsNothing) {
  WaitUntilReady();
  for (Point p : {Point{5, 5}, Point{700, 400}, Point{701, 401}}) MoveHeld(p);
  EXPECT_FALSE(o.anchorSet);
  Drag({700, 400}, {{701, 401}, {900, 560}});
  EXPECT_EQ(o.selection, (Rect{701, 401, 900, 560}));
}

TEST_F(OverlayWindow, ShiftOrCtrlHeldPreventsDragging) {
  WaitUntilReady();
  for (WPARAM modifier : {WPARAM(MK_SHIFT), WPARAM(MK_CONTROL), WPARAM(MK_RBUTTON)}) {
    SCOPED_TRACE(modifier);
    Drag({300, 300}, {{298, 297}, {250, 240}}, MK_LBUTTON | modifier);
    EXPECT_FALSE(o.anchorSet);
    EXPECT_NE(o.selection, (Rect{250, 240, 298, 297}));
    Command(kv::kCmdResetCapture);
    EXPECT_FALSE(o.selected);
    WaitUntilReady();
  }
}

// Pointer moves redraw only what changed; the window must still show what
// a paint of the whole window would.
class OverlayWindowPicture : public OverlayWindow {
 protected:
  void ExpectWholePicture(const char* step) {
    const int w = o.ScreenWidth(), h = o.ScreenHeight();
    kvtest::Picture shown(w, h), whole(w, h);
    {
      kv::ScopedGetDC window(o.overlayWindow);
      BitBlt(shown.dc(), 0, 0, w, h, window.get(), 0, 0, SRCCOPY);
    }
    POINT p{};
    GetCursorPos(&p);
    kv::RenderOverlay(whole.dc(), {p.x - origin_.x, p.y - origin_.y});
    int differing = 0;
    Point first{-1, -1};
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        if (shown.At(x, y) == whole.At(x, y)) continue;
        if (differing++ == 0) first = {x, y};
      }
    }
    EXPECT_EQ(differing, 0) << step << ": first at " << first.x << "," << first.y;
  }
};

TEST_F(OverlayWindowPicture, PointerMovesShowTheWholePaintsPicture) {
  const int w = o.ScreenWidth(), h = o.ScreenHeight();
  MoveHeld({300, 300}, 0);
  ExpectWholePicture("first move");
  MoveHeld({310, 289}, 0);
  ExpectWholePicture("magnifier moved");
  MoveHeld({w - 50, h - 60}, 0);
  ExpectWholePicture("magnifier beside and above the pointer");
  WaitUntilReady();
  Press({400, 400});
  MoveHeld({401, 401});
  MoveHeld({600, 500});
  ExpectWholePicture("region dragged out");
  MoveHeld({550, 450});
  ExpectWholePicture("region shrunk");
  Release({550, 450});
  Press({549, 449});  // the bottom-right handle; the toolbar hides
  ASSERT_EQ(o.hitHandle, 8);
  MoveHeld({700, 20});
  ExpectWholePicture("fixed region resized");
}

TEST_F(OverlayWindow, MovingAndResizingAFixedRegion) {
  WaitUntilReady();
  Drag({400, 400}, {{401, 401}, {600, 500}});
  ASSERT_EQ(o.selection, (Rect{401, 401, 600, 500}));
  // Inside: the region follows, the toolbar hides while moving and comes
  // back at the new place; against the left and top edges it stops at 0.
  Press({500, 450});
  EXPECT_TRUE(o.moving);
  EXPECT_FALSE(IsWindowVisible(o.toolbarWindow));
  MoveHeld({0, 0});
  EXPECT_EQ(o.selection, (Rect{0, 0, 199, 99}));
  Release({0, 0});
  EXPECT_TRUE(IsWindowVisible(o.toolbarWindow));
  EXPECT_FALSE(o.moving);
  // The bottom-right handle resizes.
  Press({197, 97});
  EXPECT_EQ(o.hitHandle, 8);
  MoveHeld({50, 40});
  Release({50, 40});
  EXPECT_EQ(o.selection, (Rect{0, 0, 52, 42}));
  // The left handle, dragged past the right edge: the edges cross and stay
  // crossed.
  Press({1, 20});
  EXPECT_EQ(o.hitHandle, 4);
  MoveHeld({100, 20});
  Release({100, 20});
  EXPECT_EQ(o.selection, (Rect{99, 0, 52, 42}));
}

TEST_F(OverlayWindow, RightClickOutsideAFixedRegionGoesBackToChoosing) {
  WaitUntilReady();
  Drag({400, 400}, {{401, 401}, {600, 500}});
  Command(kv::kCmdAddArrow);
  ASSERT_TRUE(o.editMode);
  RightClick({100, 100});
  EXPECT_FALSE(o.selected);
  EXPECT_FALSE(o.editMode);
  EXPECT_EQ(o.currentTool, 0);
  EXPECT_FALSE(o.ready);  // the next release within a tick is ignored again
  for (HWND w : {o.toolbarWindow, o.optionBars[0], o.optionBars[1], o.optionBars[2]}) {
    EXPECT_FALSE(IsWindowVisible(w));
  }
  EXPECT_TRUE(IsWindow(o.overlayWindow));
  EXPECT_FALSE(Notified(kv::WM_CAPTURE_CANCEL, 150));
}

TEST_F(OverlayWindow, RightClickBeforeARegionIsFixedCancels) {
  RightClick({100, 100});
  EXPECT_FALSE(o.overlayWindow);
  EXPECT_TRUE(Notified(kv::WM_CAPTURE_CANCEL));
  EXPECT_FALSE(o.screenSnapshot);
  EXPECT_FALSE(o.dimmedSnapshot);
}

TEST_F(OverlayWindow, ToolsShowTheirOptionBarsBesideTheToolbar) {
  WaitUntilReady();
  Drag({400, 300}, {{401, 301}, {700, 500}});
  struct Case {
    UINT command;
    int tool;
    bool colour, pen, text;
  } cases[] = {
      {kv::kCmdAddArrow, 3, true, false, false}, {kv::kCmdAddRectangle, 1, true, true, false},
      {kv::kCmdAddText, 5, true, false, true},   {kv::kCmdAddEllipse, 2, true, true, false},
      {kv::kCmdBrushTool, 4, true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tool);
    Command(c.command);
    EXPECT_EQ(o.currentTool, c.tool);
    EXPECT_TRUE(o.editMode);
    EXPECT_EQ(IsWindowVisible(o.optionBars[0]) != 0, c.colour);
    EXPECT_EQ(IsWindowVisible(o.optionBars[1]) != 0, c.pen);
    EXPECT_EQ(IsWindowVisible(o.optionBars[2]) != 0, c.text);
    const Rect bar = WindowRectInOverlay(o.toolbarWindow);
    const Rect colour = WindowRectInOverlay(o.optionBars[0]);
    EXPECT_EQ(colour.top, bar.bottom);  // the row goes under the toolbar
    const int before = c.pen    ? WindowRectInOverlay(o.optionBars[1]).Width()
                       : c.text ? WindowRectInOverlay(o.optionBars[2]).Width()
                                : 0;
    EXPECT_EQ(colour.left, bar.left + before);
  }
  // With a tool active the region no longer moves.
  const Rect before = o.selection;
  Drag({500, 400}, {{520, 420}});
  EXPECT_EQ(o.selection, before);
}

TEST_F(OverlayWindow, UndoWithNothingToUndoReturnsToChoosing) {
  WaitUntilReady();
  Drag({400, 300}, {{401, 301}, {700, 500}});
  Command(kv::kCmdAddRectangle);
  Drag({450, 350}, {{460, 360}});  // a stroke: one snapshot
  EXPECT_EQ(o.snapshotStack.size(), 1u);
  Command(kv::kCmdUndo);
  EXPECT_TRUE(o.snapshotStack.empty());
  EXPECT_TRUE(o.selected);
  Command(kv::kCmdUndo);
  EXPECT_FALSE(o.selected);
  EXPECT_FALSE(IsWindowVisible(o.toolbarWindow));
}

TEST_F(OverlayWindow, DoubleClickInsideCompletes) {
  WaitUntilReady();
  Drag({400, 300}, {{401, 301}, {700, 500}});
  PointerTo({800, 600});
  Send(WM_LBUTTONDBLCLK);  // outside: nothing
  EXPECT_TRUE(o.overlayWindow);
  PointerTo({500, 400});
  Send(WM_LBUTTONDBLCLK);
  EXPECT_FALSE(o.overlayWindow);
  EXPECT_TRUE(Notified(kv::WM_CAPTURE_DONE));
}

TEST_F(OverlayWindow, CrossedEdgesCompleteInOrderAndAnEmptyRegionDoesNotComplete) {
  WaitUntilReady();
  Drag({400, 300}, {{401, 301}, {700, 500}});
  o.selection = Rect{600, 300, 600, 500};  // zero width
  kv::CompleteCapture();
  EXPECT_TRUE(o.overlayWindow);
  EXPECT_FALSE(Notified(kv::WM_CAPTURE_DONE, 150));
  o.selection = Rect{700, 500, 401, 301};
  kv::CompleteCapture();
  EXPECT_FALSE(o.overlayWindow);
  EXPECT_TRUE(Notified(kv::WM_CAPTURE_DONE));
}

TEST_F(OverlayWindow, EscapeCancelsAtTheNextTickButNotInsideAModalLoop) {
  WaitUntilReady();
  auto escape = [](DWORD flags) { keybd_event(VK_ESCAPE, 0, flags, 0); };
  o.modalLoopOpen = true;
  escape(0);
  Send(WM_TIMER, 1);
  EXPECT_TRUE(o.overlayWindow);
  o.modalLoopOpen = false;
  o.escapeHeldOver = true;  // as the loop leaves it, Escape still down
  Send(WM_TIMER, 1);
  EXPECT_TRUE(o.overlayWindow);
  escape(KEYEVENTF_KEYUP);
  Send(WM_TIMER, 1);
  EXPECT_FALSE(o.escapeHeldOver);
  EXPECT_TRUE(o.overlayWindow);
  escape(0);
  escape(KEYEVENTF_KEYUP);
  EXPECT_TRUE(Notified(kv::WM_CAPTURE_CANCEL));
  EXPECT_FALSE(o.overlayWindow);
}

// Escape pressed before the overlay opened (another window's, the browser's)
// does not cancel it, whether it was released already or is still held.
TEST_F(OverlayWindow, AnEscapeFromBeforeTheOverlayDoesNotCancel) {
  auto escape = [](DWORD flags) { keybd_event(VK_ESCAPE, 0, flags, 0); };
  auto reopen = [this] {
    kv::CancelCapture();
    kvtest::Pump(20);
    kv::StartOverlay(notify_, "unit.png");
    ASSERT_TRUE(o.overlayWindow);
  };
  escape(0);
  escape(KEYEVENTF_KEYUP);
  reopen();
  WaitUntilReady();
  Send(WM_TIMER, 1);
  EXPECT_TRUE(o.overlayWindow);

  escape(0);
  reopen();
  WaitUntilReady();
  Send(WM_TIMER, 1);
  EXPECT_TRUE(o.overlayWindow);
  escape(KEYEVENTF_KEYUP);
  Send(WM_TIMER, 1);
  EXPECT_TRUE(o.overlayWindow);
  escape(0);  // a press of its own
  escape(KEYEVENTF_KEYUP);
  EXPECT_TRUE(Notified(kv::WM_CAPTURE_CANCEL));
  EXPECT_FALSE(o.overlayWindow);
}

// A window class of the overlay's name whose windows refuse to be created.
LRESULT CALLBACK RefuseCreation(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) return FALSE;
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST(OverlayStart, AWindowThatCannotBeCreatedReportsCancel) {
  // A class left from an earlier overlay is reused: this one takes its place.
  UnregisterClassA(kv::kOverlayClass, kv::hostInstance);
  WNDCLASSA wc{};
  wc.lpfnWndProc = RefuseCreation;
  wc.hInstance = kv::hostInstance;
  wc.lpszClassName = kv::kOverlayClass;
  ASSERT_TRUE(RegisterClassA(&wc));
  HWND notify = kvtest::CreateNotifyWindow();
  kv::StartOverlay(notify, "unit.png");
  EXPECT_FALSE(o.overlayWindow);
  EXPECT_TRUE(kvtest::WaitForMessage(notify, kv::WM_CAPTURE_CANCEL, 500));
  EXPECT_FALSE(o.screenSnapshot);
  EXPECT_FALSE(o.dimmedSnapshot);
  UnregisterClassA(kv::kOverlayClass, kv::hostInstance);
  DestroyWindow(notify);
}

}  // namespace

namespace {

// Window snap offers what the user sees: over a hidden, a disabled or a
// click-through child the window itself is framed, over a shown child the
// child.
TEST_F(OverlayWindow, WindowSnapPassesOverChildrenNobodySees) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  HWND top = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 200, 150, 400, 300, nullptr,
                             nullptr, instance, nullptr);
  ASSERT_TRUE(top);
  auto child = [&](DWORD exStyle, DWORD style, int x) {
    return CreateWindowExA(exStyle, "STATIC", "", WS_CHILD | style, x, 20, 80, 80, top, nullptr,
                           instance, nullptr);
  };
  child(0, 0, 10);                            // hidden
  child(0, WS_VISIBLE | WS_DISABLED, 110);    // disabled
  child(WS_EX_TRANSPARENT, WS_VISIBLE, 210);  // click-through
  child(0, WS_VISIBLE, 310);                  // shown
  kvtest::Pump(50);
  auto snapAt = [&](int x, int y) {
    o.lastSnap = kv::WindowSnap{};
    PointerTo({200 + x - origin_.x, 150 + y - origin_.y});
    kv::HighlightWindowUnderPointer();
    return o.selection;
  };
  const Rect whole{200 - origin_.x, 150 - origin_.y, 600 - origin_.x, 450 - origin_.y};
  for (int x : {50, 150, 250}) EXPECT_EQ(snapAt(x, 60), whole) << x;
  EXPECT_EQ(snapAt(350, 60),
            (Rect{whole.left + 310, whole.top + 20, whole.left + 390, whole.top + 100}));
  DestroyWindow(top);
}

}  // namespace
