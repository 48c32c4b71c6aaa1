#include <gtest/gtest.h>

#include "core/utf8.h"

namespace {

TEST(Utf8, SanitizeKeepsValidAndReplacesInvalid) {
  const std::string R = "\xEF\xBF\xBD";
  struct {
    std::string in, out;
  } cases[] = {
      {"plain", "plain"},
      {"截图", "截图"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"a\xFF"
       "b",
       "a" + R + "b"},
      {"\xC3", R},
      {"\xE6\x88", R},
      {"\xE6\x88"
       "x",
       R + "x"},
      {"\xC0\xAF", R + R},
      {"\xED\xA0\x80", R + R + R},
      {"\xF5\x80", R + R},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(kv::SanitizeUtf8(c.in), c.out);
}

TEST(Utf8, CutAtZero) {
  EXPECT_EQ(kv::CutAtZero(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(kv::CutAtZero("abc"), "abc");
}

}  // namespace
