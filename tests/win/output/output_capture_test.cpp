// Screen copies, the window capture's parent rule and the AutoMinimize
// step, with windows of this process.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/capture_commands.h"
#include "host/host.h"
#include "output/capture_path.h"
#include "output_test_support.h"
#include "overlay/screen_copy.h"
#include "winutil/scoped_win.h"

namespace kv {
namespace {

using kvtest::DecodeImageFile;
using kvtest::FileExists;
using kvtest::PatternMismatches;
using kvtest::ScratchTemp;

// A borderless window showing a pattern, also through WM_PRINTCLIENT.
struct PatternWindow {
  HWND hwnd = nullptr;
  HBITMAP picture = nullptr;
  int width = 0, height = 0;
  ~PatternWindow() {
    if (hwnd) DestroyWindow(hwnd);
    if (picture) DeleteObject(picture);
  }
};

void Draw(HWND hwnd, HDC dc) {
  auto* w = reinterpret_cast<PatternWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!w) return;
  ScopedMemDC mem(CreateCompatibleDC(dc));
  ScopedSelect sel(mem.get(), w->picture);
  BitBlt(dc, 0, 0, w->width, w->height, mem.get(), 0, 0, SRCCOPY);
}

LRESULT CALLBACK PatternProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_NCCREATE:
      SetWindowLongPtrA(
          hwnd, GWLP_USERDATA,
          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
      return TRUE;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      ScopedPaint paint(hwnd);
      Draw(hwnd, paint.get());
      return 0;
    }
    case WM_PRINTCLIENT: Draw(hwnd, reinterpret_cast<HDC>(wParam)); return 0;
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

std::unique_ptr<PatternWindow> Show(int x, int y, int w, int h, int seed, HWND owner = nullptr,
                                    const char* className = "KvOutTestPattern",
                                    DWORD style = WS_POPUP) {
  WNDCLASSA wc{};
  if (!GetClassInfoA(GetModuleHandleA(nullptr), className, &wc)) {
    wc.lpfnWndProc = PatternProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    RegisterClassA(&wc);
  }
  auto win = std::make_unique<PatternWindow>();
  win->width = w;
  win->height = h;
  win->picture = kvtest::MakePatternDib(w, h, seed, 32);
  win->hwnd = CreateWindowExA(0, className, "pattern", style, x, y, w, h, owner, nullptr,
                              GetModuleHandleA(nullptr), win.get());
  ShowWindow(win->hwnd, SW_SHOWNOACTIVATE);
  UpdateWindow(win->hwnd);
  return win;
}

void Pump(DWORD ms) {
  DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  } while (GetTickCount() - start < ms);
}

// Stands in for the host's background window: counts WM_CAPTURE_DONE.
class CaptureFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    notify_ =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    backgroundWindow = notify_;
    captureRequest = CaptureRequest();
  }
  void TearDown() override {
    backgroundWindow = nullptr;
    DestroyWindow(notify_);
  }
  int DoneMessages() {
    int n = 0;
    MSG msg;
    while (PeekMessageA(&msg, notify_, WM_CAPTURE_DONE, WM_CAPTURE_DONE, PM_REMOVE)) ++n;
    return n;
  }
  HWND notify_ = nullptr;
  ScratchTemp temp_;
};

using WindowCaptureTest = CaptureFixture;

TEST_F(WindowCaptureTest, ParentRuleOnOwnedPopups) {
  // owner O, M owned by O and reaching beyond it, W1 at M's corner, W2 not.
  auto owner = Show(300, 100, 400, 300, 23);
  auto middle = Show(600, 300, 200, 200, 37, owner->hwnd);
  auto corner = Show(600, 300, 50, 50, 41, middle->hwnd);
  auto offset = Show(650, 350, 40, 40, 53, middle->hwnd);
  auto lone = Show(50, 450, 160, 120, 67);
  Pump(200);

  const struct {
    const char* what;
    HWND target;
    int width, height, seed, dx, dy;
  } cases[] = {
      // Same corner as its parent M: the grandparent O, whole.
      {"corner", corner->hwnd, 400, 300, 23, 0, 0},
      // Corner differs: M, clipped to its top-level window O and printed
      // from O (M's own pixels are not part of O's picture).
      {"offset", offset->hwnd, 100, 100, 23, 300, 200},
      // The parent of M is O, corners differ: O.
      {"middle", middle->hwnd, 400, 300, 23, 0, 0},
      // No parent: the window itself.
      {"lone", lone->hwnd, 160, 120, 67, 0, 0},
      // O has no parent either.
      {"owner", owner->hwnd, 400, 300, 23, 0, 0},
  };
  for (const auto& c : cases) {
    captureRequest.targetWindow = c.target;
    CaptureWindowToFile("w.bmp");
    EXPECT_EQ(DoneMessages(), 1) << c.what;
    kvtest::Decoded d = DecodeImageFile(TemporaryCapturePath("w.bmp"));
    ASSERT_TRUE(d.ok) << c.what;
    EXPECT_EQ(d.width, c.width) << c.what;
    EXPECT_EQ(d.height, c.height) << c.what;
    EXPECT_EQ(PatternMismatches(d, c.seed, c.dx, c.dy), 0) << c.what;
  }
}

TEST_F(WindowCaptureTest, CoveredWindowIsCapturedWhole) {
  auto lone = Show(100, 100, 120, 90, 67);
  auto cover = Show(130, 120, 50, 40, 5);
  Pump(200);
  captureRequest.targetWindow = lone->hwnd;
  CaptureWindowToFile("covered.png");
  kvtest::Decoded d = DecodeImageFile(TemporaryCapturePath("covered.png"));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(PatternMismatches(d, 67), 0);
}

TEST_F(WindowCaptureTest, NoWindowWritesNothingAndStillReports) {
  std::string path = TemporaryCapturePath("gone.png");
  CreateDirectoryA(CaptureFolder().c_str(), nullptr);
  kvtest::WriteFileBytes(path, "earlier");
  HWND destroyed =
      CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(destroyed);
  for (HWND target : {static_cast<HWND>(nullptr), destroyed}) {
    captureRequest.targetWindow = target;
    CaptureWindowToFile("gone.png");
    EXPECT_EQ(DoneMessages(), 1);
    EXPECT_FALSE(FileExists(path));
  }
}

TEST_F(WindowCaptureTest, WindowThatDoesNotAnswerIsNotWaitedFor) {
  // A window whose thread stops handling messages: printing it would wait
  // for ever.
  HWND hung = nullptr;
  HANDLE created = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread owner([&] {
    hung = CreateWindowExA(0, "STATIC", "hung", WS_POPUP | WS_VISIBLE, 10, 10, 60, 40, nullptr,
                           nullptr, nullptr, nullptr);
    SetEvent(created);
    Sleep(6000);
    DestroyWindow(hung);
  });
  WaitForSingleObject(created, INFINITE);
  captureRequest.targetWindow = hung;
  CaptureWindowToFile("hung.png");
  EXPECT_EQ(DoneMessages(), 1);
  EXPECT_FALSE(FileExists(TemporaryCapturePath("hung.png")));
  owner.join();
  CloseHandle(created);
}

using RectCaptureTest = CaptureFixture;

TEST_F(RectCaptureTest, CopiesTheScreenPixels) {
  auto win = Show(200, 150, 128, 96, 11);
  Pump(200);
  CaptureRectToFile(notify_, 210, 160, 64, 48, "rect.png");
  EXPECT_EQ(DoneMessages(), 1);
  kvtest::Decoded d = DecodeImageFile(TemporaryCapturePath("rect.png"));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.width, 64);
  EXPECT_EQ(d.height, 48);
  EXPECT_EQ(PatternMismatches(d, 11, 10, 10), 0);
}

TEST_F(RectCaptureTest, EmptyOrAbsurdRectangleWritesNothingButReports) {
  const struct {
    int x, y, w, h;
  } cases[] = {{0, 0, 0, 10},
               {0, 0, 10, 0},
               {0, 0, -5, 10},
               {0, 0, 10, -1},
               {0, 0, 0x7FFFFFFF, 0x7FFFFFFF},
               {0, 0, 100000, 100000}};
  std::string path = TemporaryCapturePath("empty.png");
  for (const auto& c : cases) {
    CreateDirectoryA(CaptureFolder().c_str(), nullptr);
    kvtest::WriteFileBytes(path, "earlier");
    CaptureRectToFile(notify_, c.x, c.y, c.w, c.h, "empty.png");
    EXPECT_EQ(DoneMessages(), 1) << c.w << "x" << c.h;
    EXPECT_FALSE(FileExists(path)) << c.w << "x" << c.h;
  }
}

TEST_F(RectCaptureTest, SaveFailureStillReports) {
  CaptureRectToFile(notify_, 0, 0, 10, 10, "a.b");
  EXPECT_EQ(DoneMessages(), 1);
  EXPECT_TRUE(temp_.Files().empty());
  CaptureScreenToFile(notify_, "..\\screen.png");
  EXPECT_EQ(DoneMessages(), 1);
  EXPECT_TRUE(temp_.Files().empty());
}

TEST_F(RectCaptureTest, ScreenCaptureHasTheVirtualScreenSize) {
  CaptureScreenToFile(notify_, "screen.bmp");
  EXPECT_EQ(DoneMessages(), 1);
  kvtest::Decoded d = DecodeImageFile(TemporaryCapturePath("screen.bmp"));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.width, GetSystemMetrics(SM_CXVIRTUALSCREEN));
  EXPECT_EQ(d.height, GetSystemMetrics(SM_CYVIRTUALSCREEN));
}

TEST(ScreenCopyTest, DimBitmapDarkensEveryChannel) {
  ScopedGetDC screen(nullptr);
  ScopedMemDC mem(CreateCompatibleDC(screen.get()));
  ScopedBitmap bmp(CreateCompatibleBitmap(screen.get(), 8, 4));
  ScopedSelect sel(mem.get(), bmp.get());
  const COLORREF colors[] = {RGB(255, 255, 255), RGB(0, 0, 0), RGB(200, 100, 50), RGB(1, 128, 254)};
  for (int i = 0; i < 4; ++i) SetPixel(mem.get(), i, 0, colors[i]);
  DimBitmap(mem.get(), 8, 4);
  for (int i = 0; i < 4; ++i) {
    COLORREF got = GetPixel(mem.get(), i, 0);
    auto isNear = [](int got, int c) { return std::abs(got - c * 155 / 255) <= 1; };
    EXPECT_TRUE(isNear(GetRValue(got), GetRValue(colors[i])) &&
                isNear(GetGValue(got), GetGValue(colors[i])) &&
                isNear(GetBValue(got), GetBValue(colors[i])))
        << i << ": " << std::hex << got;
  }
}

TEST(ScreenCopyTest, CaptureScreenAreaKeepsSizeAndOrigin) {
  auto win = Show(100, 100, 64, 64, 29);
  Pump(200);
  ScopedGetDC desktop(GetDesktopWindow());
  ScopedBitmap bmp(CaptureScreenArea(desktop.get(), 116, 108, 30, 20));
  ASSERT_TRUE(bmp);
  BITMAP info{};
  GetObjectA(bmp.get(), sizeof info, &info);
  EXPECT_EQ(info.bmWidth, 30);
  EXPECT_EQ(info.bmHeight, 20);
  ScopedMemDC mem(CreateCompatibleDC(desktop.get()));
  ScopedSelect sel(mem.get(), bmp.get());
  EXPECT_EQ(GetPixel(mem.get(), 0, 0), kvtest::PatternColor(16, 8, 29));
  EXPECT_EQ(GetPixel(mem.get(), 29, 19), kvtest::PatternColor(45, 27, 29));
}

TEST(TopLevelAncestorTest, FollowsParentsAndOwnersButNotTheDesktop) {
  auto owner = Show(10, 10, 50, 50, 1);
  auto owned = Show(20, 20, 20, 20, 2, owner->hwnd);
  auto ownedTwice = Show(25, 25, 10, 10, 3, owned->hwnd);
  HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 1, 1, 5, 5, owned->hwnd,
                               nullptr, nullptr, nullptr);
  EXPECT_EQ(TopLevelAncestor(owner->hwnd), owner->hwnd);
  EXPECT_EQ(TopLevelAncestor(owned->hwnd), owner->hwnd);
  EXPECT_EQ(TopLevelAncestor(ownedTwice->hwnd), owner->hwnd);
  EXPECT_EQ(TopLevelAncestor(child), owner->hwnd);
  EXPECT_EQ(TopLevelAncestor(GetDesktopWindow()), GetDesktopWindow());
  DestroyWindow(child);
}

TEST(AutoMinimizeTest, OwnFrameIsNoAncestorAndTargetIsMinimisedAndRestored) {
  // A frame of a recognised class in this very process is not the
  // browser: the walk starts at the parent.
  auto frame = Show(0, 0, 300, 200, 4, nullptr, "SE_SogouExplorerFrame", WS_OVERLAPPEDWINDOW);
  auto owner = Show(400, 100, 200, 100, 5, nullptr, "KvOutTestTarget", WS_OVERLAPPEDWINDOW);
  auto owned = Show(420, 120, 50, 50, 6, owner->hwnd);
  ShowWindow(frame->hwnd, SW_MAXIMIZE);
  Pump(100);
  EXPECT_EQ(FindBrowserFrame(), nullptr);
  // The top-level window of the given one is minimised; the pause is the
  // short one.
  EXPECT_EQ(MinimizeBrowserWindowsNoPause(owned->hwnd), 200u);
  Pump(100);
  EXPECT_TRUE(IsIconic(owner->hwnd));
  EXPECT_FALSE(IsIconic(frame->hwnd));
  RestoreBrowserWindows();
  Pump(100);
  EXPECT_FALSE(IsIconic(owner->hwnd));
  EXPECT_TRUE(IsZoomed(frame->hwnd));
}

}  // namespace
}  // namespace kv
