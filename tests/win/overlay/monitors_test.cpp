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
    EXPECT_EQ(o.monitors[i].area,
              (Rect{s.left - o.screenRect.left, s.top - o.screenRect.top,
                    s.right - o.screenRect.left, s.bottom - o.screenRect.top}));
    EXPECT_GE(o.monitors[i].dpi, 96);
  }
  kv::CancelCapture();
  Pump(20);
  DestroyWindow(notify);
}

}  // namespace kvtest
