// 32-bit top-down device-independent sections, whose pixels the program
// reads and writes in memory.
#pragma once
#include <windows.h>

namespace kv {

// A section of `width` x `height` pixels, 4 bytes each (blue, green, red,
// unused), rows from the top; `*bits` points at its pixels. Null (and
// `*bits` null) when it cannot be made.
HBITMAP CreateTopDownSection(HDC dc, int width, int height, void** bits);
// The same with rows from the bottom, as captures are held: the one row
// order whose header every platform reports alike.
HBITMAP CreateBottomUpSection(HDC dc, int width, int height, void** bits);

}  // namespace kv
