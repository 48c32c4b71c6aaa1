// Native-messaging framing: a 32-bit little-endian length, then the bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kv {

// The browser never sends more than this to a host; a longer announcement is
// taken as a broken frame.
constexpr uint32_t kMaxRequestBytes = 64u * 1024u * 1024u;

// Chrome closes the port on a host message above this size.
constexpr size_t kMaxEventBytes = 1048576;

// Reads up to `size` bytes into `buffer`; returns how many arrived (0 at the
// end of the input or on an error).
using ReadFn = std::function<size_t(char* buffer, size_t size)>;

// Reads one request frame. A short length prefix fills the low-order bytes
// of a zero length; a short body yields the bytes that arrived; the text ends
// at its first zero byte. A length above kMaxRequestBytes, or one whose
// buffer cannot be allocated, sets *unreadable and returns an empty text.
// Memory grows with the bytes that actually arrive, never with the announced
// length alone.
std::string ReadFramedRequest(const ReadFn& read, bool* unreadable = nullptr);

// 4-byte little-endian length followed by `body`.
std::string FrameMessage(const std::string& body);

}  // namespace kv
