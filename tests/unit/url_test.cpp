#include <gtest/gtest.h>

#include "core/url.h"

namespace {

TEST(Url, SplitsTheParts) {
  struct {
    const char* url;
    const char *scheme, *user, *password, *host;
    int32_t port;
    const char* path;
  } cases[] = {
      {"http://h/x", "http", "", "", "h", 80, "/x"},
      {"https://h/x?a=1#f", "https", "", "", "h", 443, "/x?a=1#f"},
      {"ftp://h/x", "ftp", "", "", "h", 21, "/x"},
      {"http://h:8080/x", "http", "", "", "h", 8080, "/x"},
      {"https://h:80/", "https", "", "", "h", 80, "/"},
      // No ':' followed by '/': http from the start; host and port up to '/'.
      {"h:8080/x/y", "http", "", "", "h", 8080, "/x/y"},
      {"h/x", "http", "", "", "h", 80, "/x"},
      {"127.0.0.1:5000", "http", "", "", "127.0.0.1", 5000, "/"},
      // No '/' after the host: the object path is "/".
      {"http://h", "http", "", "", "h", 80, "/"},
      // A query or fragment ends the host; the path gets its root.
      {"http://h?q=1", "http", "", "", "h", 80, "/?q=1"},
      {"http://h:81#f", "http", "", "", "h", 81, "/#f"},
      // Upper-case schemes are other schemes: default port 80.
      {"HTTPS://h/x", "HTTPS", "", "", "h", 80, "/x"},
      {"gopher://h/x", "gopher", "", "", "h", 80, "/x"},
      // User information.
      {"http://u:p@h/x", "http", "u", "p", "h", 80, "/x"},
      {"http://u:@h:81/x", "http", "u", "", "h", 81, "/x"},
      {"http://u@h/x", "http", "", "", "h", 80, "/x"},
      {"http://u:p:q@h/x", "http", "u", "p:q", "h", 80, "/x"},
      // Only an at-sign in the authority ends user information: one in the
      // path, query or fragment is data and never names the server.
      {"http://h/a@b/c", "http", "", "", "h", 80, "/a@b/c"},
      {"http://h:1/a@b:2/c", "http", "", "", "h", 1, "/a@b:2/c"},
      {"https://api.example.com/up?mail=a@corp.com", "https", "", "", "api.example.com", 443,
       "/up?mail=a@corp.com"},
      {"http://h?to=a@b", "http", "", "", "h", 80, "/?to=a@b"},
      {"http://h#a@b", "http", "", "", "h", 80, "/#a@b"},
      {"http://u:p@ss@h/x", "http", "u", "p@ss", "h", 80, "/x"},
      // Port: leading digits only; none gives 0 (the client then takes the
      // scheme's default).
      {"http://h:/x", "http", "", "", "h", 0, "/x"},
      {"http://h:12ab/x", "http", "", "", "h", 12, "/x"},
      {"http://h:65535/x", "http", "", "", "h", 65535, "/x"},
      {"http://h:00080/x", "http", "", "", "h", 80, "/x"},
      // Nothing is decoded.
      {"http://h/%41%20b c", "http", "", "", "h", 80, "/%41%20b c"},
      {"http://h/\xc3\xa9", "http", "", "", "h", 80, "/\xc3\xa9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    kv::UrlParts p;
    ASSERT_TRUE(kv::ParseUrl(c.url, &p));
    EXPECT_EQ(p.scheme, c.scheme);
    EXPECT_EQ(p.user, c.user);
    EXPECT_EQ(p.password, c.password);
    EXPECT_EQ(p.host, c.host);
    EXPECT_EQ(p.port, c.port);
    EXPECT_EQ(p.path, c.path);
  }
}

TEST(Url, RefusesWhatCannotBeConnectedTo) {
  const std::string long1024(1024, 'a');
  const std::string long1023(1023, 'a');
  struct {
    std::string url;
    bool ok;
  } cases[] = {
      {"", false},
      {"http://", false},
      {"http:/", false},
      {"http:///x", false},
      {"http://u:p@/x", false},
      {"http://h:65536/x", false},
      {"http://h:99999999999999999999/x", false},
      {"http://" + long1023 + "/", true},
      {"http://" + long1024 + "/", false},
      {"http://h/" + std::string(1022, 'p'), true},
      {"http://h/" + std::string(1023, 'p'), false},
      {"http://" + long1024 + ":p@h/", false},
      {"http://u:" + long1024 + "@h/", false},
      {long1024 + "://h/", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url.substr(0, 40));
    kv::UrlParts p;
    EXPECT_EQ(kv::ParseUrl(c.url, &p), c.ok);
  }
}

TEST(Url, SchemeClassificationIsByCaseSensitivePrefix) {
  struct {
    const char* scheme;
    kv::SchemeKind kind;
  } cases[] = {
      {"https", kv::kSchemeHttps}, {"httpsx", kv::kSchemeHttps}, {"http", kv::kSchemeHttp},
      {"httpx", kv::kSchemeHttp},  {"ftp", kv::kSchemeFtp},      {"ftps", kv::kSchemeFtp},
      {"HTTPS", kv::kSchemeHttp},  {"FTP", kv::kSchemeHttp},     {"", kv::kSchemeHttp},
      {"file", kv::kSchemeHttp},
  };
  for (const auto& c : cases) EXPECT_EQ(kv::ClassifyScheme(c.scheme), c.kind) << c.scheme;
}

TEST(Url, RequestTargetEncodesWhatTheRequestLineCannotCarry) {
  EXPECT_EQ(kv::RequestTarget("/up/load.php?x=1&y=%41#f"), "/up/load.php?x=1&y=%41#f");
  EXPECT_EQ(kv::RequestTarget("/\xe4\xb8\x8a\xe4\xbc\xa0?n=caf\xc3\xa9"),
            "/%E4%B8%8A%E4%BC%A0?n=caf%C3%A9");
  EXPECT_EQ(kv::RequestTarget(std::string("/a b\r\nX: 1\t\x7f\0", 13)),
            "/a%20b%0D%0AX:%201%09%7F%00");
}

}  // namespace
