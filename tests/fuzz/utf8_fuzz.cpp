// UTF-8 sanitising: the result is always valid, sanitising it again changes
// nothing, valid text passes unchanged, and cutting at the first zero keeps
// exactly the bytes before it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/utf8.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string clean = kv::SanitizeUtf8(input);
  KV_CHECK(kvfuzz::IsValidUtf8(clean));
  KV_CHECK(kv::SanitizeUtf8(clean) == clean);
  if (kvfuzz::IsValidUtf8(input)) KV_CHECK(clean == input);
  // Every ill-formed byte becomes at most one U+FFFD (3 bytes).
  KV_CHECK(clean.size() <= 3 * input.size());

  const std::string cut = kv::CutAtZero(input);
  KV_CHECK(cut == input.substr(0, input.find('\0')));
  return 0;
}
