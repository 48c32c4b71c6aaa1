// Times PaintOverlay on the display it runs on, as pointer moves cause it:
// once while a region is being chosen (frame, magnifier, label) and once
// with a fixed region (frame, handles, label). Also times the whole
// pointer-move handling of the choosing state (window snap included).
//   overlay_paint_bench [moves]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "overlay/overlay.h"
#include "overlay/overlay_state.h"
#include "test_support.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Pointer positions along a diagonal zig-zag over the screen.
POINT PointerAt(int i, int moves, const RECT& screen) {
  const int w = screen.right - screen.left, h = screen.bottom - screen.top;
  const int x = 40 + static_cast<int>((static_cast<long long>(i) * (w - 80)) / moves);
  const int y = 40 + ((i * 37) % (h - 80));
  return {screen.left + x, screen.top + y};
}

void Report(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  const double median = ms[ms.size() / 2];
  const double p95 = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
  std::printf("%-26s %4dx%-4d  median %6.2f ms  p95 %6.2f ms  (%zu moves)\n", what,
              kv::overlayState.ScreenWidth(), kv::overlayState.ScreenHeight(), median, p95,
              ms.size());
}

// Runs `step` once per pointer position and times it. Between steps the
// thread handles its messages (the pointer's own moves among them), where
// Wine also hands the window's picture to X.
template <typename F>
std::vector<double> Time(int moves, F step) {
  std::vector<double> ms;
  const RECT screen = kv::overlayState.screenRect;
  for (int i = 0; i < moves; ++i) {
    POINT p = PointerAt(i, moves, screen);
    SetCursorPos(p.x, p.y);
    const double start = Now();
    step();
    ms.push_back(Now() - start);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  const int moves = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
  HWND notify = kvtest::CreateNotifyWindow();
  kv::StartOverlay(notify, "bench.png");
  kv::OverlayState& o = kv::overlayState;
  if (!o.overlayWindow) {
    std::fprintf(stderr, "the overlay did not open\n");
    return 1;
  }
  kvtest::Pump(300);
  const int w = o.ScreenWidth(), h = o.ScreenHeight();

  o.selection = kv::Rect{w / 4, h / 4, w * 3 / 4, h * 3 / 4};
  {
    // The paint with its back buffer kept for all moves instead of made for
    // each: what keeping it would save.
    kv::ScopedGetDC screen(o.overlayWindow);
    kv::ScopedMemDC back(CreateCompatibleDC(screen.get()));
    kv::ScopedBitmap buffer(CreateCompatibleBitmap(screen.get(), w, h));
    kv::ScopedSelect select(back.get(), buffer.get());
    Report("paint, buffer kept", Time(moves, [&] {
             POINT p;
             GetCursorPos(&p);
             kv::ScopedGetDC window(o.overlayWindow);
             kv::RenderOverlay(back.get(), {p.x - o.screenRect.left, p.y - o.screenRect.top});
             BitBlt(window.get(), 0, 0, w, h, back.get(), 0, 0, SRCCOPY);
           }));
  }
  Report("paint, choosing", Time(moves, [] { kv::PaintOverlay(); }));
  o.selected = true;
  o.selectPhase = 2;
  Report("paint, fixed region", Time(moves, [] { kv::PaintOverlay(); }));
  kv::ResetCapture();
  Report("pointer move, choosing", Time(moves, [&] {
           SendMessageA(o.overlayWindow, WM_MOUSEMOVE, 0, 0);
         }));
  kv::CancelCapture();
  return 0;
}
