// The native-messaging channel on standard input and output.
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <io.h>

#include "core/event.h"
#include "core/framing.h"
#include "core/utf8.h"
#include "host/host.h"
#include "winutil/codepage.h"

namespace kv {

std::string ReadRequestText(bool* unreadable) {
  _setmode(_fileno(stdin), _O_BINARY);
  std::string text = ReadFramedRequest(
      [](char* buffer, size_t size) { return std::fread(buffer, 1, size, stdin); }, unreadable);
  return SanitizeUtf8(text);
}

namespace {

bool IsAscii(const std::string& s) {
  for (unsigned char c : s) {
    if (c >= 0x80) return false;
  }
  return true;
}

// `s` as UTF-8: itself when it is ASCII (the same in every code page, as
// the Base64 text of a picture is), else converted into `converted`.
const std::string& AsUtf8(const std::string& s, std::string& converted) {
  if (IsAscii(s)) return s;
  converted = AnsiToUtf8(s);
  return converted;
}

}  // namespace

void WriteEvent(const std::string& eventName, const std::string& arg1, const std::string& arg2,
                bool arg2Withheld) {
  // Each value goes to UTF-8 before it is escaped, so that a trail byte of a
  // double-byte code page is never mistaken for a backslash or a quote.
  std::string name8, arg18, arg28;
  WriteFrame(FramedEvent(AsUtf8(eventName, name8), AsUtf8(arg1, arg18), AsUtf8(arg2, arg28),
                         arg2Withheld, kMaxEventBytes));
}

namespace {
std::atomic<bool> eventWritten{false};
}  // namespace

bool EventWritten() { return eventWritten; }

void WriteFrame(const std::string& frame) {
  ReleaseInstance();
  eventWritten = true;
  _setmode(_fileno(stdout), _O_BINARY);
  std::clearerr(stdout);
  std::fwrite(frame.data(), 1, frame.size(), stdout);
  std::fflush(stdout);
}

}  // namespace kv
