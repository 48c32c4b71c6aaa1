// kvdragtool <command> [arguments]: acts inside the Wine session for the
// install assistant's end-to-end tests. Lines go to standard output.
//   droptarget X Y W H MS      a window registered as a drop target; prints
//                              "ready", then "enter formats=<cf,...>
//                              effect=<allowed> keys=<key state>", "leave" and
//                              "drop effect=<allowed> keys=<key state>
//                              files=<name>|<name>", for MS milliseconds
//   dragsource X Y W H FILE MS a window that drags FILE (as a file list) when
//                              the left button goes down on it; prints
//                              "ready", then "done result=<hex> effect=<n>"
//   close TITLE [IMAGE]        asks every such window to close (WM_CLOSE)
//   hold MS                    keeps the Wine session (and its desktop) up
//                              for MS milliseconds; prints "ready"
//   clipboard                  prints the clipboard's CF_TEXT
//   ping TITLE IMAGE MS        sends WM_NULL to that window of the program
//                              IMAGE, waiting at most MS milliseconds;
//                              prints "answered ms=<taken> tick=<when>" (exit
//                              0) or "no answer ms=<taken>" (exit 1)
//   window TITLE [IMAGE]       prints the top-level window of that title
//                              (UTF-8), of the program IMAGE when given, as
//                              JSON; exit 1 when there is none
#include <windows.h>
#include <ole2.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "installer/data_object.h"
#include "installer/drop_source.h"
#include "installer/static_box.h"
#include "winutil/codepage.h"

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string RectJson(const RECT& r) {
  char text[96];
  std::snprintf(text, sizeof text, "[%ld,%ld,%ld,%ld]", r.left, r.top, r.right, r.bottom);
  return text;
}

std::string WindowTextUtf8(HWND hwnd) {
  wchar_t text[1024] = {};
  GetWindowTextW(hwnd, text, 1024);
  return kv::WideToUtf8(text);
}

// ---- a recording drop target, independent of the assistant's classes ------

class Recorder : public IDropTarget {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDropTarget) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on the stack

  STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL, DWORD* effect) override {
    std::string formats;
    IEnumFORMATETC* formatList = nullptr;
    if (SUCCEEDED(data->EnumFormatEtc(DATADIR_GET, &formatList)) && formatList) {
      FORMATETC format;
      ULONG got = 0;
      while (formatList->Next(1, &format, &got) == S_OK && got == 1) {
        if (!formats.empty()) formats += ',';
        formats += std::to_string(format.cfFormat);
        if (format.ptd) CoTaskMemFree(format.ptd);
      }
      formatList->Release();
    }
    Say("enter formats=" + formats + " effect=" + std::to_string(*effect) +
        " keys=" + std::to_string(keys));
    *effect = DROPEFFECT_COPY;
    return S_OK;
  }
  STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override {
    *effect = DROPEFFECT_COPY;
    return S_OK;
  }
  STDMETHODIMP DragLeave() override {
    Say("leave");
    return S_OK;
  }
  STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL, DWORD* effect) override {
    std::string files;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (SUCCEEDED(data->GetData(&format, &medium))) {
      auto drop = static_cast<HDROP>(medium.hGlobal);
      UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        wchar_t name[MAX_PATH] = {};
        DragQueryFileW(drop, i, name, MAX_PATH);
        if (i) files += '|';
        files += kv::WideToUtf8(name);
      }
      ReleaseStgMedium(&medium);
    }
    Say("drop effect=" + std::to_string(*effect) + " keys=" + std::to_string(keys) +
        " files=" + files);
    *effect = DROPEFFECT_COPY;
    return S_OK;
  }

 private:
  ULONG refs_ = 1;
};

HWND MakeWindow(const wchar_t* title, int x, int y, int w, int h, WNDPROC proc, COLORREF colour) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = CreateSolidBrush(colour);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = title;
  RegisterClassW(&wc);
  // Never activated: the keyboard (Escape during a drag) stays with the
  // program under test.
  HWND hwnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, title, title, WS_POPUP | WS_BORDER,
                              x, y, w, h, nullptr, nullptr, wc.hInstance, nullptr);
  ShowWindow(hwnd, SW_SHOWNOACTIVATE);
  UpdateWindow(hwnd);
  return hwnd;
}

void PumpFor(DWORD ms) {
  SetTimer(nullptr, 0, ms, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && !msg.hwnd) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

int DropTarget(int x, int y, int w, int h, DWORD ms) {
  HWND hwnd = MakeWindow(L"KvDropTarget", x, y, w, h, DefWindowProcW, RGB(200, 230, 200));
  Recorder recorder;
  HRESULT hr = RegisterDragDrop(hwnd, &recorder);
  if (FAILED(hr)) {
    Say("register failed");
    return 1;
  }
  Say("ready");
  PumpFor(ms);
  RevokeDragDrop(hwnd);
  DestroyWindow(hwnd);
  return 0;
}

std::wstring dragFile;

LRESULT CALLBACK SourceProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_LBUTTONDOWN) return DefWindowProcW(hwnd, message, wParam, lParam);
  auto* data = new kv::CIDataObject;
  data->AddRef();
  auto* source = new kv::CIDropSource;
  source->AddRef();
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = kv::BuildFileList(dragFile);
  data->SetData(&format, &medium, TRUE);
  DWORD effect = DROPEFFECT_NONE;
  HRESULT hr = DoDragDrop(data, source, DROPEFFECT_COPY, &effect);
  char line[64];
  std::snprintf(line, sizeof line, "done result=%08lx effect=%lu", static_cast<unsigned long>(hr),
                effect);
  Say(line);
  source->Release();
  data->Release();
  return 0;
}

int DragSource(int x, int y, int w, int h, const std::wstring& file, DWORD ms) {
  dragFile = file;
  MakeWindow(L"KvDragSource", x, y, w, h, SourceProc, RGB(230, 200, 200));
  Say("ready");
  PumpFor(ms);
  return 0;
}

int Clipboard() {
  if (!OpenClipboard(nullptr)) return 2;
  int rc = 1;
  if (HANDLE text = GetClipboardData(CF_TEXT)) {
    if (auto* p = static_cast<const char*>(GlobalLock(text))) {
      Say(p);
      GlobalUnlock(text);
      rc = 0;
    }
  }
  CloseClipboard();
  return rc;
}

BOOL CALLBACK AddControl(HWND child, LPARAM out) {
  auto* json = reinterpret_cast<std::string*>(out);
  RECT r{};
  GetWindowRect(child, &r);
  if (json->back() != '{') *json += ',';
  *json += "\"" + std::to_string(GetDlgCtrlID(child)) +
           "\":{\"text\":" + JsonString(WindowTextUtf8(child)) + ",\"rect\":" + RectJson(r) +
           ",\"style\":" + std::to_string(GetWindowLongW(child, GWL_STYLE)) + "}";
  return TRUE;
}

// The title as given on the command line: Unicode, which the ANSI argv
// could not carry.
std::wstring WideArgument(int index) {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  std::wstring arg = args && index < count ? args[index] : L"";
  LocalFree(args);
  return arg;
}

std::string ImageOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  std::string image;
  if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (QueryFullProcessImageNameW(process, 0, path, &size)) image = kv::WideToUtf8(path);
    CloseHandle(process);
  }
  return image;
}

struct WindowQuery {
  std::wstring title;
  std::string image;  // empty: any program
  bool all = false;   // close every match instead of finding the first
  HWND found = nullptr;
  int closed = 0;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM param) {
  auto* query = reinterpret_cast<WindowQuery*>(param);
  wchar_t title[512] = {};
  GetWindowTextW(hwnd, title, 512);
  if (query->title != title) return TRUE;
  if (!query->image.empty() && _stricmp(query->image.c_str(), ImageOf(hwnd).c_str()) != 0)
    return TRUE;
  query->found = hwnd;
  if (!query->all) return FALSE;
  PostMessageW(hwnd, WM_CLOSE, 0, 0);
  ++query->closed;
  return TRUE;
}

int Close(int argc) {
  WindowQuery query;
  query.title = WideArgument(2);
  if (argc > 3) query.image = kv::WideToUtf8(WideArgument(3));
  query.all = true;
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
  Say("closed " + std::to_string(query.closed));
  return 0;
}

int Ping(DWORD ms) {
  WindowQuery query;
  query.title = WideArgument(2);
  query.image = kv::WideToUtf8(WideArgument(3));
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
  if (!query.found) return 2;
  DWORD_PTR answer = 0;
  const DWORD start = GetTickCount();
  const bool answered =
      SendMessageTimeoutW(query.found, WM_NULL, 0, 0, SMTO_NORMAL, ms, &answer) != 0;
  const DWORD taken = GetTickCount() - start;
  Say((answered ? "answered ms=" : "no answer ms=") + std::to_string(taken) +
      " tick=" + std::to_string(GetTickCount()));
  return answered ? 0 : 1;
}

int Window(int argc) {
  WindowQuery query;
  query.title = WideArgument(2);
  if (argc > 3) query.image = kv::WideToUtf8(WideArgument(3));
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
  HWND hwnd = query.found;
  if (!hwnd) return 1;
  RECT r{};
  GetWindowRect(hwnd, &r);
  RECT client{};
  GetClientRect(hwnd, &client);
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const std::string image = ImageOf(hwnd);
  const bool topmost = (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  std::string json = "{\"rect\":" + RectJson(r) + ",\"client\":" + RectJson(client) +
                     ",\"work\":" + RectJson(work) +
                     ",\"topmost\":" + (topmost ? "true" : "false") +
                     ",\"visible\":" + (IsWindowVisible(hwnd) ? "true" : "false") +
                     ",\"foreground\":" + (GetForegroundWindow() == hwnd ? "true" : "false") +
                     ",\"image\":" + JsonString(image) + ",\"controls\":{";
  EnumChildWindows(hwnd, AddControl, reinterpret_cast<LPARAM>(&json));
  json += "}}";
  Say(json);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string command = argv[1];
  if (command == "clipboard") return Clipboard();
  if (command == "hold" && argc == 3) {
    // Brings the desktop up (in this program's process group).
    GetDesktopWindow();
    HWND window = CreateWindowW(L"STATIC", L"KvHold", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                nullptr, nullptr);
    Say("ready");
    PumpFor(static_cast<DWORD>(std::atoi(argv[2])));
    DestroyWindow(window);
    return 0;
  }
  if (command == "window" && (argc == 3 || argc == 4)) return Window(argc);
  if (command == "close" && (argc == 3 || argc == 4)) return Close(argc);
  if (command == "ping" && argc == 5) return Ping(static_cast<DWORD>(std::atoi(argv[4])));
  OleInitialize(nullptr);
  int rc = 2;
  auto number = [&](int i) { return std::atoi(argv[i]); };
  if (command == "droptarget" && argc == 7)
    rc = DropTarget(number(2), number(3), number(4), number(5), static_cast<DWORD>(number(6)));
  else if (command == "dragsource" && argc == 8)
    rc = DragSource(number(2), number(3), number(4), number(5), WideArgument(6),
                    static_cast<DWORD>(number(7)));
  OleUninitialize();
  return rc;
}
