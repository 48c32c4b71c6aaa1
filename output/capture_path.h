// Where the temporary capture file lies.
#pragma once
#include <string>

namespace kv {

// The capture folder "KvCapture" in the user's temporary folder, ending
// with a backslash; empty when the temporary folder is unknown or too long.
// Wide: the profile folder may be named outside the ANSI code page.
std::wstring CaptureFolderWide();

// Full path of the capture file for `fileName` (".png" appended when the
// name holds no dot); empty for an empty name and for a refused one (a name
// that would reach outside the capture folder, or a path beyond MAX_PATH).
std::wstring CapturePathWide(const std::string& fileName);

// `path` as ANSI text: itself when the code page holds it, else its short
// (8.3) form, which every ANSI call can open (the long form, lossy, when
// the volume keeps no short names). For the file, the short form of its
// folder when the file does not exist yet.
std::string AnsiPathForm(const std::wstring& path);

// CaptureFolderWide and CapturePathWide as ANSI text (AnsiPathForm).
std::string CaptureFolder();
std::string TemporaryCapturePath(const std::string& fileName);

// True for a lead byte of the ANSI code page.
bool IsAnsiLeadByte(unsigned char c);

}  // namespace kv
