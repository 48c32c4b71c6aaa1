// The "Upload" command.
#pragma once
#include <windows.h>

namespace kv {

// Starts the upload worker: S_OK, or E_FAIL when the upload cannot start.
HRESULT StartUpload();

// WM_UPLOAD_DONE on the main thread: reports the worker's answer (taken
// from the posted string) and ends the process.
[[noreturn]] void OnUploadDone(LPARAM answer);

}  // namespace kv
