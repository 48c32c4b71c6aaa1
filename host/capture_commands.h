// The capture commands and the AutoMinimize step.
#pragma once
#include <windows.h>

#include <string>

namespace kv {

// Interactive: the prompt, then the overlay (interactive_commands.cpp).
void StartCaptureCommand();
void CaptureCommand();

// Direct captures (capture_commands.cpp).
void CaptureWindowCommand();
void CaptureScreenCommand();
void CaptureRectCommand();

// AutoMinimize: minimises the browser frame found among the host's parent
// processes and the top-level window of `target`, remembers both, pauses.
void MinimizeBrowserWindows(HWND target);
// The same without the pause; returns the pause due (ms): 350 when a
// browser frame was minimised, 200 otherwise.
DWORD MinimizeBrowserWindowsNoPause(HWND target);
// Undoes MinimizeBrowserWindows (nothing when it never ran).
void RestoreBrowserWindows();

// The first window of class "SE_SogouExplorerFrame" or "360se6_Frame"
// owned by one of the host's ancestor processes, nearest first; none when
// no ancestor has one.
HWND FindBrowserFrame();

// The outermost window reached by following parents (owners, for pop-ups),
// never the desktop window; `window` itself when it has none.
HWND TopLevelAncestor(HWND window);

// Captures the window derived from the request's target window (its parent,
// or grandparent when it fills its parent from the same corner; itself when
// it has no parent), clipped to its top-level window, into the capture
// file, and posts WM_CAPTURE_DONE. Without a target nothing is written.
void CaptureWindowToFile(const std::string& fileName);

}  // namespace kv
