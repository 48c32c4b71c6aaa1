// Where the temporary capture file lies.
#pragma once
#include <string>

namespace kv {

// The capture folder "KvCapture" in the user's temporary folder, ending
// with a backslash; "" when the temporary folder is unknown or too long.
std::string CaptureFolder();

// Full path of the capture file for `fileName` (".png" appended when the
// name holds no dot); "" for an empty name and for a refused one (a name
// that would reach outside the capture folder or does not fit MAX_PATH).
std::string TemporaryCapturePath(const std::string& fileName);

// True for a lead byte of the ANSI code page.
bool IsAnsiLeadByte(unsigned char c);

}  // namespace kv
