// The monitors the overlay reads as a capture starts.
#include <vector>

#include "overlay_fixture.h"

namespace kvtest {

namespace {

BOOL CALLBACK CollectMonitor(HMONITOR, HDC, LPRECT area, LPARAM param) {
  reinterpret_cast<std::vector<RECT>*>(param)->push_back(*area);
  return TRUE;
}

}  // namespace

TEST(OverlayMonitors, AreReadAtEveryStartInOverlayCoordinates) {
  std::vector<RECT> screen;
  EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&screen));
  ASSERT_FALSE(screen.empty());
  // What an earlier capture read is not kept.
  o.monitors = {kv::Monitor{{0, 0, 10, 10}, {0, 0, 10, 10}, 96},
                kv::Monitor{{10, 0, 20, 10}, {10, 0, 20, 10}, 96}};
  HWND notify = CreateNotifyWindow();
  ASSERT_TRUE(notify);
  kv::StartOverlay(notify, "unit.png");
  ASSERT_TRUE(o.overlayWindow);
  ASSERT_EQ(o.monitors.size(), screen.size());
  for (size_t i = 0; i < screen.size(); ++i) {
    const RECT& s = screen[i];
    EXPECT_EQ(o.monitors[i].area, (Rect{s.left - o.screenRect.left, s.top - o.screenRect.top,
                                        s.right - o.screenRect.left, s.bottom - o.screenRect.top}));
    EXPECT_GE(o.monitors[i].dpi, 96);
  }
  kv::CancelCapture();
  Pump(20);
  DestroyWindow(notify);
}

// The overlay on two monitors of 96 and 144 dpi (the halves of the test
// display): the toolbar, its bars and the handles take the density of the
// monitor holding the region.
TEST_F(OverlayWindow, TheToolbarTakesTheArtworkOfTheRegionsMonitor) {
  const int half = o.ScreenWidth() / 2, h = o.ScreenHeight();
  o.monitors = {kv::Monitor{{0, 0, half, h}, {0, 0, half, h}, 96},
                kv::Monitor{{half, 0, 2 * half, h}, {half, 0, 2 * half, h}, 144}};
  WaitUntilReady();
  auto clientSize = [](HWND w) {
    RECT r{};
    GetClientRect(w, &r);
    return kv::Size{r.right, r.bottom};
  };
  Drag({half + 100, 100}, {{half + 101, 101}, {half + 500, 400}});
  ASSERT_TRUE(IsWindowVisible(o.toolbarWindow));
  EXPECT_EQ(clientSize(o.toolbarWindow).width, 543);  // the 150 % artwork
  EXPECT_EQ(o.handleRects[1].Width(), 8);
  Command(kv::kCmdAddRectangle);
  EXPECT_EQ(clientSize(o.optionBars[1]).width, 125);
  EXPECT_EQ(o.penWidth, 2);
  const Rect bar = WindowRectInOverlay(o.toolbarWindow);
  EXPECT_GE(bar.left, half);

  Command(kv::kCmdResetCapture);
  WaitUntilReady();
  Drag({100, 100}, {{101, 101}, {500, 400}});
  EXPECT_EQ(clientSize(o.toolbarWindow).width, 362);
  EXPECT_EQ(o.handleRects[1].Width(), 5);
}

}  // namespace kvtest
