// "KvCaptureExt.exe /check": tells a user on the console, line by line in
// the UI language, whether the browser can find and start the host, and how
// to fix what is wrong.
#pragma once
#include <string>

namespace kv {

// Runs every check and prints the result. `languageCode` "en", "cn" or
// "tw" chooses the language; "" (or another code) leaves it to the
// system's UI language. Returns the exit code: 0 when everything holds,
// 1 otherwise.
int RunSelfCheck(const std::string& languageCode);

}  // namespace kv
