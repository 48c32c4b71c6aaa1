// Base64: the text has the announced length, is cut into lines of 76
// characters by CR LF, uses only the alphabet with padding at the end, and
// decodes back to the bytes it was made from; encoded straight into an
// event's frame it gives the event made from the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/base64.h"
#include "core/event.h"
#include "core/framing.h"
#include "fuzz_check.h"

namespace {

int Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Decodes strictly; false on any character outside the alphabet or padding
// anywhere but at the end of the last group.
bool Decode(const std::string& text, std::string* out) {
  if (text.size() % 4 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      char c = text[i + k];
      if (c == '=') {
        if (!last || k < 2) return false;
        ++pad;
        v[k] = 0;
      } else {
        if (pad) return false;
        v[k] = Value(c);
        if (v[k] < 0) return false;
      }
    }
    unsigned n = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
    out->push_back(static_cast<char>(n >> 16));
    if (pad < 2) out->push_back(static_cast<char>((n >> 8) & 0xFF));
    if (pad < 1) out->push_back(static_cast<char>(n & 0xFF));
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = kv::Base64Encode(data, size);
  KV_CHECK(text.size() == kv::Base64EncodedSize(size));
  std::string joined;
  size_t pos = 0;
  for (;;) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) {
      KV_CHECK(text.size() - pos < 76 || (text.size() - pos == 76 && size % 57 != 0));
      joined += text.substr(pos);
      break;
    }
    KV_CHECK(end - pos == 76);
    joined += text.substr(pos, 76);
    pos = end + 2;
  }
  KV_CHECK(joined.size() == (size + 2) / 3 * 4);
  std::string back;
  KV_CHECK(Decode(joined, &back));
  KV_CHECK(back == std::string(reinterpret_cast<const char*>(data), size));
  // A small limit withholds the text, as the size rule does.
  for (size_t limit : {size_t{200}, kv::kMaxEventBytes}) {
    KV_CHECK(kv::FramedBase64Event("OnCaptureData", "0 3 3", data, size, limit) ==
             kv::FramedEvent("OnCaptureData", "0 3 3", text, false, limit));
  }
  return 0;
}
