// Where the temporary capture file lies.
#pragma once
#include <string>

namespace kv {

// The capture folder "KvCapture" in the user's temporary folder, ending
// with a backslash.
std::string CaptureFolder();

// Full path of the capture file for `fileName` (".png" appended when the
// name holds no dot); "" for an empty name.
std::string TemporaryCapturePath(const std::string& fileName);

}  // namespace kv
