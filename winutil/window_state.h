// How a top-level window stands beyond what IsWindowVisible tells, and the
// compositor's view of windows. Every compositor function is looked up at
// run time: where the system lacks it, the plain window functions stand.
#pragma once
#include <windows.h>

namespace kv {

// The window is cloaked: "visible" to the window manager yet not on the
// screen (a window of another virtual desktop, a suspended store app,
// Windows 8 on). False where the system cannot tell.
bool IsCloaked(HWND window);

// The window's rectangle as it shows on the screen: the compositor's
// extended frame bounds, which leave out the invisible resize borders that
// Windows 10 and 11 put around top-level windows (about 7 pixels left,
// right and below); GetWindowRect where the compositor gives none (child
// windows, older systems). False when neither can be read.
bool VisibleWindowRect(HWND window, RECT* rect);

// PrintWindow of the whole window with PW_RENDERFULLCONTENT, without which
// windows drawn by the GPU (Chrome, Edge, Electron, store apps) come out
// black on Windows 8.1 on; without the flag where the system refuses it.
// The picture starts at the window's GetWindowRect corner.
bool PrintWholeWindow(HWND window, HDC target);

// Ends the window's show and hide animations: the next hide takes it off
// the screen at once.
void DisableTransitions(HWND window);

// Waits until the compositor has put on the screen what was drawn or
// hidden so far (DwmFlush); returns at once without a compositor.
void WaitForCompositor();

}  // namespace kv
