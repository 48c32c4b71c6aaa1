// Splitting of upload addresses into the parts the HTTP client connects with.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

// How the client talks to the server named in a URL.
enum SchemeKind : int32_t { kSchemeFtp = 0, kSchemeHttp = 1, kSchemeHttps = 2 };

// Each component must fit a buffer of 1024 bytes with its terminating zero.
constexpr size_t kMaxUrlComponent = 1023;

struct UrlParts {
  std::string scheme;  // "http" when the URL names none
  std::string user;    // empty when the URL has no "user:password@"
  std::string password;
  std::string host;
  int32_t port = 0;  // given, or the scheme's default (443, 21, else 80)
  std::string path;  // object path with query and fragment; "/" at least
};

// Splits `url`. The scheme is the text before
// the first ':' when a '/' follows it (parsing goes on past "://"), else
// "http". The authority runs from there to the first '/', '?' or '#'; the
// last '@' inside it ends the user information ("user:password@"), and an
// '@' in the path, query or fragment is part of them. The path keeps query
// and fragment, with a "/" put before a query or fragment that follows the
// host directly. No percent-decoding takes place.
// Returns false, and leaves *parts unspecified, for a URL that cannot be
// connected to: an empty host, a component longer than kMaxUrlComponent, or
// a port above 65535.
bool ParseUrl(const std::string& url, UrlParts* parts);

// By prefix, case-sensitively: "https..." https, "http..." http, "ftp..."
// ftp, anything else http.
SchemeKind ClassifyScheme(const std::string& scheme);

// The object path as it goes into the request line: bytes outside printable
// ASCII (controls, space, DEL and every byte of a non-ASCII character) as
// %XX with upper-case hex, as browsers send them; everything else, "%"
// included, unchanged. Raw, such bytes would pass through the ANSI code
// page of the HTTP layer (which cannot hold every UTF-8 sequence) or cut
// the request line.
std::string RequestTarget(const std::string& path);

}  // namespace kv
