// The "Upload" command.
#pragma once
#include <windows.h>

namespace kv {

// Starts the upload worker: S_OK, or E_FAIL when the upload cannot start.
HRESULT StartUpload();

}  // namespace kv
