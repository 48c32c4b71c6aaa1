// UTF-8 helpers shared by the channel, the request parser and the events.
#pragma once
#include <string>

namespace kv {

// Returns `bytes` with every ill-formed UTF-8 sequence replaced by U+FFFD
// (EF BF BD), one replacement per maximal ill-formed subpart, as the Windows
// UTF-8 decoder does. Well-formed input comes back unchanged.
std::string SanitizeUtf8(const std::string& bytes);

// Text up to (not including) its first zero byte.
std::string CutAtZero(const std::string& text);

}  // namespace kv
