// Placeholders until the encoders are wired.
#include "output/image_output.h"

namespace kv {

bool SaveToCaptureFolder(HBITMAP, const std::string&) { return false; }
HRESULT EncodeImageFile(HBITMAP, const std::string&) { return E_NOTIMPL; }
bool SaveImageAs(HWND, HBITMAP, const std::string&) { return false; }
void CopyImageToClipboard(HBITMAP) {}

}  // namespace kv
