#include "core/url.h"

namespace kv {

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The leading decimal digits at `pos` (none: 0); false above 65535.
bool ReadPort(const std::string& url, size_t pos, int32_t* port) {
  int32_t value = 0;
  for (; pos < url.size() && url[pos] >= '0' && url[pos] <= '9'; ++pos) {
    value = value * 10 + (url[pos] - '0');
    if (value > 65535) return false;
  }
  *port = value;
  return true;
}

int32_t DefaultPort(const std::string& scheme) {
  if (scheme == "https") return 443;
  if (scheme == "ftp") return 21;
  return 80;
}

}  // namespace

bool ParseUrl(const std::string& url, UrlParts* parts) {
  UrlParts p;
  size_t start = 0;
  size_t colon = url.find(':');
  if (colon != std::string::npos && colon + 1 < url.size() && url[colon + 1] == '/') {
    p.scheme = url.substr(0, colon);
    start = colon + 3 < url.size() ? colon + 3 : url.size();
  } else {
    p.scheme = "http";
  }

  // The authority ends at the first '/', '?' or '#'. Only an '@' inside it
  // ends user information (one in the query or path is data); the last one
  // does, as browsers read "u:p@ss@h".
  size_t end = url.find_first_of("/?#", start);
  if (end == std::string::npos) end = url.size();
  size_t at = url.substr(start, end - start).rfind('@');
  if (at != std::string::npos) {
    at += start;
    size_t sep = url.find(':', start);
    if (sep < at) {
      p.user = url.substr(start, sep - start);
      p.password = url.substr(sep + 1, at - sep - 1);
    }
    start = at + 1;
  }

  size_t portSep = url.find(':', start);
  if (portSep < end) {
    p.host = url.substr(start, portSep - start);
    if (!ReadPort(url, portSep + 1, &p.port)) return false;
  } else {
    p.host = url.substr(start, end - start);
    p.port = DefaultPort(p.scheme);
  }
  // A query or fragment straight after the host still needs the root path.
  if (end == url.size()) {
    p.path = "/";
  } else if (url[end] == '/') {
    p.path = url.substr(end);
  } else {
    p.path = "/" + url.substr(end);
  }

  if (p.host.empty()) return false;
  for (const std::string* s : {&p.scheme, &p.user, &p.password, &p.host, &p.path}) {
    if (s->size() > kMaxUrlComponent) return false;
  }
  *parts = std::move(p);
  return true;
}

SchemeKind ClassifyScheme(const std::string& scheme) {
  if (StartsWith(scheme, "https")) return kSchemeHttps;
  if (StartsWith(scheme, "http")) return kSchemeHttp;
  if (StartsWith(scheme, "ftp")) return kSchemeFtp;
  return kSchemeHttp;
}

std::string RequestTarget(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (unsigned char c : path) {
    if (c > 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
  return out;
}

}  // namespace kv
