#include "core/event.h"

#include <cstring>

namespace kv {

std::string JsonQuote(const std::string& value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size() + 2);
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
  return out;
}

namespace {
// Bytes that JsonQuote writes for `c`.
size_t EscapedLength(unsigned char c) {
  switch (c) {
    case '"': case '\\': case '\b': case '\t': case '\n': case '\f': case '\r': return 2;
    default: return c < 0x20 ? 6 : 1;
  }
}

std::string Build(const std::string& name, const std::string& arg1,
                  const std::string* arg2) {
  std::string out = "{\"EventName\":" + JsonQuote(name);
  if (!arg1.empty()) out += ",\"arg1\":" + JsonQuote(arg1);
  if (arg2) out += ",\"arg2\":" + JsonQuote(*arg2);
  out += "}\n";
  return out;
}
}  // namespace

std::string EventText(const std::string& name, const std::string& arg1,
                      const std::string& arg2) {
  return Build(name, arg1, arg2.empty() ? nullptr : &arg2);
}

std::string EventTextLimited(const std::string& name, const std::string& arg1,
                             const std::string& arg2, size_t limit) {
  std::string text = EventText(name, arg1, arg2);
  if (text.size() <= limit) return text;
  if (!arg2.empty()) {
    const std::string empty;
    text = Build(name, arg1, &empty);
    if (text.size() <= limit) return text;
  }
  if (arg1.empty()) return text;  // only an absurd event name gets here

  const std::string mark = kTruncatedMark;
  const size_t fixed = Build(name, "", &mark).size() + std::strlen(",\"arg1\":\"\"");
  const size_t room = fixed < limit ? limit - fixed : 0;
  size_t used = 0, keep = 0;
  for (size_t i = 0; i < arg1.size() && used <= room; ++i) {
    unsigned char c = static_cast<unsigned char>(arg1[i]);
    if ((c & 0xC0) != 0x80) keep = i;  // a character starts here
    used += EscapedLength(c);
  }
  if (used <= room) keep = arg1.size();
  return Build(name, arg1.substr(0, keep), &mark);
}

}  // namespace kv
