#include "upload/upload.h"

namespace kv {

// Placeholder until the HTTP client exists.
HRESULT StartUpload() { return E_FAIL; }

}  // namespace kv
