// The direct capture commands (window, screen, rectangle) and the
// AutoMinimize step that gets the browser out of the way.
#include "host/capture_commands.h"

#include <cstdint>

#include "core/process_ancestry.h"
#include "host/host.h"
#include "output/image_output.h"
#include "overlay/screen_copy.h"
#include "winutil/scoped_win.h"
#include "winutil/window_state.h"

namespace kv {

namespace {

// A browser window minimised by MinimizeBrowserWindows, for the restore.
struct MinimizedBrowser {
  HWND window = nullptr;
  bool wasMaximized = false;
};

// Remembered by MinimizeBrowserWindows for the restore.
MinimizedBrowser minimizedBrowser;  // the recognised frame
MinimizedBrowser minimizedCaller;   // the top-level window of callerWindow
HWND minimizedTarget = nullptr;

constexpr DWORD kPause = 200;             // ms, for the minimising animation
constexpr DWORD kPauseWithBrowser = 350;  // ms, when the browser was minimised too
// A browser that does not answer within this time is not waited for.
constexpr UINT kSendTimeout = 5000;
// A window that does not answer within this time is not printed.
constexpr UINT kPrintTimeout = 2000;

const char* const kBrowserFrameClasses[] = {"SE_SogouExplorerFrame", "360se6_Frame"};

// Sends WM_SYSCOMMAND to a window of another process and waits for it to
// be handled, but not for ever.
void SendSysCommand(HWND hwnd, WPARAM command) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(hwnd, WM_SYSCOMMAND, command, 0, SMTO_ABORTIFHUNG, kSendTimeout, &result);
}

// The layout of the basic process information of NTDLL's query.
struct BasicProcessInfo {
  LONG exitStatus;
  void* pebBaseAddress;
  ULONG_PTR affinityMask;
  LONG basePriority;
  ULONG_PTR uniqueProcessId;
  ULONG_PTR inheritedFromUniqueProcessId;
};
using QueryProcessFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);

QueryProcessFn ProcessQueryFunction() {
  static QueryProcessFn fn = [] {
    HMODULE ntdll = GetModuleHandleA("NTDLL.DLL");
    return ntdll ? reinterpret_cast<QueryProcessFn>(
                       reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationProcess")))
                 : nullptr;
  }();
  return fn;
}

// Parent id and creation time of a process, from the system.
bool QueryProcessFacts(uint32_t id, ProcessFacts* facts) {
  QueryProcessFn query = ProcessQueryFunction();
  if (!query) return false;
  ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id));
  if (!process) process.reset(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  if (!process) return false;
  BasicProcessInfo info{};
  ULONG got = 0;
  if (query(process.get(), 0 /* ProcessBasicInformation */, &info, sizeof info, &got) < 0)
    return false;
  facts->parentId = static_cast<uint32_t>(info.inheritedFromUniqueProcessId);
  FILETIME created{}, exited{}, kernel{}, user{};
  if (GetProcessTimes(process.get(), &created, &exited, &kernel, &user))
    facts->createdAt = (uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  return true;
}

bool IsBrowserFrameClass(const char* className) {
  for (const char* frame : kBrowserFrameClasses) {
    if (lstrcmpiA(className, frame) == 0) return true;
  }
  return false;
}

struct FrameSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK MatchBrowserFrame(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<FrameSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner != search->processId) return TRUE;
  char className[256] = {};
  GetClassNameA(hwnd, className, sizeof className);
  if (!IsBrowserFrameClass(className)) return TRUE;
  search->found = hwnd;
  return FALSE;
}

// The first top-level window (hidden ones included) of the process that is
// a recognised browser frame.
HWND BrowserFrameOf(DWORD processId) {
  FrameSearch search{processId, nullptr};
  EnumWindows(MatchBrowserFrame, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The window's rectangle with its invisible resize borders: where its
// printed picture starts.
RECT WindowRectOf(HWND hwnd) {
  RECT rc{};
  GetWindowRect(hwnd, &rc);
  return rc;
}

// What the window covers on the screen, without those borders.
RECT VisibleRectOf(HWND hwnd) {
  RECT rc{};
  VisibleWindowRect(hwnd, &rc);
  return rc;
}

// True when the thread of `hwnd` handles a message within the timeout
// (PrintWindow waits for it without one).
bool Responds(HWND hwnd) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kPrintTimeout, &result) != 0;
}

// Saves the part `area` (screen coordinates) of the window `top` rendered
// whole with PrintWindow, so that windows covering it do not matter.
void SavePrintedArea(HWND top, const RECT& area, const std::string& fileName) {
  if (!Responds(top)) {
    SaveToCaptureFolder(nullptr, fileName);
    return;
  }
  RECT whole = WindowRectOf(top);
  int wholeWidth = whole.right - whole.left, wholeHeight = whole.bottom - whole.top;
  int width = area.right - area.left, height = area.bottom - area.top;
  ScopedGetDC screenDC(nullptr);
  ScopedMemDC printDC(CreateCompatibleDC(screenDC.get()));
  ScopedMemDC areaDC(CreateCompatibleDC(screenDC.get()));
  ScopedBitmap printed(CreateCompatibleBitmap(screenDC.get(), wholeWidth, wholeHeight));
  ScopedBitmap part(CreateCompatibleBitmap(screenDC.get(), width, height));
  if (!printDC || !areaDC || !printed || !part) {
    SaveToCaptureFolder(nullptr, fileName);
    return;
  }
  {
    ScopedSelect selectPrinted(printDC.get(), printed.get());
    ScopedSelect selectPart(areaDC.get(), part.get());
    PrintWholeWindow(top, printDC.get());
    BitBlt(areaDC.get(), 0, 0, width, height, printDC.get(), area.left - whole.left,
           area.top - whole.top, SRCCOPY);
  }
  SaveToCaptureFolder(part.get(), fileName);
}

}  // namespace

HWND TopLevelAncestor(HWND window) {
  HWND result = window;
  HWND desktop = GetDesktopWindow();
  HWND p = GetParent(window);
  // Parent chains are short; the bound only guards against a broken one.
  for (int depth = 0; p && p != desktop && depth < 1000; ++depth) {
    result = p;
    p = GetParent(p);
  }
  return result;
}

HWND FindBrowserFrame() {
  HWND frame = nullptr;
  FindInAncestry(GetCurrentProcessId(), QueryProcessFacts, [&](uint32_t id) {
    frame = BrowserFrameOf(id);
    return frame != nullptr;
  });
  return frame;
}

namespace {

// The top-level window of the caller's window when the host may minimise
// it: a visible window of another process that is not minimised already
// and is not the recognised frame.
HWND CallerTopLevel(HWND frame) {
  if (!callerWindow || !IsWindow(callerWindow)) return nullptr;
  HWND top = TopLevelAncestor(callerWindow);
  DWORD owner = 0;
  GetWindowThreadProcessId(top, &owner);
  if (owner == 0 || owner == GetCurrentProcessId()) return nullptr;
  if (!IsWindowVisible(top) || IsIconic(top) || top == frame) return nullptr;
  return top;
}

void MinimizeBrowser(MinimizedBrowser* record, HWND window) {
  record->window = window;
  record->wasMaximized = IsZoomed(window) != FALSE;
  SendSysCommand(window, SC_MINIMIZE);
  ShowWindowAsync(window, SW_MINIMIZE);  // never waits on a hung browser
}

void RestoreBrowser(MinimizedBrowser* record) {
  if (!record->window) return;
  SendSysCommand(record->window, record->wasMaximized ? SC_MAXIMIZE : SC_RESTORE);
  *record = MinimizedBrowser();
}

}  // namespace

HWND callerWindow = nullptr;

DWORD MinimizeBrowserWindowsNoPause(HWND target) {
  DWORD pause = kPause;
  HWND frame = FindBrowserFrame();
  if (frame) MinimizeBrowser(&minimizedBrowser, frame);
  if (HWND caller = CallerTopLevel(frame)) MinimizeBrowser(&minimizedCaller, caller);
  if (minimizedBrowser.window || minimizedCaller.window) pause = kPauseWithBrowser;
  if (target) {
    HWND top = TopLevelAncestor(target);
    // A window minimised already as a browser window is not minimised twice.
    if (top != minimizedBrowser.window && top != minimizedCaller.window) {
      minimizedTarget = top;
      SendSysCommand(minimizedTarget, SC_MINIMIZE);
      ShowWindowAsync(minimizedTarget, SW_MINIMIZE);
    }
  }
  return pause;
}

void MinimizeBrowserWindows(HWND target) { Sleep(MinimizeBrowserWindowsNoPause(target)); }

void RestoreBrowserWindows() {
  if (minimizedTarget) SendSysCommand(minimizedTarget, SC_RESTORE);
  minimizedTarget = nullptr;
  RestoreBrowser(&minimizedCaller);
  RestoreBrowser(&minimizedBrowser);
}

void CaptureWindowToFile(const std::string& fileName) {
  HWND w = captureRequest.targetWindow;
  if (!w || !IsWindow(w)) {
    // No window: nothing to capture, and no earlier file to report.
    SaveToCaptureFolder(nullptr, fileName);
  } else {
    // The window's parent is captured, or the grandparent when the window
    // fills its parent from the same corner; a window without a parent (or
    // grandparent) stands for itself.
    HWND p = GetParent(w);
    if (p) {
      RECT wr = WindowRectOf(w), pr = WindowRectOf(p);
      if (wr.left == pr.left && wr.top == pr.top && GetParent(p)) p = GetParent(p);
    } else {
      p = w;
    }
    HWND top = TopLevelAncestor(p);
    RECT area = VisibleRectOf(p), bounds = VisibleRectOf(top);
    area.left = area.left > bounds.left ? area.left : bounds.left;
    area.top = area.top > bounds.top ? area.top : bounds.top;
    area.right = area.right < bounds.right ? area.right : bounds.right;
    area.bottom = area.bottom < bounds.bottom ? area.bottom : bounds.bottom;
    if (area.right > area.left && area.bottom > area.top)
      SavePrintedArea(top, area, fileName);
    else
      SaveToCaptureFolder(nullptr, fileName);
  }
  PostMessageA(backgroundWindow, WM_CAPTURE_DONE, 0, 0);
}

void CaptureWindowCommand() { CaptureWindowToFile(captureRequest.fileName); }

void CaptureScreenCommand() {
  if (captureRequest.autoMinimize) MinimizeBrowserWindows(captureRequest.targetWindow);
  CaptureScreenToFile(backgroundWindow, captureRequest.fileName);
}

void CaptureRectCommand() {
  if (captureRequest.autoMinimize) MinimizeBrowserWindows(captureRequest.targetWindow);
  CaptureRectToFile(backgroundWindow, captureRequest.captureLeft, captureRequest.captureTop,
                    captureRequest.captureWidth, captureRequest.captureHeight,
                    captureRequest.fileName);
}

}  // namespace kv
