// The capture commands and the AutoMinimize step.
#pragma once
#include <windows.h>

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
// Undoes MinimizeBrowserWindows (nothing when it never ran).
void RestoreBrowserWindows();

}  // namespace kv
