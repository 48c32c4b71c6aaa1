// The capture commands and the AutoMinimize step.
#pragma once

namespace kv {

void StartCaptureCommand();
void CaptureCommand();
void CaptureWindowCommand();
void CaptureScreenCommand();
void CaptureRectCommand();

// Undoes MinimizeBrowserWindows (nothing when it never ran).
void RestoreBrowserWindows();

}  // namespace kv
