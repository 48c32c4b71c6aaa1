// What the clipboard held, kept while the assistant borrows the clipboard
// for the extensions page's address and put back afterwards.
#pragma once
#include <windows.h>

#include <vector>

namespace kv {

// Every format whose data is a block of memory: text of every kind,
// pictures as device-independent bitmaps, dropped files and the formats
// programs register. Formats held as GDI handles (a bitmap, a palette, a
// metafile) are not kept; the system makes a bitmap again from a kept DIB.
struct ClipboardSnapshot {
  struct Entry {
    UINT format;
    std::vector<char> bytes;
  };
  std::vector<Entry> entries;
};

// Reads the clipboard, opened for `owner` with `tries` attempts `pauseMs`
// apart; false when it could not be opened.
bool TakeClipboardSnapshot(HWND owner, int tries, DWORD pauseMs, ClipboardSnapshot* snapshot);
// Empties the clipboard and puts the snapshot's formats on it; false when
// the clipboard could not be opened.
bool RestoreClipboardSnapshot(HWND owner, int tries, DWORD pauseMs,
                              const ClipboardSnapshot& snapshot);

}  // namespace kv
