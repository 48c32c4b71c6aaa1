// kvprobe <command> [arguments]
//   post <hex message>      post a message to the running host's background window
//   hold-window <ms>        own a window marked like a running host, for <ms>
//   hold-mutex <ms>         own the host's single-instance mutex, for <ms>
//   find-host               exit 0 when a host's background window exists
// Run under the name KvCaptureCrxInstall.exe it records its start in
// installer-started.txt next to itself (a stand-in install assistant).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kClass[] = "KvCapture_BgWindow";
const char kTitle[] = "KvCapture";

std::string ModuleDir(std::string* name) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p = path;
  size_t slash = p.find_last_of('\\');
  if (name) *name = p.substr(slash + 1);
  return p.substr(0, slash + 1);
}

int RecordStart(const std::string& dir, int argc, char** argv) {
  std::string out = dir + "installer-started.txt";
  FILE* f = std::fopen(out.c_str(), "ab");
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
  std::string name;
  std::string dir = ModuleDir(&name);
  if (_stricmp(name.c_str(), "KvCaptureCrxInstall.exe") == 0) return RecordStart(dir, argc, argv);
  if (argc < 2) return 2;
  std::string cmd = argv[1];
  if (cmd == "post" && argc > 2) {
    HWND hwnd = FindWindowA(kClass, kTitle);
    if (!hwnd) return 3;
    UINT msg = static_cast<UINT>(std::strtoul(argv[2], nullptr, 16));
    return PostMessageA(hwnd, msg, 0, 0) ? 0 : 4;
  }
  if (cmd == "find-host") return FindWindowA(kClass, kTitle) ? 0 : 1;
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
