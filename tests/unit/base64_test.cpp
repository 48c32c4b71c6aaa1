#include <gtest/gtest.h>

#include <random>

#include "core/base64.h"

namespace {

// Reference decoder for the round trip: skips CR LF, checks the alphabet.
std::string Decode(const std::string& text) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '\r' || c == '\n' || c == '=') continue;
    size_t v = kAlphabet.find(c);
    EXPECT_NE(v, std::string::npos);
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  return out;
}

TEST(Base64, KnownTexts) {
  EXPECT_EQ(kv::Base64Encode(std::string()), "");
  EXPECT_EQ(kv::Base64Encode("abc"), "YWJj");
  EXPECT_EQ(kv::Base64Encode("a"), "YQ==");
  EXPECT_EQ(kv::Base64Encode("ab"), "YWI=");
  EXPECT_EQ(kv::Base64Encode(std::string("\xFB\xFF", 2)), "+/8=");

  std::string line57(57, 'x');
  std::string enc57 = kv::Base64Encode(line57);
  ASSERT_EQ(enc57.size(), 78u);
  EXPECT_EQ(enc57.substr(76), "\r\n");

  std::string enc58 = kv::Base64Encode(std::string(58, 'x'));
  ASSERT_EQ(enc58.size(), 82u);
  EXPECT_EQ(enc58.substr(76, 2), "\r\n");
  EXPECT_EQ(enc58.substr(80), "==");

  // 114 bytes: two full lines, each followed by CR LF.
  std::string enc114 = kv::Base64Encode(std::string(114, 'x'));
  EXPECT_EQ(enc114.size(), 156u);
  EXPECT_EQ(enc114.substr(154), "\r\n");
}

TEST(Base64, RoundTripOverRandomSizes) {
  std::mt19937 rng(12345);
  for (int i = 0; i < 300; ++i) {
    size_t size = rng() % 2000;
    std::string data(size, '\0');
    for (auto& c : data) c = static_cast<char>(rng() & 0xFF);
    std::string text = kv::Base64Encode(data);
    ASSERT_EQ(text.size(), kv::Base64EncodedSize(size));
    ASSERT_EQ(Decode(text), data) << size;
    // Every line but the last holds exactly 76 characters.
    size_t pos = 0, next;
    while ((next = text.find("\r\n", pos)) != std::string::npos) {
      ASSERT_EQ(next - pos, 76u);
      pos = next + 2;
    }
    ASSERT_LE(text.size() - pos, 76u);
  }
}

TEST(Base64, DecodeReadsTheEncodersTextWithAndWithoutLineBreaks) {
  std::mt19937 random(27);
  for (size_t size : {0, 1, 2, 3, 56, 57, 58, 1000}) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    const std::string text = kv::Base64Encode(bytes);
    std::string back = "unchanged";
    ASSERT_TRUE(kv::Base64Decode(text, &back)) << size;
    EXPECT_EQ(back, bytes);
    std::string joined;
    for (char c : text)
      if (c != '\r' && c != '\n') joined.push_back(c);
    ASSERT_TRUE(kv::Base64Decode(joined, &back));
    EXPECT_EQ(back, bytes);
    EXPECT_GE(kv::Base64DecodedSizeBound(text), size);
    EXPECT_LE(kv::Base64DecodedSizeBound(text), size + 2);
  }
}

TEST(Base64, DecodeRefusesWhatTheEncoderNeverWrites) {
  const char* refused[] = {
      "YWJ",       // a group cut short
      "Y===",      // padding after one character
      "YQ=",       // padding cut short
      "YQ==YWJj",  // text after the padding
      "YQ=a",      // a character between the pad characters
      "YR==",      // bits set beside the padding
      "YWK=",
      "YW Jj",  // a space
      "YW-j",   // another alphabet
      "YWJj====",
  };
  for (const char* text : refused) {
    std::string out = "unchanged";
    EXPECT_FALSE(kv::Base64Decode(text, &out)) << text;
    EXPECT_EQ(out, "unchanged") << text;
  }
  std::string out;
  EXPECT_TRUE(kv::Base64Decode(std::string("YW\r\nJj"), &out));
  EXPECT_EQ(out, "abc");
}

}  // namespace
