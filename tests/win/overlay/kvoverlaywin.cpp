// kvoverlaywin: helper of the overlay's end-to-end tests.
//   window [--change-after <ms>] <x> <y> <w> <h> [<x> <y> <w> <h> ...]
//       shows borderless windows, each later one above the earlier ones,
//       whose every pixel tells its screen position (red = x & 255,
//       green = y & 255, blue = the high bits); prints "ready" once they
//       are painted. With --change-after they turn magenta that long
//       after. Runs until killed.
//   clipboard <file.bmp>
//       writes the clipboard's bitmap as a BMP file; exit 1 when there is
//       none.
//   set-text <hex of UTF-8>
//       puts the text on the clipboard as Unicode text (given as hex, so
//       that no code page stands between the test and the clipboard).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

COLORREF PatternAt(int x, int y) {
  return RGB(x & 0xFF, y & 0xFF, ((x >> 8) & 0x0F) | (((y >> 8) & 0x0F) << 4));
}

bool changed = false;  // all windows turn magenta at the first timer
constexpr UINT_PTR kChangeTimer = 7;

void PaintPattern(HWND hwnd, HDC dc) {
  RECT client;
  GetClientRect(hwnd, &client);
  if (changed) {
    HBRUSH brush = CreateSolidBrush(RGB(255, 0, 255));
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    return;
  }
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  const int w = client.right, h = client.bottom;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<DWORD> pixels(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      COLORREF c = PatternAt(origin.x + x, origin.y + y);
      pixels[static_cast<size_t>(y) * w + x] =
          (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    }
  }
  SetDIBitsToDevice(dc, 0, 0, w, h, 0, 0, 0, h, pixels.data(), &info, DIB_RGB_COLORS);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      PaintPattern(hwnd, dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_TIMER:
      KillTimer(hwnd, kChangeTimer);
      changed = true;
      InvalidateRect(hwnd, nullptr, FALSE);
      UpdateWindow(hwnd);
      return 0;
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

// Dispatches what arrives for `ms` milliseconds (timers keep their time).
void PumpFor(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  MSG msg;
  for (DWORD now = GetTickCount(); static_cast<LONG>(end - now) > 0; now = GetTickCount()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
}

int ShowWindowCommand(int argc, char** argv) {
  int arg = 2;
  UINT changeAfter = 0;
  if (argc > 3 && std::strcmp(argv[2], "--change-after") == 0) {
    changeAfter = static_cast<UINT>(std::atoi(argv[3]));
    arg = 4;
  }
  if ((argc - arg) < 4 || (argc - arg) % 4 != 0) return 2;
  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = "KvTestPattern";
  RegisterClassA(&wc);
  // Shown without activation: Wine answers an activation with a focus
  // event that arrives later and raises the window again, which on a slow
  // machine put the backdrop above the windows made after it.
  std::vector<HWND> windows;
  for (; arg + 3 < argc; arg += 4) {
    const int x = std::atoi(argv[arg]), y = std::atoi(argv[arg + 1]);
    const int w = std::atoi(argv[arg + 2]), h = std::atoi(argv[arg + 3]);
    HWND hwnd = CreateWindowExA(WS_EX_NOACTIVATE, wc.lpszClassName, "kvoverlaywin", WS_POPUP, x, y,
                                w, h, nullptr, nullptr, wc.hInstance, nullptr);
    if (!hwnd) return 3;
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    UpdateWindow(hwnd);
    if (changeAfter) SetTimer(hwnd, kChangeTimer, changeAfter, nullptr);
    windows.push_back(hwnd);
  }
  // Let the window system's answers arrive, then put the stacking order
  // right once more and paint what that exposed.
  PumpFor(200);
  for (HWND hwnd : windows) {
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  PumpFor(100);
  GdiFlush();
  std::printf("ready\n");
  std::fflush(stdout);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}

int ClipboardCommand(int argc, char** argv) {
  if (argc < 3) return 2;
  if (!OpenClipboard(nullptr)) return 4;
  int rc = 1;
  HANDLE dib = GetClipboardData(CF_DIB);
  if (dib) {
    SIZE_T size = GlobalSize(dib);
    const auto* data = static_cast<const BYTE*>(GlobalLock(dib));
    if (data && size >= sizeof(BITMAPINFOHEADER)) {
      const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(data);
      DWORD colours = header->biClrUsed;
      if (!colours && header->biBitCount <= 8) colours = 1u << header->biBitCount;
      DWORD offset = header->biSize + colours * sizeof(RGBQUAD);
      if (header->biCompression == BI_BITFIELDS && header->biSize == sizeof(BITMAPINFOHEADER)) {
        offset += 3 * sizeof(DWORD);
      }
      BITMAPFILEHEADER file{};
      file.bfType = 0x4D42;
      file.bfSize = static_cast<DWORD>(sizeof file + size);
      file.bfOffBits = static_cast<DWORD>(sizeof file + offset);
      if (FILE* f = std::fopen(argv[2], "wb")) {
        std::fwrite(&file, sizeof file, 1, f);
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        rc = 0;
      }
    }
    GlobalUnlock(dib);
  }
  CloseClipboard();
  return rc;
}

int SetTextCommand(int argc, char** argv) {
  if (argc < 3) return 2;
  std::string utf8;
  for (const char* h = argv[2]; h[0] && h[1]; h += 2) {
    char pair[3] = {h[0], h[1], 0};
    utf8.push_back(static_cast<char>(std::strtol(pair, nullptr, 16)));
  }
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, (length + 1) * sizeof(wchar_t));
  if (!text) return 4;
  auto* wide = static_cast<wchar_t*>(GlobalLock(text));
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide, length);
  wide[length] = 0;
  GlobalUnlock(text);
  if (!OpenClipboard(nullptr)) {
    GlobalFree(text);
    return 4;
  }
  EmptyClipboard();
  const bool set = SetClipboardData(CF_UNICODETEXT, text) != nullptr;
  CloseClipboard();
  if (!set) GlobalFree(text);
  return set ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  if (std::strcmp(argv[1], "window") == 0) return ShowWindowCommand(argc, argv);
  if (std::strcmp(argv[1], "clipboard") == 0) return ClipboardCommand(argc, argv);
  if (std::strcmp(argv[1], "set-text") == 0) return SetTextCommand(argc, argv);
  return 2;
}
