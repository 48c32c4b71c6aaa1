// Times PaintOverlay on the display it runs on, as pointer moves cause it:
// once while a region is being chosen (frame, magnifier, label) and once
// with a fixed region (frame, handles, label). Also times the whole
// pointer-move handling of the choosing state (window snap included), a
// pointer move that extends a long brush stroke over the whole screen, and
// the memory a long annotation session holds.
//   overlay_paint_bench [moves] [stroke points] [annotations]
//   overlay_paint_bench soak [moves] [annotations]
//   overlay_paint_bench open [runs]
//   overlay_paint_bench moves [moves]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <psapi.h>

#include "annotate/annotate.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"
#include "overlay/screen_copy.h"
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

// Opens the overlay on the display and lets it settle; false when it did
// not open.
bool OpenOverlay(HWND notify, const char* fileName) {
  kv::StartOverlay(notify, fileName);
  if (!kv::overlayState.overlayWindow) return false;
  kvtest::Pump(300);
  return true;
}

double MegaBytes(size_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

PROCESS_MEMORY_COUNTERS Memory() {
  PROCESS_MEMORY_COUNTERS m{};
  m.cb = sizeof m;
  GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof m);
  return m;
}

void SendPointer(UINT msg, WPARAM keys, POINT client) {
  kv::OverlayState& o = kv::overlayState;
  SetCursorPos(o.screenRect.left + client.x, o.screenRect.top + client.y);
  SendMessageA(o.overlayWindow, msg, keys, 0);
}

// A stroke point differing from the one before in both coordinates.
POINT StrokePoint(int i, int w, int h) { return {50 + i % (w - 100), 50 + (i * 7) % (h - 100)}; }

// A free-hand tool (the brush, the highlighter) over a region covering the
// screen: the stroke is drawn out to `points` points, then the moves that
// extend it further are timed (each the whole move handling, its paint
// included).
void FreehandStroke(UINT toolCommand, const char* name, int points, int timed) {
  kv::OverlayState& o = kv::overlayState;
  const int w = o.ScreenWidth(), h = o.ScreenHeight();
  SendMessageA(o.overlayWindow, WM_COMMAND, toolCommand, 0);
  SendPointer(WM_LBUTTONDOWN, MK_LBUTTON, StrokePoint(0, w, h));
  for (int i = 1; i < points; ++i) SendPointer(WM_MOUSEMOVE, MK_LBUTTON, StrokePoint(i, w, h));
  std::vector<double> ms;
  for (int i = points; i < points + timed; ++i) {
    const POINT p = StrokePoint(i, w, h);
    SetCursorPos(o.screenRect.left + p.x, o.screenRect.top + p.y);
    const double start = Now();
    SendMessageA(o.overlayWindow, WM_MOUSEMOVE, MK_LBUTTON, 0);
    ms.push_back(Now() - start);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  char what[64];
  std::snprintf(what, sizeof what, "%s move, %zu points", name, o.brushPoints.size());
  Report(what, ms);
  const double start = Now();
  SendPointer(WM_LBUTTONUP, 0, StrokePoint(points + timed - 1, w, h));
  std::printf("%s release (burn-in) %.1f ms\n", name, Now() - start);
}

// `count` rectangles and ellipses of assorted sizes over the whole-screen
// region, then undo back to the plain region: the memory held on the way.
void AnnotationSession(int count) {
  kv::OverlayState& o = kv::overlayState;
  const int w = o.ScreenWidth(), h = o.ScreenHeight();
  const PROCESS_MEMORY_COUNTERS before = Memory();
  std::vector<double> burnIn;
  for (int i = 0; i < count; ++i) {
    SendMessageA(o.overlayWindow, WM_COMMAND, i % 2 ? kv::kCmdAddEllipse : kv::kCmdAddRectangle, 0);
    const int size = 40 + (i * 97) % (h / 2);
    const POINT from{20 + (i * 131) % (w - size - 40), 20 + (i * 71) % (h - size - 40)};
    SendPointer(WM_LBUTTONDOWN, MK_LBUTTON, from);
    SendPointer(WM_MOUSEMOVE, MK_LBUTTON, {from.x + size, from.y + size});
    const double start = Now();
    SendPointer(WM_LBUTTONUP, 0, {from.x + size, from.y + size});
    burnIn.push_back(Now() - start);
  }
  const PROCESS_MEMORY_COUNTERS after = Memory();
  size_t kept = 0;
  for (const kv::PixelPatch& e : o.snapshotStack.entries) kept += e.Footprint();
  Report("burn-in (release)", burnIn);
  std::printf(
      "%d annotations: undo records %.1f MB; private memory %.1f -> %.1f MB, "
      "peak working set %.1f MB (%.1f MB before)\n",
      count, MegaBytes(kept), MegaBytes(before.PagefileUsage), MegaBytes(after.PagefileUsage),
      MegaBytes(after.PeakWorkingSetSize), MegaBytes(before.PeakWorkingSetSize));
  std::vector<double> undo;
  while (!o.snapshotStack.empty()) {
    const double start = Now();
    kv::UndoAnnotation();
    undo.push_back(Now() - start);
  }
  Report("undo", undo);
  std::printf("after undoing all: private memory %.1f MB\n", MegaBytes(Memory().PagefileUsage));
}

// The soak: one session of `moves` pointer moves over a region covering
// the screen, an annotation of each tool in turn every moves / annotations
// moves, undo back to the plain region, then Complete. Prints the memory
// before the first annotation and at the end, and whether the completed
// picture is the plain region again.
int Soak(int moves, int annotations) {
  HWND notify = kvtest::CreateNotifyWindow();
  if (!OpenOverlay(notify, "soak.png")) return 1;
  kv::OverlayState& o = kv::overlayState;
  const int w = o.ScreenWidth(), h = o.ScreenHeight();
  o.selection = kv::Rect{0, 0, w, h};
  o.selected = true;
  o.selectPhase = 2;
  o.ready = true;
  kv::ComposeRegion();
  const kv::ScopedBitmap plain(std::move(o.composedImage));
  const PROCESS_MEMORY_COUNTERS before = Memory();
  const UINT tools[] = {kv::kCmdAddRectangle, kv::kCmdAddEllipse, kv::kCmdAddArrow,
                        kv::kCmdBrushTool,    kv::kCmdAddMosaic,  kv::kCmdAddText};
  const int every = std::max(1, moves / annotations);
  int made = 0;
  for (int i = 0; i < moves; ++i) {
    const POINT p = StrokePoint(i, w, h);
    if (i % every == 0 && made < annotations) {
      const UINT tool = tools[made % 6];
      SendMessageA(o.overlayWindow, WM_COMMAND, tool, 0);
      const POINT end{p.x + 40 + made % 90, p.y + 30 + made % 70};
      SendPointer(WM_LBUTTONDOWN, MK_LBUTTON, p);
      SendPointer(WM_MOUSEMOVE, MK_LBUTTON, {p.x + 1, p.y + 1});
      SendPointer(WM_MOUSEMOVE, MK_LBUTTON, end);
      SendPointer(WM_LBUTTONUP, 0, end);
      if (tool == kv::kCmdAddText) {
        SetWindowTextW(o.textEdit, L"soak \x622A\x56FE");
        SetFocus(o.overlayWindow);  // commits the text
      }
      ++made;
    } else {
      SendPointer(WM_MOUSEMOVE, 0, p);
    }
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  const PROCESS_MEMORY_COUNTERS annotated = Memory();
  const size_t entries = o.snapshotStack.size();
  while (!o.snapshotStack.empty()) kv::UndoAnnotation();
  // One more annotation forgets what redo kept; undone again, the region
  // is plain.
  SendMessageA(o.overlayWindow, WM_COMMAND, kv::kCmdAddRectangle, 0);
  SendPointer(WM_LBUTTONDOWN, MK_LBUTTON, {100, 100});
  SendPointer(WM_MOUSEMOVE, MK_LBUTTON, {160, 150});
  SendPointer(WM_LBUTTONUP, 0, {160, 150});
  kv::UndoAnnotation();
  const PROCESS_MEMORY_COUNTERS undone = Memory();
  kv::ComposeRegion();
  GdiFlush();
  bool right = false;
  {
    DIBSECTION a{}, b{};
    GetObject(plain.get(), sizeof a, &a);
    GetObject(o.composedImage.get(), sizeof b, &b);
    right = a.dsBm.bmHeight == b.dsBm.bmHeight && a.dsBm.bmWidthBytes == b.dsBm.bmWidthBytes &&
            std::memcmp(a.dsBm.bmBits, b.dsBm.bmBits,
                        size_t(a.dsBm.bmWidthBytes) * a.dsBm.bmHeight) == 0;
  }
  kv::CompleteCapture();
  kvtest::Pump(100);
  const PROCESS_MEMORY_COUNTERS after = Memory();
  std::printf(
      "soak %dx%d: %d moves, %zu annotations; private memory: %.1f MB before the "
      "first, %.1f MB with all, %.1f MB undone with redo forgotten (%+.1f MB), "
      "%.1f MB after completing (the clipboard keeps its copy); completed picture "
      "equals the plain region: %s\n",
      w, h, moves, entries, MegaBytes(before.PagefileUsage), MegaBytes(annotated.PagefileUsage),
      MegaBytes(undone.PagefileUsage),
      MegaBytes(undone.PagefileUsage) - MegaBytes(before.PagefileUsage),
      MegaBytes(after.PagefileUsage), right ? "yes" : "NO");
  return right ? 0 : 1;
}

// The overlay's opening, `runs` times: StartOverlay's steps run one by one
// as it runs them, each timed, and the whole up to the first frame; then
// the companions it leaves for the message after, and the whole with them.
int Open(int runs) {
  HWND notify = kvtest::CreateNotifyWindow();
  std::vector<std::vector<double>> steps(kv::kOverlayOpeningSteps + kv::kOverlayCompanionSteps);
  std::vector<double> firstFrame, whole;
  for (int i = 0; i < runs; ++i) {
    const double begin = Now();
    kv::PrepareOverlay(notify, "open.png");
    size_t k = 0;
    for (size_t j = 0; j < kv::kOverlayOpeningSteps; ++j, ++k) {
      const double start = Now();
      if (!kv::kOverlayOpening[j].run()) return 1;
      steps[k].push_back(Now() - start);
    }
    firstFrame.push_back(Now() - begin);
    for (size_t j = 0; j < kv::kOverlayCompanionSteps; ++j, ++k) {
      const double start = Now();
      if (!kv::kOverlayCompanions[j].run()) return 1;
      steps[k].push_back(Now() - start);
    }
    whole.push_back(Now() - begin);
    kvtest::Pump(50);
    kv::CancelCapture();
    kvtest::Pump(50);
  }
  Report("open: StartOverlay (first frame)", firstFrame);
  Report("open: with the companions", whole);
  for (size_t k = 0; k < steps.size(); ++k) {
    const kv::OverlayOpeningStep& step = k < kv::kOverlayOpeningSteps
                                             ? kv::kOverlayOpening[k]
                                             : kv::kOverlayCompanions[k - kv::kOverlayOpeningSteps];
    const std::string what = std::string("open: ") + step.name;
    Report(what.c_str(), steps[k]);
  }
  return 0;
}

// Borderless windows tiling the screen in `columns` x `rows`, for the
// window snap to find (the bench's own, below the overlay).
std::vector<HWND> WindowGrid(int columns, int rows) {
  static const char kClass[] = "KvBenchGridWindow";
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  wc.lpszClassName = kClass;
  RegisterClassA(&wc);
  const int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  const int x0 = GetSystemMetrics(SM_XVIRTUALSCREEN), y0 = GetSystemMetrics(SM_YVIRTUALSCREEN);
  std::vector<HWND> windows;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      windows.push_back(CreateWindowExA(0, kClass, "grid", WS_POPUP | WS_VISIBLE,
                                        x0 + c * w / columns, y0 + r * h / rows, w / columns,
                                        h / rows, nullptr, nullptr, wc.hInstance, nullptr));
    }
  }
  kvtest::Pump(300);
  return windows;
}

// A pointer move of the choosing state taken apart: the window snap, the
// paint, and the steps of a paint of the whole window (its back buffer,
// drawing into it, the copy to the window); then the whole move, over the
// bare desktop and over a grid of windows that the snap changes between.
// "+ pump" adds the message handling after the move, where Wine hands the
// window's picture to X.
int Moves(int moves) {
  HWND notify = kvtest::CreateNotifyWindow();
  if (!OpenOverlay(notify, "moves.png")) return 1;
  kv::OverlayState& o = kv::overlayState;
  const int w = o.ScreenWidth(), h = o.ScreenHeight();
  Report("move: window snap", Time(moves, [] { kv::HighlightWindowUnderPointer(); }));
  Report("move: paint", Time(moves, [] { kv::PaintOverlay(); }));
  {
    kv::ScopedGetDC window(o.overlayWindow);
    std::vector<double> buffer, render, blit;
    Time(moves, [&] {
      POINT p;
      GetCursorPos(&p);
      double start = Now();
      kv::ScopedMemDC back(CreateCompatibleDC(window.get()));
      kv::ScopedBitmap bitmap(CreateCompatibleBitmap(window.get(), w, h));
      kv::ScopedSelect select(back.get(), bitmap.get());
      buffer.push_back(Now() - start);
      start = Now();
      kv::RenderOverlay(back.get(), {p.x - o.screenRect.left, p.y - o.screenRect.top});
      GdiFlush();
      render.push_back(Now() - start);
      start = Now();
      BitBlt(window.get(), 0, 0, w, h, back.get(), 0, 0, SRCCOPY);
      GdiFlush();
      blit.push_back(Now() - start);
    });
    Report("whole paint: back buffer", buffer);
    Report("whole paint: drawing", render);
    Report("whole paint: copy to window", blit);
  }
  auto wholeMoves = [&](const char* what) {
    std::vector<double> pumped;
    int snaps = 0;
    std::vector<double> ms = Time(moves, [&] {
      const kv::Rect before = o.selection;
      SendMessageA(o.overlayWindow, WM_MOUSEMOVE, 0, 0);
      if (o.selection != before) ++snaps;
    });
    Report(what, ms);
    std::printf("  (the snapped window changed on %d of %d moves)\n", snaps, moves);
    double start = 0;
    Time(moves, [&] {
      start = Now();
      SendMessageA(o.overlayWindow, WM_MOUSEMOVE, 0, 0);
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
      pumped.push_back(Now() - start);
    });
    std::string pumpedWhat = std::string(what) + " + pump";
    Report(pumpedWhat.c_str(), pumped);
  };
  wholeMoves("move, bare desktop");
  kv::CancelCapture();
  kvtest::Pump(100);

  std::vector<HWND> grid = WindowGrid(4, 3);
  SetCursorPos(0, 0);
  if (!OpenOverlay(notify, "moves.png")) return 1;
  wholeMoves("move, 4x3 windows");
  // The snap's hardest change: between the whole screen (the bare desktop)
  // and a large window, a paint of nearly the whole window each time.
  std::vector<double> full;
  const kv::Rect whole{0, 0, w, h}, large{w / 8, h / 8, w * 7 / 8, h * 7 / 8};
  Time(moves / 4, [&] {
    o.selection = o.selection == whole ? large : whole;
    const double start = Now();
    kv::PaintOverlay();
    full.push_back(Now() - start);
  });
  Report("paint, region changes", full);
  kv::CancelCapture();
  for (HWND g : grid) DestroyWindow(g);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "open") == 0) {
    return Open(argc > 2 ? std::atoi(argv[2]) : 10);
  }
  if (argc > 1 && std::strcmp(argv[1], "moves") == 0) {
    return Moves(argc > 2 ? std::max(10, std::atoi(argv[2])) : 400);
  }
  if (argc > 1 && std::strcmp(argv[1], "soak") == 0) {
    return Soak(argc > 2 ? std::atoi(argv[2]) : 5000, argc > 3 ? std::atoi(argv[3]) : 200);
  }
  const int moves = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
  const int strokePoints = argc > 2 ? std::max(2, std::atoi(argv[2])) : 3000;
  const int annotations = argc > 3 ? std::max(1, std::atoi(argv[3])) : 200;
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
  Report("pointer move, choosing",
         Time(moves, [&] { SendMessageA(o.overlayWindow, WM_MOUSEMOVE, 0, 0); }));

  // The annotation tools over a region covering the whole screen.
  o.selection = kv::Rect{0, 0, w, h};
  o.selected = true;
  o.selectPhase = 2;
  o.ready = true;
  FreehandStroke(kv::kCmdBrushTool, "brush", strokePoints, moves);
  kv::UndoAnnotation();
  FreehandStroke(kv::kCmdHighlighter, "highlighter", strokePoints, moves);
  kv::UndoAnnotation();
  AnnotationSession(annotations);
  kv::CancelCapture();
  return 0;
}
