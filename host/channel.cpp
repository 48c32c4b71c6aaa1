// The native-messaging channel on standard input and output.
#include <fcntl.h>
#include <io.h>
#include <cstdio>

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

void WriteEvent(const std::string& eventName, const std::string& arg1, const std::string& arg2) {
  // Each value goes to UTF-8 before it is escaped, so that a trail byte of a
  // double-byte code page is never mistaken for a backslash or a quote.
  std::string text = EventTextLimited(AnsiToUtf8(eventName), AnsiToUtf8(arg1),
                                      AnsiToUtf8(arg2), kMaxEventBytes);
  std::string frame = FrameMessage(text);
  _setmode(_fileno(stdout), _O_BINARY);
  std::clearerr(stdout);
  std::fwrite(frame.data(), 1, frame.size(), stdout);
  std::fflush(stdout);
}

}  // namespace kv
