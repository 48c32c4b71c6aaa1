// The interactive capture overlay.
#pragma once
#include <windows.h>

#include <string>

namespace kv {

// Takes the snapshot and opens the overlay; the outcome arrives at
// notifyWindow as WM_CAPTURE_DONE or WM_CAPTURE_CANCEL.
void StartOverlay(HWND notifyWindow, const std::string& fileName);

}  // namespace kv
