// URL parsing and the upload address: a parsed URL has a host, a path that
// starts with "/", a port in range and no component above the size limit,
// and the host and path are taken from the text; the path's request
// target holds only printable ASCII; the upload address is
// the post URL when it names its scheme, else it is built on the page URL.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/request.h"
#include "core/url.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider fdp(data, size);
  const std::string postUrl = fdp.ConsumeRandomLengthString(2000);
  const std::string pageUrl = fdp.ConsumeRemainingBytesAsString();

  kv::UrlParts parts;
  parts.host = "untouched";
  if (kv::ParseUrl(postUrl, &parts)) {
    KV_CHECK(!parts.host.empty() && !parts.path.empty() && parts.path[0] == '/');
    KV_CHECK(parts.port >= 0 && parts.port <= 65535);
    for (const std::string* s :
         {&parts.scheme, &parts.user, &parts.password, &parts.host, &parts.path}) {
      KV_CHECK(s->size() <= kv::kMaxUrlComponent);
    }
    KV_CHECK(parts.host.find_first_of("/?#@") == std::string::npos);
    // Host and path are taken from the text; the path is the URL's tail
    // (after a "/" put before a query or fragment), or "/" alone.
    KV_CHECK(postUrl.find(parts.host) != std::string::npos);
    const std::string tailText =
        parts.path[1] == '?' || parts.path[1] == '#' ? parts.path.substr(1) : parts.path;
    const bool tail =
        postUrl.size() >= tailText.size() &&
        postUrl.compare(postUrl.size() - tailText.size(), std::string::npos, tailText) == 0;
    KV_CHECK(tail || parts.path == "/");
    // The request target is printable ASCII without spaces, and each byte
    // of the path is itself or its %XX.
    const std::string target = kv::RequestTarget(parts.path);
    size_t at = 0;
    for (unsigned char c : parts.path) {
      if (c > 0x20 && c < 0x7F) {
        KV_CHECK(target[at] == static_cast<char>(c));
        at += 1;
      } else {
        KV_CHECK(target[at] == '%' && std::stoul(target.substr(at + 1, 2), nullptr, 16) == c);
        at += 3;
      }
    }
    KV_CHECK(at == target.size());
    for (unsigned char c : target) KV_CHECK(c > 0x20 && c < 0x7F);
    const kv::SchemeKind kind = kv::ClassifyScheme(parts.scheme);
    KV_CHECK(kind == kv::kSchemeFtp || kind == kv::kSchemeHttp || kind == kv::kSchemeHttps);
  } else {
    KV_CHECK(parts.host == "untouched");  // a refused URL leaves the parts alone
  }

  const std::string url = kv::ResolveUploadUrl(postUrl, pageUrl);
  if (kv::HasUploadScheme(postUrl)) {
    KV_CHECK(url == postUrl);
  } else if (postUrl.empty()) {
    KV_CHECK(url == pageUrl);
  } else {
    // A relative address replaces the page's last path element.
    KV_CHECK(url.size() >= postUrl.size() + 1);
    KV_CHECK(url.compare(url.size() - postUrl.size() - 1, std::string::npos, "/" + postUrl) == 0);
    const std::string base = url.substr(0, url.size() - postUrl.size() - 1);
    KV_CHECK(pageUrl.compare(0, base.size(), base) == 0);
    KV_CHECK(pageUrl.find('/', base.size() + 1) == std::string::npos);
  }
  return 0;
}
