// Conversions between the host's ANSI code page, UTF-16 and UTF-8.
#pragma once
#include <string>

namespace kv {

std::wstring AnsiToWide(const std::string& ansi);
std::string WideToAnsi(const std::wstring& wide);
std::wstring Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);

// Both go through UTF-16 with flags 0; a failed conversion gives "".
std::string AnsiToUtf8(const std::string& ansi);
std::string Utf8ToAnsi(const std::string& utf8);

}  // namespace kv
