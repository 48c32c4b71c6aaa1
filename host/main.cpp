// Entry of the capture host: one request per process.
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "core/command_line.h"
#include "core/languages.h"
#include "host/capture_commands.h"
#include "host/host.h"
#include "host/pin.h"
#include "host/self_check.h"
#include "upload/upload.h"
#include "winutil/codepage.h"
#include "winutil/module_path.h"

#include <shellapi.h>

namespace kv {

HINSTANCE hostInstance = nullptr;

// Every road out puts back what AutoMinimize took out of the way.
void EndProcess(int exitCode) {
  RestoreBrowserWindows();
  std::exit(exitCode);
}

namespace {

// Held from the start until the final event: closes the gap between the
// window check of two hosts started at the same moment.
constexpr char kInstanceMutex[] = "KvCaptureExt.SingleInstance";
// How long a new host waits for one that has given up its window and is
// ending: the browser sends the next request (the upload after a capture,
// the next ReadCapture) as soon as an event arrives.
constexpr DWORD kEndingHostWaitMs = 2000;

void StartInstallAssistant() {
  // Wide: the folder's name may lie outside the ANSI code page.
  const std::wstring folder = ProgramFolder();
  if (folder.empty()) return;
  const std::wstring path = folder + L"\\KvCaptureCrxInstall.exe";
  ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// A host with its window is at work: this one gives up at once. A host
// without it is ending (or just starting): this one waits a moment for its
// mutex.
bool AnotherHostRunning() {
  if (FindWindowA(kBackgroundClass, kBackgroundTitle)) return true;
  instanceMutex = CreateMutexA(nullptr, FALSE, kInstanceMutex);
  if (!instanceMutex) return false;  // cannot tell: the window check stands alone
  DWORD wait = WaitForSingleObject(instanceMutex, kEndingHostWaitMs);
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
    // Another host may have created its window between the first look and
    // the mutex (it holds the mutex while its window exists).
    return FindWindowA(kBackgroundClass, kBackgroundTitle) != nullptr;
  }
  return true;
}

HWND CreateBackgroundWindow() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = BackgroundWindowProc;
  wc.hInstance = hostInstance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kBackgroundClass;
  RegisterClassExA(&wc);
  HWND hwnd =
      CreateWindowExA(0, kBackgroundClass, kBackgroundTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                      CW_USEDEFAULT, 0, nullptr, nullptr, hostInstance, nullptr);
  if (hwnd) {
    ShowWindow(hwnd, SW_HIDE);
    UpdateWindow(hwnd);
  }
  return hwnd;
}

void SelectLanguage() {
  SetUiTextConverter(Utf8ToAnsi);
  std::string code = captureRequest.uiLanguage;
  if (code.empty()) code = DefaultUiLanguageFor(GetUserDefaultUILanguage());
  SelectUiLanguage(code);
}

// The last way out, for an exception nothing caught (no memory where no
// handler expected it): the browser still gets its answer, made without
// allocating, and minimised windows come back.
[[noreturn]] void OnUnhandledFailure() {
  RestoreBrowserWindows();
  if (!EventWritten()) {
    static const char kBody[] = "{\"EventName\":\"OnExit\"}\n";
    const uint32_t length = sizeof kBody - 1;
    const unsigned char prefix[4] = {static_cast<unsigned char>(length), 0, 0, 0};
    _setmode(_fileno(stdout), _O_BINARY);
    std::fwrite(prefix, 1, sizeof prefix, stdout);
    std::fwrite(kBody, 1, length, stdout);
    std::fflush(stdout);
  }
  std::_Exit(-1);
}

[[noreturn]] void ExitWithEvent() {
  WriteEvent("OnExit", std::string(), std::string());
  EndProcess(-1);
}

// Runs the command; returns true when the message loop is to follow.
bool RunCommand(const std::string& command) {
  struct Entry {
    const char* name;
    void (*run)();
  };
  static const Entry kCommands[] = {
      {"StartCapture", StartCaptureCommand},   {"Capture", CaptureCommand},
      {"CaptureWindow", CaptureWindowCommand}, {"CaptureScreen", CaptureScreenCommand},
      {"CaptureRect", CaptureRectCommand},
  };
  if (_stricmp(command.c_str(), "StopCapture") == 0) EndProcess(0);
  for (const Entry& e : kCommands) {
    if (_stricmp(command.c_str(), e.name) == 0) {
      e.run();
      return true;
    }
  }
  if (_stricmp(command.c_str(), "Upload") == 0) {
    if (StartUpload() == S_OK) return true;
  }
  if (_stricmp(command.c_str(), "ReadCapture") == 0) ReadCaptureCommand();    // ends on success
  if (_stricmp(command.c_str(), "WriteCapture") == 0) WriteCaptureCommand();  // ends on success
  ExitWithEvent();
}

void MessageLoop() {
  MSG msg;
  // Unicode retrieval: characters typed into the text tool's box (a
  // Unicode window) reach it intact on any code page.
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) {
  using namespace kv;
  HostCommandLine commandLine =
      ParseHostCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (commandLine.mode == HostMode::kInstall) {
    StartInstallAssistant();
    return 0;
  }
  if (commandLine.mode == HostMode::kCheck) return RunSelfCheck(commandLine.checkLanguage);
  if (commandLine.mode == HostMode::kPin) return RunPin(commandLine);
  // A handle that does not fit this build's pointers names no window.
  uintptr_t handle = static_cast<uintptr_t>(commandLine.parentWindow);
  if (handle == commandLine.parentWindow) callerWindow = reinterpret_cast<HWND>(handle);
  std::set_terminate(OnUnhandledFailure);
  hostThreadId = GetCurrentThreadId();
  if (AnotherHostRunning()) return -1;
  hostInstance = GetModuleHandleA(nullptr);
  backgroundWindow = CreateBackgroundWindow();
  if (!backgroundWindow) return -1;

  bool unreadable = false;
  std::string text = ReadRequestText(&unreadable);
  if (unreadable || !ParseRequest(text)) ExitWithEvent();
  SelectLanguage();
  RunCommand(captureRequest.command);
  MessageLoop();
  EndProcess(0);
}
