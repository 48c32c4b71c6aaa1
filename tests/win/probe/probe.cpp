// kvprobe <command> [arguments]
//   post <hex message>      post a message to the running host's background window
//   hold-window <ms>        own a window marked like a running host, for <ms>
//   hold-mutex <ms>         own the host's single-instance mutex, for <ms>
//   find-host               exit 0 when a host's background window exists
//   dialog-info             print the visible dialogs of the session as JSON lines:
//                           title, window rect, extended style, controls
//   anchor                  keep a hidden window (and with it Wine's desktop
//                           process) alive until killed
//   find-window <class>     exit 0 when a top-level window of that class exists
//   command <title> <id>    send WM_COMMAND <id> (BN_CLICKED) to the dialog titled <title>
//   key-state <vk>          print GetAsyncKeyState(<vk>) as hex (high bit: down)
//   acp                     print the ANSI code page (GetACP)
//   titled-window <title> <w> <h> [<x> <y>]
//                           show a w x h pop-up window titled <title> (taken
//                           and shown wide, whatever the code page) at
//                           (x, y), by default (40, 40),
//                           print "ready", keep it until killed
// Run under the name KvCaptureCrxInstall.exe it records its start in
// installer-started.txt next to itself (a stand-in install assistant).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Utf8(const wchar_t* w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, nullptr, nullptr);
  return s;
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04X", c);
      out += buf;
      continue;
    }
    out += static_cast<char>(c);
  }
  return out + "\"";
}

// The text of any window, read from the window itself without a message to
// its owner: a busy or stuck program elsewhere in the session cannot hold
// the probe up.
std::string WindowText(HWND hwnd) {
  using InternalGetWindowTextFn = int(WINAPI*)(HWND, LPWSTR, int);
  static auto internalGetText = reinterpret_cast<InternalGetWindowTextFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("user32.dll"), "InternalGetWindowText")));
  wchar_t buf[512] = {};
  if (internalGetText) internalGetText(hwnd, buf, 512);
  return Utf8(buf);
}

std::string RectJson(HWND hwnd) {
  RECT r;
  GetWindowRect(hwnd, &r);
  char buf[96];
  std::snprintf(buf, sizeof buf, "[%ld,%ld,%ld,%ld]", r.left, r.top, r.right, r.bottom);
  return buf;
}

BOOL CALLBACK PrintControl(HWND child, LPARAM param) {
  std::string* out = reinterpret_cast<std::string*>(param);
  char cls[64] = {};
  GetClassNameA(child, cls, sizeof cls);
  char buf[160];
  std::snprintf(buf, sizeof buf,
                "%s{\"id\":%d,\"class\":%s,\"visible\":%s,\"rect\":", out->back() == '[' ? "" : ",",
                GetDlgCtrlID(child), JsonString(cls).c_str(),
                IsWindowVisible(child) ? "true" : "false");
  *out += buf + RectJson(child) + ",\"text\":" + JsonString(WindowText(child)) + "}";
  return TRUE;
}

BOOL CALLBACK PrintDialog(HWND hwnd, LPARAM) {
  char cls[64] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  if (std::strcmp(cls, "#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
  char head[96];
  std::snprintf(head, sizeof head, "{\"exstyle\":%lu,\"style\":%lu,\"title\":",
                static_cast<unsigned long>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE)),
                static_cast<unsigned long>(GetWindowLongPtrW(hwnd, GWL_STYLE)));
  std::string line =
      head + JsonString(WindowText(hwnd)) + ",\"rect\":" + RectJson(hwnd) + ",\"controls\":[";
  EnumChildWindows(hwnd, PrintControl, reinterpret_cast<LPARAM>(&line));
  line += "]}";
  std::printf("%s\n", line.c_str());
  return TRUE;
}

const char kClass[] = "KvCapture_BgWindow";
const char kTitle[] = "KvCapture";

// Wide, so that a folder named outside the ANSI code page is found.
std::wstring ModuleDir(std::wstring* name) {
  wchar_t path[4096] = {};
  GetModuleFileNameW(nullptr, path, 4096);
  std::wstring p = path;
  size_t slash = p.find_last_of(L'\\');
  if (name) *name = p.substr(slash + 1);
  return p.substr(0, slash + 1);
}

int RecordStart(const std::wstring& dir, int argc) {
  std::wstring out = dir + L"installer-started.txt";
  FILE* f = _wfopen(out.c_str(), L"ab");
  if (!f) return 1;
  std::fprintf(f, "started args=%d\n", argc - 1);
  std::fclose(f);
  return 0;
}

void PumpFor(DWORD ms) {
  DWORD end = GetTickCount() + ms;
  while (GetTickCount() < end) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::wstring name;
  std::wstring dir = ModuleDir(&name);
  if (_wcsicmp(name.c_str(), L"KvCaptureCrxInstall.exe") == 0) return RecordStart(dir, argc);
  if (argc < 2) return 2;
  std::string cmd = argv[1];
  if (cmd == "post" && argc > 2) {
    HWND hwnd = FindWindowA(kClass, kTitle);
    if (!hwnd) return 3;
    UINT msg = static_cast<UINT>(std::strtoul(argv[2], nullptr, 16));
    return PostMessageA(hwnd, msg, 0, 0) ? 0 : 4;
  }
  if (cmd == "find-host") return FindWindowA(kClass, kTitle) ? 0 : 1;
  if (cmd == "anchor") {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KvTestAnchor";
    RegisterClassA(&wc);
    if (!CreateWindowA("KvTestAnchor", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance,
                       nullptr))
      return 5;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
  }
  if (cmd == "key-state" && argc > 2) {
    std::printf("%04x\n", static_cast<unsigned>(GetAsyncKeyState(std::atoi(argv[2])) & 0xFFFF));
    return 0;
  }
  if (cmd == "acp") {
    std::printf("%u\n", GetACP());
    return 0;
  }
  if (cmd == "titled-window" && argc > 4) {
    // The title from the wide command line: the narrow argv went through
    // the ANSI code page.
    int wargc = 0;
    LPWSTR* wargv = CommandLineToArgvW(GetCommandLineW(), &wargc);
    if (!wargv || wargc < 3) return 2;
    std::wstring title = wargv[2];
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = L"KvTestTitled";
    RegisterClassW(&wc);
    const int x = argc > 6 ? std::atoi(argv[5]) : 40, y = argc > 6 ? std::atoi(argv[6]) : 40;
    if (!CreateWindowExW(0, L"KvTestTitled", title.c_str(), WS_POPUP | WS_VISIBLE, x, y,
                         std::atoi(argv[3]), std::atoi(argv[4]), nullptr, nullptr, wc.hInstance,
                         nullptr))
      return 5;
    std::printf("ready\n");
    std::fflush(stdout);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
  }
  if (cmd == "find-window" && argc > 2) return FindWindowA(argv[2], nullptr) ? 0 : 1;
  if (cmd == "dialog-info") {
    EnumWindows(PrintDialog, 0);
    return 0;
  }
  if (cmd == "command" && argc > 3) {
    int n = MultiByteToWideChar(CP_UTF8, 0, argv[2], -1, nullptr, 0);
    std::wstring title(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, argv[2], -1, &title[0], n);
    HWND dlg = FindWindowW(L"#32770", title.c_str());
    if (!dlg) return 3;
    return PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(std::atoi(argv[3]), BN_CLICKED), 0) ? 0 : 4;
  }
  if (cmd == "hold-window" && argc > 2) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowA(kClass, kTitle, WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                              wc.hInstance, nullptr);
    if (!hwnd) return 5;
    std::printf("ready\n");
    std::fflush(stdout);
    PumpFor(static_cast<DWORD>(std::atoi(argv[2])));
    return 0;
  }
  if (cmd == "hold-mutex" && argc > 2) {
    HANDLE m = CreateMutexA(nullptr, TRUE, "KvCaptureExt.SingleInstance");
    if (!m) return 6;
    std::printf("ready\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(argv[2])));
    return 0;
  }
  return 2;
}
