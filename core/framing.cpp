#include "core/framing.h"

#include <new>

#include "core/utf8.h"

namespace kv {

namespace {
// Reads exactly `size` bytes unless the input ends first.
size_t ReadFully(const ReadFn& read, char* buffer, size_t size) {
  size_t got = 0;
  while (got < size) {
    size_t n = read(buffer + got, size - got);
    if (n == 0) break;
    got += n;
  }
  return got;
}
}  // namespace

std::string ReadFramedRequest(const ReadFn& read, bool* unreadable) {
  if (unreadable) *unreadable = false;
  unsigned char prefix[4] = {0, 0, 0, 0};
  ReadFully(read, reinterpret_cast<char*>(prefix), 4);
  uint32_t length = uint32_t(prefix[0]) | uint32_t(prefix[1]) << 8 | uint32_t(prefix[2]) << 16 |
                    uint32_t(prefix[3]) << 24;
  if (length == 0) return std::string();
  if (length > kMaxRequestBytes) {
    if (unreadable) *unreadable = true;
    return std::string();
  }
  std::string body;
  try {
    // Grow in steps so that a length announced by a broken sender costs
    // only the memory of the bytes that really come.
    const size_t kStep = 64 * 1024;
    size_t remaining = length;
    while (remaining > 0) {
      size_t chunk = remaining < kStep ? remaining : kStep;
      size_t old = body.size();
      body.resize(old + chunk);
      size_t got = ReadFully(read, &body[old], chunk);
      body.resize(old + got);
      remaining -= got;
      if (got < chunk) break;
    }
  } catch (const std::bad_alloc&) {
    if (unreadable) *unreadable = true;
    return std::string();
  }
  return CutAtZero(body);
}

std::string FrameMessage(const std::string& body) {
  uint32_t n = static_cast<uint32_t>(body.size());
  std::string out;
  out.reserve(body.size() + 4);
  out.push_back(static_cast<char>(n & 0xFF));
  out.push_back(static_cast<char>((n >> 8) & 0xFF));
  out.push_back(static_cast<char>((n >> 16) & 0xFF));
  out.push_back(static_cast<char>((n >> 24) & 0xFF));
  out += body;
  return out;
}

}  // namespace kv
