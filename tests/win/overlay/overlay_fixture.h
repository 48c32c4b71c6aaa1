// The overlay opened for real on the test display, driven as its window
// procedure reads input: the cursor position set, the message sent.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>

#include "host/host.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"
#include "test_support.h"

namespace kvtest {

using kv::Point;
using kv::Rect;

inline kv::OverlayState& o = kv::overlayState;

class OverlayWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    notify_ = kvtest::CreateNotifyWindow();
    ASSERT_TRUE(notify_);
    kv::StartOverlay(notify_, "unit.png");
    kvtest::Pump(1);  // the companions follow the first frame
    ASSERT_TRUE(o.overlayWindow) << "the overlay did not open";
    ASSERT_TRUE(o.toolbarWindow && o.contextMenu) << "the companions were not made";
    origin_ = {o.screenRect.left, o.screenRect.top};
  }
  void TearDown() override {
    if (o.overlayWindow) kv::CancelCapture();
    kvtest::Pump(20);
    DestroyWindow(notify_);
  }

  // Lets the first timer tick pass, so that releases are taken.
  void WaitUntilReady() {
    kvtest::Pump(250);
    ASSERT_TRUE(o.ready);
  }
  void PointerTo(Point p) { SetCursorPos(origin_.x + p.x, origin_.y + p.y); }
  void Send(UINT msg, WPARAM keys = 0) { SendMessageA(o.overlayWindow, msg, keys, 0); }
  void Press(Point p, WPARAM keys = MK_LBUTTON) {
    PointerTo(p);
    Send(WM_LBUTTONDOWN, keys);
  }
  void MoveHeld(Point p, WPARAM keys = MK_LBUTTON) {
    PointerTo(p);
    Send(WM_MOUSEMOVE, keys);
  }
  void Release(Point p) {
    PointerTo(p);
    Send(WM_LBUTTONUP);
  }
  void Drag(Point from, std::initializer_list<Point> path, WPARAM keys = MK_LBUTTON) {
    Press(from, keys);
    Point last = from;
    for (Point p : path) MoveHeld(last = p, keys);
    Release(last);
  }
  void Command(UINT id) { SendMessageA(o.overlayWindow, WM_COMMAND, id, 0); }
  void RightClick(Point p) {
    PointerTo(p);
    SendMessageA(o.overlayWindow, WM_RBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  }
  bool Notified(UINT msg, DWORD ms = 500) { return kvtest::WaitForMessage(notify_, msg, ms); }
  static Rect WindowRectInOverlay(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    MapWindowPoints(HWND_DESKTOP, o.overlayWindow, reinterpret_cast<POINT*>(&r), 2);
    return kv::FromRECT(r);
  }

  HWND notify_ = nullptr;
  POINT origin_{};
};

}  // namespace kvtest
