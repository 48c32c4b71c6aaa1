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

// The browser window that started the host (Chrome names it on the command
// line with "--parent-window="), or none. Set once, before the command runs.
extern HWND callerWindow;

// AutoMinimize: minimises the browser frame found among the host's parent
// processes, the top-level window of the caller's window (when it is a
// visible, not minimised window of another process) and the top-level
// window of `target`, remembers them, pauses.
void MinimizeBrowserWindows(HWND target);
// The same without the pause; returns the pause due (ms): 350 when a
// browser window (a recognised frame or the caller's) was minimised, 200
// otherwise.
DWORD MinimizeBrowserWindowsNoPause(HWND target);
// Undoes MinimizeBrowserWindows (nothing when it never ran, or ran and was
// undone already): every road out of the process calls it.
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
