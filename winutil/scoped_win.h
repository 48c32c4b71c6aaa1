// Move-only owners of Win32 resources: every paint and every transfer
// releases exactly what it made. Copying is deleted throughout.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <utility>

namespace kv {

// Generic owner: Traits supplies Invalid() and Close(h).
template <typename T, typename Traits>
class ScopedHandleT {
 public:
  ScopedHandleT() : h_(Traits::Invalid()) {}
  explicit ScopedHandleT(T h) : h_(h) {}
  ~ScopedHandleT() { reset(); }
  ScopedHandleT(ScopedHandleT&& o) noexcept : h_(o.release()) {}
  ScopedHandleT& operator=(ScopedHandleT&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ScopedHandleT(const ScopedHandleT&) = delete;
  ScopedHandleT& operator=(const ScopedHandleT&) = delete;

  T get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::Invalid() && h_ != nullptr; }
  T release() {
    T h = h_;
    h_ = Traits::Invalid();
    return h;
  }
  void reset(T h = Traits::Invalid()) {
    if (h_ != Traits::Invalid() && h_ != nullptr) Traits::Close(h_);
    h_ = h;
  }

 private:
  T h_;
};

struct KernelHandleTraits {
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
using ScopedHandle = ScopedHandleT<HANDLE, KernelHandleTraits>;

template <typename G>
struct GdiObjectTraits {
  static G Invalid() { return nullptr; }
  static void Close(G h) { DeleteObject(h); }
};
using ScopedBitmap = ScopedHandleT<HBITMAP, GdiObjectTraits<HBITMAP>>;
using ScopedPen = ScopedHandleT<HPEN, GdiObjectTraits<HPEN>>;
using ScopedBrush = ScopedHandleT<HBRUSH, GdiObjectTraits<HBRUSH>>;
using ScopedFont = ScopedHandleT<HFONT, GdiObjectTraits<HFONT>>;

struct MemDcTraits {
  static HDC Invalid() { return nullptr; }
  static void Close(HDC h) { DeleteDC(h); }
};
// A memory device context from CreateCompatibleDC.
using ScopedMemDC = ScopedHandleT<HDC, MemDcTraits>;

struct MenuTraits {
  static HMENU Invalid() { return nullptr; }
  static void Close(HMENU h) { DestroyMenu(h); }
};
using ScopedMenu = ScopedHandleT<HMENU, MenuTraits>;

// An icon from LoadImage or CreateIcon (not a shared one).
struct IconTraits {
  static HICON Invalid() { return nullptr; }
  static void Close(HICON h) { DestroyIcon(h); }
};
using ScopedIcon = ScopedHandleT<HICON, IconTraits>;

struct RegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
using ScopedRegKey = ScopedHandleT<HKEY, RegKeyTraits>;

// A file handle from CreateFile (INVALID_HANDLE_VALUE when none).
struct FileHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
using ScopedFile = ScopedHandleT<HANDLE, FileHandleTraits>;

// GetDC / ReleaseDC of a window (null window: the screen).
class ScopedGetDC {
 public:
  explicit ScopedGetDC(HWND hwnd) : hwnd_(hwnd), hdc_(GetDC(hwnd)) {}
  ~ScopedGetDC() {
    if (hdc_) ReleaseDC(hwnd_, hdc_);
  }
  ScopedGetDC(const ScopedGetDC&) = delete;
  ScopedGetDC& operator=(const ScopedGetDC&) = delete;
  HDC get() const { return hdc_; }
  explicit operator bool() const { return hdc_ != nullptr; }

 private:
  HWND hwnd_;
  HDC hdc_;
};

// BeginPaint / EndPaint.
class ScopedPaint {
 public:
  explicit ScopedPaint(HWND hwnd) : hwnd_(hwnd) { hdc_ = BeginPaint(hwnd, &ps_); }
  ~ScopedPaint() { EndPaint(hwnd_, &ps_); }
  ScopedPaint(const ScopedPaint&) = delete;
  ScopedPaint& operator=(const ScopedPaint&) = delete;
  HDC get() const { return hdc_; }
  const PAINTSTRUCT& paint() const { return ps_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
  HDC hdc_;
};

// Selects an object into a DC and puts the previous one back on exit.
class ScopedSelect {
 public:
  ScopedSelect(HDC hdc, HGDIOBJ obj) : hdc_(hdc), old_(obj ? SelectObject(hdc, obj) : nullptr) {}
  ~ScopedSelect() {
    if (old_ && old_ != HGDI_ERROR) SelectObject(hdc_, old_);
  }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC hdc_;
  HGDIOBJ old_;
};

// GlobalLock / GlobalUnlock.
template <typename T = void>
class ScopedGlobalLock {
 public:
  explicit ScopedGlobalLock(HGLOBAL h) : h_(h), p_(h ? static_cast<T*>(GlobalLock(h)) : nullptr) {}
  ~ScopedGlobalLock() {
    if (p_) GlobalUnlock(h_);
  }
  ScopedGlobalLock(const ScopedGlobalLock&) = delete;
  ScopedGlobalLock& operator=(const ScopedGlobalLock&) = delete;
  T* get() const { return p_; }

 private:
  HGLOBAL h_;
  T* p_;
};

// An owned COM interface pointer.
template <typename I>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(I* p) : p_(p) {}  // takes over one reference
  ~ComPtr() { reset(); }
  ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ComPtr& operator=(ComPtr&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  I* get() const { return p_; }
  I* operator->() const { return p_; }
  I** put() {
    reset();
    return &p_;
  }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  I* detach() {
    I* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  I* p_ = nullptr;
};

// An open clipboard, closed on exit.
class ScopedClipboard {
 public:
  explicit ScopedClipboard(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
  // Tries `tries` times, `pauseMs` apart: clipboard managers, history and
  // remote-desktop services hold the clipboard for moments.
  ScopedClipboard(HWND owner, int tries, DWORD pauseMs) : open_(false) {
    for (int i = 0; i < tries && !open_; ++i) {
      if (i > 0) Sleep(pauseMs);
      open_ = OpenClipboard(owner) != FALSE;
    }
  }
  ~ScopedClipboard() {
    if (open_) CloseClipboard();
  }
  ScopedClipboard(const ScopedClipboard&) = delete;
  ScopedClipboard& operator=(const ScopedClipboard&) = delete;
  bool is_open() const { return open_; }

 private:
  bool open_;
};

}  // namespace kv
