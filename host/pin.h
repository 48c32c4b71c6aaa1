// Pinned pictures: a completed capture left on the screen in a borderless,
// topmost window of a process of its own ("/pin <file> [x y]").
#pragma once
#include <windows.h>

#include <string>

#include "core/command_line.h"

namespace kv {

// The pin process: shows the picture of the 24-bit BMP named on the wide
// command line (then deletes the file, which is the pin's own copy) until
// the window is closed. Exit code 0, or 2 when the picture cannot be read.
int RunPin(const HostCommandLine& commandLine);

// Writes `picture` to a new file of its own in the capture folder and
// starts this program detached on it, the window's top-left corner at
// (x, y) on the screen. False when nothing was started.
bool StartPin(HBITMAP picture, int x, int y);

}  // namespace kv
