#include "test_support.h"

#include <string>

#include "host/host.h"
#include "winutil/dib_section.h"

namespace kv {
// Defined by the host's entry, which the tests do not link.
HINSTANCE hostInstance = GetModuleHandleA(nullptr);
void EndProcess(int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }
}  // namespace kv

namespace kvtest {

Picture::Picture(int width, int height) : width_(width), height_(height) {
  void* bits = nullptr;
  kv::ScopedGetDC screen(nullptr);
  bitmap_.reset(kv::CreateTopDownSection(screen.get(), width, height, &bits));
  bits_ = static_cast<uint32_t*>(bits);
  dc_.reset(CreateCompatibleDC(screen.get()));
  old_ = SelectObject(dc_.get(), bitmap_.get());
}

HBITMAP Picture::Release() {
  GdiFlush();
  SelectObject(dc_.get(), old_);
  bits_ = nullptr;
  return bitmap_.release();
}

COLORREF Picture::At(int x, int y) const {
  GdiFlush();
  uint32_t p = bits_[y * width_ + x];
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

void Picture::Set(int x, int y, COLORREF c) {
  bits_[y * width_ + x] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

void Picture::Fill(COLORREF c) {
  GdiFlush();
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) Set(x, y, c);
}

namespace {

// Dispatches messages for `ms`; with a window given, stops early (true)
// when `msg` for that window arrives, without dispatching it.
bool RunLoop(DWORD ms, HWND window, UINT msg) {
  DWORD end = GetTickCount() + ms;
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (window && m.hwnd == window && m.message == msg) return true;
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    Sleep(5);
  }
  return false;
}

}  // namespace

bool WaitForMessage(HWND window, UINT msg, DWORD ms) { return RunLoop(ms, window, msg); }

void Pump(DWORD ms) { RunLoop(ms, nullptr, 0); }

HWND CreateNotifyWindow() {
  static const char kClass[] = "KvOverlayTestNotify";
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kClass;
  RegisterClassA(&wc);
  return CreateWindowA(kClass, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
}

}  // namespace kvtest
