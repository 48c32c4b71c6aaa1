// The pinned picture's window: borderless and topmost, dragged with the
// left button, zoomed with the wheel around the pointer, Ctrl+C copies,
// Ctrl+S saves, Escape or a double click closes, and a right click offers
// the same as a menu. Several pins are separate processes.
#include <windows.h>
#include <shellapi.h>
#include <windowsx.h>

#include <cwchar>

#include "core/languages.h"
#include "core/overlay_layout.h"
#include "core/pin_zoom.h"
#include "host/host.h"
#include "host/pin.h"
#include "output/capture_path.h"
#include "output/image_output.h"
#include "winutil/codepage.h"
#include "winutil/module_path.h"
#include "winutil/scoped_win.h"
#include "winutil/ui_text.h"

namespace kv {

namespace {

constexpr wchar_t kPinClass[] = L"KvCapturePin";
constexpr char kPinSaveName[] = "pinned.png";

enum PinCommand : UINT { kPinCopy = 1, kPinSave = 2, kPinClose = 3 };

// The pin's one record.
struct PinState {
  ScopedBitmap picture;
  int width = 0;
  int height = 0;
  int zoom = 100;  // percent
  bool dragging = false;
  POINT grab{};        // the pointer within the window at the press
  bool modal = false;  // the menu or Save As is open
};
PinState pin;

Size ShownSize() {
  return {PinShownLength(pin.width, pin.zoom), PinShownLength(pin.height, pin.zoom)};
}

void OnPaint(HWND w) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(w, &ps);
  ScopedMemDC mem(CreateCompatibleDC(dc));
  if (mem) {
    ScopedSelect select(mem.get(), pin.picture.get());
    const Size shown = ShownSize();
    if (pin.zoom == 100) {
      BitBlt(dc, 0, 0, pin.width, pin.height, mem.get(), 0, 0, SRCCOPY);
    } else {
      SetStretchBltMode(dc, pin.zoom < 100 ? HALFTONE : COLORONCOLOR);
      SetBrushOrgEx(dc, 0, 0, nullptr);
      StretchBlt(dc, 0, 0, shown.width, shown.height, mem.get(), 0, 0, pin.width, pin.height,
                 SRCCOPY);
    }
  }
  EndPaint(w, &ps);
}

void Copy(HWND w) { CopyImageToClipboard(w, pin.picture.get()); }

void Save(HWND w) {
  if (pin.modal) return;
  pin.modal = true;
  SaveImageAs(w, pin.picture.get(), kPinSaveName);
  pin.modal = false;
}

void OnWheel(HWND w, WPARAM wParam) {
  const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
  const int zoom = PinZoomAfterWheel(pin.zoom, notches);
  if (zoom == pin.zoom) return;
  RECT r;
  GetWindowRect(w, &r);
  POINT p;
  GetCursorPos(&p);
  const Point origin = PinOriginAfterZoom({r.left, r.top}, {p.x, p.y}, pin.zoom, zoom);
  pin.zoom = zoom;
  const Size shown = ShownSize();
  SetWindowPos(w, nullptr, origin.x, origin.y, shown.width, shown.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(w, nullptr, FALSE);
}

void ShowMenu(HWND w, POINT at) {
  ScopedMenu menu(CreatePopupMenu());
  if (!menu) return;
  AppendMenuW(menu.get(), MF_STRING, kPinCopy, (UiTextWide("Copy") + L"\tCtrl+C").c_str());
  AppendMenuW(menu.get(), MF_STRING, kPinSave, (UiTextWide("Save As") + L"\tCtrl+S").c_str());
  AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu.get(), MF_STRING, kPinClose, (UiTextWide("Close Pin") + L"\tEsc").c_str());
  pin.modal = true;
  const UINT chosen =
      TrackPopupMenu(menu.get(), TPM_RIGHTBUTTON | TPM_RETURNCMD, at.x, at.y, 0, w, nullptr);
  pin.modal = false;
  switch (chosen) {
    case kPinCopy: return Copy(w);
    case kPinSave: return Save(w);
    case kPinClose: DestroyWindow(w); return;
    default: return;
  }
}

void OnKey(HWND w, UINT key) {
  const bool ctrl = GetKeyState(VK_CONTROL) < 0;
  if (key == VK_ESCAPE) {
    DestroyWindow(w);
  } else if (ctrl && key == 'C') {
    Copy(w);
  } else if (ctrl && key == 'S') {
    Save(w);
  }
}

void OnButtonDown(HWND w) {
  GetCursorPos(&pin.grab);
  RECT r;
  GetWindowRect(w, &r);
  pin.grab.x -= r.left;
  pin.grab.y -= r.top;
  pin.dragging = true;
  SetCapture(w);
}

void OnMouseMove(HWND w) {
  if (!pin.dragging) return;
  POINT p;
  GetCursorPos(&p);
  SetWindowPos(w, nullptr, p.x - pin.grab.x, p.y - pin.grab.y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void EndDrag() {
  pin.dragging = false;
  if (GetCapture()) ReleaseCapture();
}

LRESULT CALLBACK PinWindowProc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT: OnPaint(w); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN: OnButtonDown(w); return 0;
    case WM_MOUSEMOVE: OnMouseMove(w); return 0;
    case WM_LBUTTONUP: EndDrag(); return 0;
    case WM_CAPTURECHANGED: pin.dragging = false; return 0;
    case WM_LBUTTONDBLCLK: DestroyWindow(w); return 0;
    case WM_RBUTTONUP: {
      POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ClientToScreen(w, &at);
      ShowMenu(w, at);
      return 0;
    }
    case WM_MOUSEWHEEL: OnWheel(w, wParam); return 0;
    case WM_KEYDOWN: OnKey(w, static_cast<UINT>(wParam)); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(w, msg, wParam, lParam);
  }
}

// The file named on the wide command line: the path keeps any script.
std::wstring PinFileFromCommandLine(size_t index) {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  std::wstring file;
  // args[0] is the program; the parsed arguments start after it.
  if (args && static_cast<size_t>(count) > index + 1) file = args[index + 1];
  if (args) LocalFree(args);
  return file;
}

}  // namespace

int RunPin(const HostCommandLine& commandLine) {
  const std::wstring file = PinFileFromCommandLine(commandLine.pinFileArg);
  pin.picture.reset(static_cast<HBITMAP>(LoadImageW(nullptr, file.c_str(), IMAGE_BITMAP, 0, 0,
                                                    LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
  BITMAP info{};
  if (!pin.picture || !GetObject(pin.picture.get(), sizeof info, &info) || info.bmWidth <= 0 ||
      info.bmHeight == 0) {
    return 2;
  }
  DeleteFileW(file.c_str());  // the pin's own copy, now in memory
  pin.width = info.bmWidth;
  pin.height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
  hostInstance = GetModuleHandleW(nullptr);
  // The menu speaks the user's language (no request names one).
  SetUiTextConverter(Utf8ToAnsi);
  SelectUiLanguage(DefaultUiLanguageFor(GetUserDefaultUILanguage()));

  WNDCLASSW wc{};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = PinWindowProc;
  wc.hInstance = hostInstance;
  wc.hCursor = LoadCursor(nullptr, IDC_SIZEALL);
  wc.lpszClassName = kPinClass;
  RegisterClassW(&wc);
  int x = commandLine.pinX, y = commandLine.pinY;
  if (!commandLine.pinPlaced) {
    x = (GetSystemMetrics(SM_CXSCREEN) - pin.width) / 2;
    y = (GetSystemMetrics(SM_CYSCREEN) - pin.height) / 2;
  }
  HWND w = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kPinClass, L"KvCapture", WS_POPUP, x,
                           y, pin.width, pin.height, nullptr, nullptr, hostInstance, nullptr);
  if (!w) return 2;
  ShowWindow(w, SW_SHOW);
  UpdateWindow(w);
  SetForegroundWindow(w);
  SetFocus(w);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

bool StartPin(HBITMAP picture, int x, int y) {
  wchar_t name[64];
  std::swprintf(name, sizeof name / sizeof name[0], L"pin-%lu-%lu.bmp", GetCurrentProcessId(),
                GetTickCount());
  const std::wstring folder = CaptureFolderWide();
  if (folder.empty()) return false;
  CreateDirectoryW(folder.c_str(), nullptr);  // there already after a capture
  const std::wstring path = folder + name;
  if (FAILED(EncodeImageFileW(picture, path))) return false;
  const std::wstring program = ProgramPath();
  wchar_t place[64];
  std::swprintf(place, sizeof place / sizeof place[0], L" %d %d", x, y);
  std::wstring command = L"\"" + program + L"\" /pin \"" + path + L"\"" + place;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  // Out of the browser's job when it allows that, so that the pin outlives
  // the host; no handles inherited (the browser's pipes stay the host's).
  const DWORD flags = DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP;
  BOOL started =
      CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE,
                     flags | CREATE_BREAKAWAY_FROM_JOB, nullptr, nullptr, &startup, &process);
  if (!started) {
    started = CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, flags, nullptr,
                             nullptr, &startup, &process);
  }
  if (!started) {
    DeleteFileW(path.c_str());
    return false;
  }
  // The host holds the foreground (the overlay was in front): the pin may
  // take it, so that its keys (Escape, Ctrl+C, Ctrl+S) reach it.
  AllowSetForegroundWindow(process.dwProcessId);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace kv
