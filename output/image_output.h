// Image output: encoding by extension, the capture file, Save As, clipboard.
#pragma once
#include <windows.h>

#include <string>

namespace kv {

// Writes `bitmap` to TemporaryCapturePath(fileName), creating the folder.
bool SaveToCaptureFolder(HBITMAP bitmap, const std::string& fileName);

// Encodes `bitmap` into `path`; the format follows the path's extension.
HRESULT EncodeImageFile(HBITMAP bitmap, const std::string& path);
// The same for a path in UTF-16 (a name of any script).
HRESULT EncodeImageFileW(HBITMAP bitmap, const std::wstring& path);

// Shows "Save As" owned by `owner`, proposing `fileName`, and writes
// `bitmap` to the chosen path. False when cancelled or not written.
bool SaveImageAs(HWND owner, HBITMAP bitmap, const std::string& fileName);

// Puts a device-dependent copy of `bitmap` on the clipboard as CF_BITMAP,
// opening it for `owner` (a window of this thread). The clipboard is
// emptied only once the copy exists; false when it stays as it was.
bool CopyImageToClipboard(HWND owner, HBITMAP bitmap);

}  // namespace kv
