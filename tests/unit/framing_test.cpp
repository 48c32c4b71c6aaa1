#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/framing.h"

namespace {

// A reader over a byte string that hands out at most `step` bytes a call.
kv::ReadFn Reader(const std::string& bytes, size_t step = 1 << 20) {
  auto pos = std::make_shared<size_t>(0);
  return [bytes, pos, step](char* buf, size_t size) {
    size_t n = std::min({size, step, bytes.size() - *pos});
    std::memcpy(buf, bytes.data() + *pos, n);
    *pos += n;
    return n;
  };
}

std::string Le32(uint32_t n) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
  return s;
}

struct ReadCase {
  const char* name;
  std::string input;
  std::string expected;
  bool unreadable;
};

TEST(Framing, ReadsRequests) {
  const ReadCase cases[] = {
      {"empty input", "", "", false},
      {"length zero", Le32(0) + "ignored", "", false},
      {"short body", Le32(5) + "abc", "abc", false},
      {"exact body", Le32(3) + "abcdef", "abc", false},
      {"embedded zero", Le32(5) + std::string("ab\0cd", 5), "ab", false},
      {"two-byte prefix", std::string("\x02\x00", 2), "", false},
      {"partial prefix fills low bytes", std::string("\x03", 1), "", false},
      {"huge length", Le32(0xFFFFFFFFu) + "abc", "", true},
      {"just over the cap", Le32(kv::kMaxRequestBytes + 1) + "abc", "", true},
  };
  for (const auto& c : cases) {
    bool unreadable = false;
    EXPECT_EQ(kv::ReadFramedRequest(Reader(c.input), &unreadable), c.expected) << c.name;
    EXPECT_EQ(unreadable, c.unreadable) << c.name;
  }
}

TEST(Framing, ReassemblesTrickledInputAndLargeBodies) {
  std::string body(200000, 'x');
  body[199999] = 'y';
  EXPECT_EQ(kv::ReadFramedRequest(Reader(Le32(3) + "abc", 1)), "abc");
  EXPECT_EQ(kv::ReadFramedRequest(Reader(Le32(200000) + body, 777)), body);
}

TEST(Framing, FrameIsLittleEndianLengthThenBody) {
  std::string text(266, 'a');
  std::string frame = kv::FrameMessage(text);
  ASSERT_EQ(frame.size(), 270u);
  EXPECT_EQ(frame.substr(0, 4), std::string("\x0A\x01\x00\x00", 4));
  EXPECT_EQ(frame.substr(4), text);
  EXPECT_EQ(kv::FrameMessage("").size(), 4u);
}

}  // namespace
