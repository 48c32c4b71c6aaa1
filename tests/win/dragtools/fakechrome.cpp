// fakechrome: stands in for Google Chrome. Copied as chrome.exe, it appends
// to chrome-record.txt next to itself:
//   start tick=<ms> show=<nCmdShow> args=<command-line arguments>
//   key vk=<hex> tick=<ms>            (each key pressed in its address field)
//   enter text=<address field> tick=<ms>
//   focus tick=<ms>                   (its address field got the focus)
// Its window is an address field that takes the keyboard focus at once,
// or, with a file "stay-behind" next to it, a browser that never comes to
// the front. It ends on its own after a minute.
#include <windows.h>

#include <cstdio>
#include <string>

#include "winutil/codepage.h"

namespace {

std::string recordPath;
HWND address = nullptr;
WNDPROC editProc = nullptr;

void Record(const std::string& line) {
  FILE* f = std::fopen(recordPath.c_str(), "ab");
  if (!f) return;
  std::fprintf(f, "%s tick=%lu\n", line.c_str(), GetTickCount());
  std::fclose(f);
}

std::string ArgumentsOf(const wchar_t* commandLine) {
  // Skip the program name (quoted or not), then the blanks after it.
  const wchar_t* p = commandLine;
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return kv::WideToUtf8(p);
}

LRESULT CALLBACK AddressProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETFOCUS) Record("focus");
  if (message == WM_KEYDOWN) {
    char line[32];
    std::snprintf(line, sizeof line, "key vk=%02x", static_cast<unsigned>(wParam));
    Record(line);
    if (wParam == VK_RETURN) {
      wchar_t text[512] = {};
      GetWindowTextW(hwnd, text, 512);
      Record("enter text=" + kv::WideToUtf8(text));
    }
  }
  return CallWindowProcW(editProc, hwnd, message, wParam, lParam);
}

LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      if (address) MoveWindow(address, 8, 8, LOWORD(lParam) - 16, 24, TRUE);
      return 0;
    case WM_SETFOCUS:
      if (address) SetFocus(address);
      return 0;
    case WM_TIMER:
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  const std::string folder =
      std::string(module).substr(0, std::string(module).find_last_of('\\') + 1);
  recordPath = folder + "chrome-record.txt";
  Record("start show=" + std::to_string(show) + " args=" + ArgumentsOf(GetCommandLineW()));
  const bool stayBehind =
      GetFileAttributesA((folder + "stay-behind").c_str()) != INVALID_FILE_ATTRIBUTES;

  WNDCLASSW wc{};
  wc.lpfnWndProc = FrameProc;
  wc.hInstance = instance;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = L"KvFakeChrome";
  RegisterClassW(&wc);
  HWND frame =
      CreateWindowW(wc.lpszClassName, L"Stand-in Chrome", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                    CW_USEDEFAULT, 800, 600, nullptr, nullptr, instance, nullptr);
  address = CreateWindowW(L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 8, 8,
                          400, 24, frame, nullptr, instance, nullptr);
  editProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(address, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AddressProc)));
  SetTimer(frame, 1, 60000, nullptr);
  if (stayBehind) {
    SetWindowPos(frame, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowWindow(frame, SW_SHOWNOACTIVATE);
  } else {
    ShowWindow(frame, show);
    SetForegroundWindow(frame);
    SetFocus(address);
  }

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
