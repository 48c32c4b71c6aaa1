// The running program's own path and folder, wide, so that a folder named
// outside the ANSI code page stays intact, and of any length the wide
// functions take (beyond MAX_PATH).
#pragma once
#include <string>

namespace kv {

// The program's full path; empty when it cannot be read.
std::wstring ProgramPath();
// The program's folder without a trailing backslash; empty when the
// program's path cannot be read.
std::wstring ProgramFolder();

}  // namespace kv
