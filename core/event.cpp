#include "core/event.h"

#include <cstdint>
#include <cstring>

#include "core/base64.h"

namespace kv {

namespace {

// Bytes that JsonQuote writes for `c`.
size_t EscapedLength(unsigned char c) {
  switch (c) {
    case '"':
    case '\\':
    case '\b':
    case '\t':
    case '\n':
    case '\f':
    case '\r': return 2;
    default: return c < 0x20 ? 6 : 1;
  }
}

void AppendQuoted(std::string& out, const std::string& value) {
  static const char kHex[] = "0123456789ABCDEF";
  out.push_back('"');
  for (unsigned char c : value) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 0xF]);
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out.push_back('"');
}

const char kNameKey[] = "{\"EventName\":";
const char kArg1Key[] = ",\"arg1\":";
const char kArg2Key[] = ",\"arg2\":";
const char kEnd[] = "}\n";

// The text's size with arg2 given as the size of its quoted form (0: left out).
size_t TextSize(const std::string& name, const std::string& arg1, size_t quotedArg2) {
  size_t n = std::strlen(kNameKey) + QuotedSize(name) + std::strlen(kEnd);
  if (!arg1.empty()) n += std::strlen(kArg1Key) + QuotedSize(arg1);
  if (quotedArg2) n += std::strlen(kArg2Key) + quotedArg2;
  return n;
}

void Append(std::string& out, const std::string& name, const std::string& arg1,
            const std::string* arg2) {
  out += kNameKey;
  AppendQuoted(out, name);
  if (!arg1.empty()) {
    out += kArg1Key;
    AppendQuoted(out, arg1);
  }
  if (arg2) {
    out += kArg2Key;
    AppendQuoted(out, *arg2);
  }
  out += kEnd;
}

// The event text with the size rule, appended to `out` in one pass.
void AppendLimited(std::string& out, const std::string& name, const std::string& arg1,
                   const std::string& arg2, bool arg2Withheld, size_t limit) {
  const std::string empty;
  const bool hasArg2 = arg2Withheld || !arg2.empty();
  if (!arg2Withheld) {
    const size_t full = TextSize(name, arg1, arg2.empty() ? 0 : QuotedSize(arg2));
    if (full <= limit) {
      out.reserve(out.size() + full);
      return Append(out, name, arg1, arg2.empty() ? nullptr : &arg2);
    }
  }
  if (hasArg2 && TextSize(name, arg1, 2) <= limit) return Append(out, name, arg1, &empty);
  if (arg1.empty()) return Append(out, name, arg1, hasArg2 ? &empty : nullptr);

  // arg1 is cut at a character boundary so that the text fits.
  const std::string mark = kTruncatedMark;
  const size_t fixed = TextSize(name, "", QuotedSize(mark)) + std::strlen(",\"arg1\":\"\"");
  const size_t room = fixed < limit ? limit - fixed : 0;
  size_t used = 0, keep = 0;
  for (size_t i = 0; i < arg1.size() && used <= room; ++i) {
    unsigned char c = static_cast<unsigned char>(arg1[i]);
    if ((c & 0xC0) != 0x80) keep = i;  // a character starts here
    used += EscapedLength(c);
  }
  if (used <= room) keep = arg1.size();
  Append(out, name, arg1.substr(0, keep), &mark);
}

}  // namespace

size_t QuotedSize(const std::string& value) {
  size_t n = 2;
  for (unsigned char c : value) n += EscapedLength(c);
  return n;
}

size_t QuotedBase64Size(size_t fileSize) {
  const size_t text = Base64EncodedSize(fileSize);
  const size_t lineBreaks = (fileSize / 3) / 19;  // one CR LF per 76 characters
  return 2 + text + 2 * lineBreaks;               // each of CR and LF escaped
}

std::string JsonQuote(const std::string& value) {
  std::string out;
  out.reserve(QuotedSize(value));
  AppendQuoted(out, value);
  return out;
}

std::string EventText(const std::string& name, const std::string& arg1, const std::string& arg2) {
  std::string out;
  Append(out, name, arg1, arg2.empty() ? nullptr : &arg2);
  return out;
}

std::string EventTextLimited(const std::string& name, const std::string& arg1,
                             const std::string& arg2, size_t limit) {
  std::string out;
  AppendLimited(out, name, arg1, arg2, false, limit);
  return out;
}

bool EventFits(const std::string& name, const std::string& arg1, size_t quotedArg2, size_t limit) {
  return TextSize(name, arg1, quotedArg2) <= limit;
}

namespace {

// The frame's length prefix over what follows it in `frame`.
void SetFrameLength(std::string& frame) {
  const uint32_t n = static_cast<uint32_t>(frame.size() - 4);
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
}

}  // namespace

std::string FramedEvent(const std::string& name, const std::string& arg1, const std::string& arg2,
                        bool arg2Withheld, size_t limit) {
  std::string out(4, '\0');
  AppendLimited(out, name, arg1, arg2, arg2Withheld, limit);
  SetFrameLength(out);
  return out;
}

std::string FramedBase64Event(const std::string& name, const std::string& arg1, const uint8_t* data,
                              size_t size, size_t limit) {
  if (size == 0) return FramedEvent(name, arg1, std::string(), false, limit);
  const size_t quoted = QuotedBase64Size(size);
  if (!EventFits(name, arg1, quoted, limit)) return FramedEvent(name, arg1, "", true, limit);
  std::string out(4, '\0');
  out.reserve(4 + TextSize(name, arg1, quoted));
  out += kNameKey;
  AppendQuoted(out, name);
  if (!arg1.empty()) {
    out += kArg1Key;
    AppendQuoted(out, arg1);
  }
  out += kArg2Key;
  // The Base64 alphabet needs no escaping; the line breaks are CR LF
  // escaped.
  const size_t start = out.size();
  out.resize(start + quoted);
  out[start] = '"';
  char* end = Base64EncodeTo(&out[start + 1], data, size, "\\r\\n", 4);
  *end = '"';
  out += kEnd;
  SetFrameLength(out);
  return out;
}

}  // namespace kv
