#include "installer/clipboard_snapshot.h"

#include <cstring>
#include <new>

#include "winutil/scoped_win.h"

namespace kv {

namespace {

// The formats whose data is not a block of memory the clipboard owns.
bool HeldAsHandle(UINT format) {
  switch (format) {
    case CF_BITMAP:
    case CF_METAFILEPICT:  // a block, but around a metafile handle
    case CF_PALETTE:
    case CF_ENHMETAFILE:
    case CF_OWNERDISPLAY:
    case CF_DSPBITMAP:
    case CF_DSPMETAFILEPICT:
    case CF_DSPENHMETAFILE: return true;
    default:
      return (format >= CF_PRIVATEFIRST && format <= CF_PRIVATELAST) ||
             (format >= CF_GDIOBJFIRST && format <= CF_GDIOBJLAST);
  }
}

}  // namespace

bool TakeClipboardSnapshot(HWND owner, int tries, DWORD pauseMs, ClipboardSnapshot* snapshot) {
  snapshot->entries.clear();
  ScopedClipboard clipboard(owner, tries, pauseMs);
  if (!clipboard.is_open()) return false;
  for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format)) {
    if (HeldAsHandle(format)) continue;
    HANDLE data = GetClipboardData(format);
    if (!data) continue;
    ScopedGlobalLock<char> lock(data);
    if (!lock.get()) continue;
    try {
      snapshot->entries.push_back(
          {format, std::vector<char>(lock.get(), lock.get() + GlobalSize(data))});
    } catch (const std::bad_alloc&) {
      break;  // what was kept so far goes back
    }
  }
  return true;
}

bool RestoreClipboardSnapshot(HWND owner, int tries, DWORD pauseMs,
                              const ClipboardSnapshot& snapshot) {
  ScopedClipboard clipboard(owner, tries, pauseMs);
  if (!clipboard.is_open() || !EmptyClipboard()) return false;
  for (const ClipboardSnapshot::Entry& entry : snapshot.entries) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, entry.bytes.empty() ? 1 : entry.bytes.size());
    if (!block) continue;
    {
      ScopedGlobalLock<char> lock(block);
      if (lock.get() && !entry.bytes.empty()) {
        std::memcpy(lock.get(), entry.bytes.data(), entry.bytes.size());
      }
    }
    // The clipboard owns the block once it took it.
    if (!SetClipboardData(entry.format, block)) GlobalFree(block);
  }
  return true;
}

}  // namespace kv
