// "StartCapture" and "Capture": the interactive capture, with or without
// the window-selection prompt.
#include "host/capture_commands.h"
#include "host/host.h"
#include "host/prompt.h"

namespace kv {

void StartCaptureCommand() {
  if (captureRequest.autoMinimize) {
    MinimizeBrowserWindows(captureRequest.targetWindow);
    PostMessageW(backgroundWindow, WM_CAPTURE_START, 0, 0);
    return;
  }
  // A prompt that cannot be shown would leave the browser waiting for ever.
  if (!selectPrompt.Show(hostInstance, backgroundWindow))
    PostMessageW(backgroundWindow, WM_CAPTURE_CANCEL, 0, 0);
}

void CaptureCommand() {
  // Minimises the same window as the other capture commands: the target
  // named by "WinName", not the host's own hidden window.
  if (captureRequest.autoMinimize) MinimizeBrowserWindows(captureRequest.targetWindow);
  PostMessageW(backgroundWindow, WM_CAPTURE_START, 0, 0);
}

}  // namespace kv
