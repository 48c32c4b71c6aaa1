// Base64 from the browser ("WriteCapture"): any text either decodes to the
// bytes whose encoding it is (line breaks aside) or is refused with the
// output untouched; the size bound is never exceeded.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/base64.h"
#include "fuzz_check.h"

namespace {

std::string WithoutLineBreaks(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r' && c != '\n') out.push_back(c);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string bytes = "untouched";
  if (!kv::Base64Decode(text, &bytes)) {
    KV_CHECK(bytes == "untouched");
    return 0;
  }
  KV_CHECK(bytes.size() <= kv::Base64DecodedSizeBound(text));
  // Only the encoder's own text is taken: the decoding is the one text
  // that encodes to it.
  KV_CHECK(WithoutLineBreaks(kv::Base64Encode(bytes)) == WithoutLineBreaks(text));
  return 0;
}
