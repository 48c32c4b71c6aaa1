// kvtestwin: puts windows with known titles, classes and pixels on the
// screen for the capture tests.
//
//   kvtestwin scene          the test scene (see kScene); prints one line per
//                            window "title|class|left,top,right,bottom", then
//                            "ready"; ends when its standard input closes
//   kvtestwin busy           one screen-sized window with a page-like
//                            picture (text lines, blocks, a photo area);
//                            ends when its standard input closes
//   kvtestwin browser [--normal] <frame class> <log file> <program> [args]
//                            a maximised (--normal: restored) frame window
//                            of that class titled
//                            "KvTest Browser" and a window "KvTest Target";
//                            starts <program> through "kvtestwin relay", so
//                            the program's grandparent owns the frame; logs
//                            every change of the two windows' show states
//                            (ms since start) and ends with the program's
//                            exit code; "%FRAME%" in an argument of the
//                            program becomes the frame's handle in decimal
//                            (as a browser names its window to a host)
//   kvtestwin relay <program> [args]
//                            runs <program> with the same standard handles,
//                            returns its exit code
//
// The pixel of a pattern window at client (x, y) is
//   R = (5x + seed) & 255, G = (3y + 7 seed) & 255, B = (16 ((x + y) / 8) + seed) & 255
// (tests/e2e/screens.py computes the same).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct SceneWindow {
  const char* title;
  const char* className;
  int left, top, width, height;
  int seed;  // pattern seed; -1: solid colour
  COLORREF solid;
  int owner;  // index in kScene, -1 for none
};

// Owned pop-ups stand for the parent chain of the window capture: the
// platform's parent of a pop-up is its owner. Under Wine on Xvfb the two
// pop-ups owned by "KvTest Middle" stay black on the X screen, although
// the program sees them drawn: screen comparisons leave them out.
const SceneWindow kScene[] = {
    {"KvTest Red", "KvTestSolid", 40, 40, 200, 120, -1, RGB(255, 0, 0), -1},
    {"KvTest Pattern", "KvTestPattern", 300, 60, 320, 240, 11, 0, -1},
    {"KvTest Owner", "KvTestOwner", 700, 100, 400, 300, 23, 0, -1},
    {"KvTest Middle", "KvTestOwned", 650, 350, 200, 200, 37, 0, 2},
    {"KvTest Lone", "KvTestPattern", 100, 500, 160, 120, 67, 0, -1},
    {"KvTest Blue", "KvTestSolid", 1400, 700, 300, 300, -1, RGB(0, 0, 255), -1},
    {"KvTest Inner Corner", "KvTestInner", 650, 350, 50, 50, 41, 0, 3},
    {"KvTest Inner Offset", "KvTestInner", 750, 450, 40, 40, 53, 0, 3},
};

// Each window keeps its picture in a DIB section and paints from it.
struct Picture {
  HBITMAP bitmap = nullptr;
  int width = 0, height = 0;
};

HBITMAP MakeDib(int width, int height, uint32_t** bits) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* p = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
  *bits = static_cast<uint32_t*>(p);
  return bmp;
}

uint32_t Pixel(int r, int g, int b) {
  return uint32_t(r & 255) << 16 | uint32_t(g & 255) << 8 | uint32_t(b & 255);
}

Picture PatternPicture(const SceneWindow& w) {
  Picture pic{nullptr, w.width, w.height};
  uint32_t* bits = nullptr;
  pic.bitmap = MakeDib(w.width, w.height, &bits);
  if (!bits) return pic;
  for (int y = 0; y < w.height; ++y) {
    for (int x = 0; x < w.width; ++x) {
      bits[y * w.width + x] =
          w.seed < 0 ? Pixel(GetRValue(w.solid), GetGValue(w.solid), GetBValue(w.solid))
                     : Pixel(5 * x + w.seed, 3 * y + 7 * w.seed, 16 * ((x + y) / 8) + w.seed);
    }
  }
  return pic;
}

// A page-like picture: white paper, lines of dark "words", coloured
// blocks and a smooth photo area, from a fixed pseudo-random sequence.
Picture BusyPicture(int width, int height) {
  Picture pic{nullptr, width, height};
  uint32_t* bits = nullptr;
  pic.bitmap = MakeDib(width, height, &bits);
  if (!bits) return pic;
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  for (int i = 0; i < width * height; ++i) bits[i] = Pixel(255, 255, 255);
  // Photo area in the right third.
  for (int y = height / 8; y < height / 2; ++y) {
    for (int x = width * 2 / 3; x < width - 20; ++x) {
      int noise = static_cast<int>(next() % 6);
      bits[y * width + x] = Pixel(x / 3 + noise, y / 2 + noise, 128 + (x ^ y) % 64 + noise);
    }
  }
  // Text lines in the left two thirds.
  for (int line = 40; line + 12 < height; line += 22) {
    int x = 30;
    while (x < width * 2 / 3 - 60) {
      int word = 12 + static_cast<int>(next() % 60);
      uint32_t ink = (next() % 9 == 0) ? Pixel(20, 60, 200) : Pixel(30, 30, 30);
      for (int y = line; y < line + 11; ++y) {
        for (int k = 0; k < word; ++k) {
          bits[y * width + x + k] = ink;
        }
      }
      x += word + 8;
    }
  }
  // Coloured blocks along the bottom.
  for (int b = 0; b < 8; ++b) {
    uint32_t c =
        Pixel(static_cast<int>(next()), static_cast<int>(next()), static_cast<int>(next()));
    for (int y = height * 5 / 8; y < height * 5 / 8 + 80 && y < height; ++y) {
      for (int x = 30 + b * 110; x < 30 + b * 110 + 100 && x < width; ++x) bits[y * width + x] = c;
    }
  }
  return pic;
}

void DrawPicture(HWND hwnd, HDC dc) {
  auto* pic = reinterpret_cast<Picture*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!pic || !pic->bitmap) return;
  HDC mem = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(mem, pic->bitmap);
  BitBlt(dc, 0, 0, pic->width, pic->height, mem, 0, 0, SRCCOPY);
  SelectObject(mem, old);
  DeleteDC(mem);
}

LRESULT OnPaint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  DrawPicture(hwnd, dc);
  EndPaint(hwnd, &ps);
  return 0;
}

LRESULT CALLBACK PictureWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
      return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: return OnPaint(hwnd);
    case WM_PRINTCLIENT: DrawPicture(hwnd, reinterpret_cast<HDC>(wParam)); return 0;
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

void RegisterPictureClass(const char* name, HBRUSH background = nullptr) {
  WNDCLASSA wc{};
  if (GetClassInfoA(GetModuleHandleA(nullptr), name, &wc)) return;
  wc.lpfnWndProc = PictureWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = background;
  wc.lpszClassName = name;
  RegisterClassA(&wc);
}

HWND CreatePictureWindow(const char* className, const char* title, DWORD style, int x, int y, int w,
                         int h, HWND owner, Picture* pic) {
  RegisterPictureClass(className);
  return CreateWindowExA(0, className, title, style, x, y, w, h, owner, nullptr,
                         GetModuleHandleA(nullptr), pic);
}

// Ends the message loop of `thread` when standard input reaches its end.
DWORD WINAPI WatchInput(void* param) {
  DWORD thread = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(param));
  char buf[256];
  DWORD n = 0;
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  while (ReadFile(in, buf, sizeof buf, &n, nullptr) && n > 0) {
  }
  PostThreadMessageA(thread, WM_QUIT, 0, 0);
  return 0;
}

// Handles what is pending (the first paints) for a while.
void PumpFor(DWORD ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  }
  GdiFlush();
}

int RunUntilInputEnds() {
  HANDLE watcher = CreateThread(
      nullptr, 0, WatchInput, reinterpret_cast<void*>(static_cast<UINT_PTR>(GetCurrentThreadId())),
      0, nullptr);
  if (watcher) CloseHandle(watcher);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}

int RunScene() {
  constexpr int kCount = sizeof kScene / sizeof kScene[0];
  static Picture pictures[kCount];
  HWND windows[kCount] = {};
  for (int i = 0; i < kCount; ++i) {
    const SceneWindow& w = kScene[i];
    pictures[i] = PatternPicture(w);
    HWND owner = w.owner >= 0 ? windows[w.owner] : nullptr;
    windows[i] = CreatePictureWindow(w.className, w.title, WS_POPUP, w.left, w.top, w.width,
                                     w.height, owner, &pictures[i]);
    if (!windows[i]) return 1;
    ShowWindow(windows[i], SW_SHOWNOACTIVATE);
    UpdateWindow(windows[i]);
  }
  PumpFor(300);
  for (int i = 0; i < kCount; ++i) {
    RECT rc;
    GetWindowRect(windows[i], &rc);
    std::printf("%s|%s|%ld,%ld,%ld,%ld\n", kScene[i].title, kScene[i].className, rc.left, rc.top,
                rc.right, rc.bottom);
  }
  std::printf("ready\n");
  std::fflush(stdout);
  return RunUntilInputEnds();
}

int RunBusy() {
  int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
  int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  static Picture pic = BusyPicture(w, h);
  HWND hwnd = CreatePictureWindow("KvTestBusy", "KvTest Busy", WS_POPUP, x, y, w, h, nullptr, &pic);
  if (!hwnd) {
    std::fprintf(stderr, "no window %dx%d: error %lu\n", w, h, GetLastError());
    return 1;
  }
  ShowWindow(hwnd, SW_SHOWNOACTIVATE);
  UpdateWindow(hwnd);
  PumpFor(300);
  std::printf("ready\n");
  std::fflush(stdout);
  return RunUntilInputEnds();
}

std::string Quote(const char* arg) {
  std::string q = "\"";
  for (const char* p = arg; *p; ++p) {
    if (*p == '"') q += '\\';
    q += *p;
  }
  return q + "\"";
}

// Starts argv[first..] with the standard handles of this process.
HANDLE StartProgram(char** argv, int first, int argc, const std::string& prefix = std::string()) {
  std::string command = prefix;
  for (int i = first; i < argc; ++i) {
    if (!command.empty()) command += ' ';
    command += Quote(argv[i]);
  }
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

int RunRelay(int argc, char** argv) {
  HANDLE process = StartProgram(argv, 2, argc);
  if (!process) return 120;
  WaitForSingleObject(process, INFINITE);
  DWORD code = 121;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return static_cast<int>(code);
}

const char* ShowState(HWND hwnd) {
  if (IsIconic(hwnd)) return "minimized";
  if (IsZoomed(hwnd)) return "maximized";
  return IsWindowVisible(hwnd) ? "normal" : "hidden";
}

int RunBrowser(int argc, char** argv) {
  bool normal = argc > 2 && std::strcmp(argv[2], "--normal") == 0;
  int first = normal ? 3 : 2;
  if (argc < first + 3) return 2;
  const char* frameClass = argv[first];
  const char* logPath = argv[first + 1];
  static Picture framePic{nullptr, 0, 0}, targetPic{nullptr, 0, 0};
  SceneWindow frameLook{"", "", 0, 0, 64, 64, -1, RGB(255, 0, 255), -1};
  SceneWindow targetLook{"", "", 0, 0, 300, 200, -1, RGB(0, 255, 255), -1};
  int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  frameLook.width = sw;
  frameLook.height = sh;
  framePic = PatternPicture(frameLook);
  targetPic = PatternPicture(targetLook);
  HWND frame = CreatePictureWindow(frameClass, "KvTest Browser", WS_OVERLAPPEDWINDOW, 50, 50, 600,
                                   400, nullptr, &framePic);
  HWND target = CreatePictureWindow("KvTestTarget", "KvTest Target", WS_OVERLAPPEDWINDOW, 200, 200,
                                    300, 200, nullptr, &targetPic);
  if (!frame || !target) {
    std::fprintf(stderr, "browser: no window: error %lu\n", GetLastError());
    return 3;
  }
  ShowWindow(frame, normal ? SW_SHOWNORMAL : SW_MAXIMIZE);
  ShowWindow(target, SW_SHOWNORMAL);
  UpdateWindow(frame);
  UpdateWindow(target);

  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::vector<std::string> args(argv, argv + argc);
  std::vector<char*> programArgs;
  const std::string kFrame = "%FRAME%";
  for (std::string& arg : args) {
    size_t at = arg.find(kFrame);
    if (at != std::string::npos)
      arg.replace(at, kFrame.size(), std::to_string(reinterpret_cast<uintptr_t>(frame)));
    programArgs.push_back(&arg[0]);
  }
  HANDLE relay = StartProgram(programArgs.data(), first + 2, argc, Quote(self) + " relay");
  if (!relay) {
    std::fprintf(stderr, "browser: the relay did not start: error %lu\n", GetLastError());
    return 4;
  }

  std::string log = "[";
  DWORD start = GetTickCount();
  std::string lastFrame, lastTarget;
  auto record = [&] {
    std::string f = ShowState(frame), t = ShowState(target);
    if (f == lastFrame && t == lastTarget) return;
    lastFrame = f;
    lastTarget = t;
    char entry[160];
    std::snprintf(entry, sizeof entry, "%s{\"ms\":%lu,\"frame\":\"%s\",\"target\":\"%s\"}",
                  log.size() > 1 ? "," : "", GetTickCount() - start, f.c_str(), t.c_str());
    log += entry;
  };
  record();
  for (;;) {
    DWORD wait = MsgWaitForMultipleObjects(1, &relay, FALSE, 5, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    record();
    if (wait == WAIT_OBJECT_0) break;
  }
  DWORD code = 122;
  GetExitCodeProcess(relay, &code);
  CloseHandle(relay);
  log += "]";
  FILE* f = std::fopen(logPath, "wb");
  if (!f) {
    std::fprintf(stderr, "browser: cannot write %s\n", logPath);
    return 5;
  }
  std::fputs(log.c_str(), f);
  std::fclose(f);
  return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string mode = argv[1];
  if (mode == "scene") return RunScene();
  if (mode == "busy") return RunBusy();
  if (mode == "relay" && argc > 2) return RunRelay(argc, argv);
  if (mode == "browser") return RunBrowser(argc, argv);
  return 2;
}
