#include <gtest/gtest.h>

#include "core/base64.h"
#include "core/event.h"
#include "core/framing.h"

namespace {

TEST(Event, CompactTextWithKeyOrderAndOptionalArguments) {
  EXPECT_EQ(kv::EventText("OnExit", "", ""), "{\"EventName\":\"OnExit\"}\n");
  EXPECT_EQ(kv::EventText("OnExit", "", "").size(), 23u);
  EXPECT_EQ(kv::EventText("OnUploadCompleted", "ok", ""),
            "{\"EventName\":\"OnUploadCompleted\",\"arg1\":\"ok\"}\n");
  EXPECT_EQ(kv::EventText("E", "", "b"), "{\"EventName\":\"E\",\"arg2\":\"b\"}\n");
  EXPECT_EQ(kv::EventText("E", "a", "b"), "{\"EventName\":\"E\",\"arg1\":\"a\",\"arg2\":\"b\"}\n");
  EXPECT_EQ(kv::FrameMessage(kv::EventText("OnExit", "", "")).substr(0, 4),
            std::string("\x17\x00\x00\x00", 4));
}

TEST(Event, Escaping) {
  struct {
    std::string in, out;
  } cases[] = {
      {"a\"b\\c\td", "\"a\\\"b\\\\c\\td\""},
      {"\b\f\n\r", "\"\\b\\f\\n\\r\""},
      {std::string("\x00\x01\x1F", 3), "\"\\u0000\\u0001\\u001F\""},
      {"\x1A", "\"\\u001A\""},
      {"C:/a/b", "\"C:/a/b\""},
      {"截图 é", "\"截图 é\""},
      {"\x7F", "\"\x7F\""},
  };
  for (const auto& c : cases) EXPECT_EQ(kv::JsonQuote(c.in), c.out);
}

TEST(Event, SizeRuleDropsOnlyArg2) {
  const size_t limit = kv::kMaxEventBytes;
  const std::string overhead = kv::EventText("OnCaptureCompleted", "p", "x");
  const size_t base = overhead.size() - 1;  // without the one arg2 character

  std::string exact(limit - base, 'A');
  std::string text = kv::EventTextLimited("OnCaptureCompleted", "p", exact, limit);
  EXPECT_EQ(text.size(), limit);
  EXPECT_NE(text.find(exact), std::string::npos);

  std::string over(limit - base + 1, 'A');
  EXPECT_EQ(kv::EventTextLimited("OnCaptureCompleted", "p", over, limit),
            "{\"EventName\":\"OnCaptureCompleted\",\"arg1\":\"p\",\"arg2\":\"\"}\n");

  std::string huge(2000000, 'B');
  EXPECT_EQ(kv::EventTextLimited("E", "", huge, limit), "{\"EventName\":\"E\",\"arg2\":\"\"}\n");

  // Escapes count towards the size: CR LF in Base64 text doubles in JSON.
  std::string crlf(limit / 2, '\r');
  EXPECT_EQ(kv::EventTextLimited("E", "", crlf, limit), "{\"EventName\":\"E\",\"arg2\":\"\"}\n");
}

}  // namespace

namespace {

// A long arg1 (a server's answer) is cut at a character boundary so that the
// whole message fits, and arg2 says so.
TEST(Event, LongArg1IsCutToFit) {
  const size_t limit = kv::kMaxEventBytes;
  const std::string name = "OnUploadCompleted";
  const std::string prefix = "{\"EventName\":\"OnUploadCompleted\",\"arg1\":\"";
  const std::string suffix = "\",\"arg2\":\"truncated\"}\n";
  const size_t room = limit - prefix.size() - suffix.size();
  const std::string tail(100, 't');

  // Exactly at the limit without a mark: sent whole.
  std::string fits(limit - kv::EventText(name, "x", "").size() + 1, 'a');
  EXPECT_EQ(kv::EventTextLimited(name, fits, "", limit), kv::EventText(name, fits, ""));

  struct {
    const char* what;
    std::string arg1, arg2;
    std::string kept;  // expected arg1 text inside the message
  } cases[] = {
      {"one byte over", fits + "b", "", std::string(room, 'a')},
      {"3 MB of ASCII", std::string(3000000, 'z'), "", std::string(room, 'z')},
      {"with an arg2 too", std::string(3000000, 'z'), "base64", std::string(room, 'z')},
      // A 3-byte character that no longer fits whole is left out whole.
      {"multibyte at the edge", std::string(room - 1, 'a') + "\xe6\x88\xaa" + tail, "",
       std::string(room - 1, 'a')},
      {"multibyte ending at the edge", std::string(room - 3, 'a') + "\xe6\x88\xaa" + tail, "",
       std::string(room - 3, 'a') + "\xe6\x88\xaa"},
      // Escapes count: a quote takes two bytes and is not split from its
      // backslash.
      {"escape at the edge", std::string(room - 1, 'a') + "\"" + tail, "",
       std::string(room - 1, 'a')},
      {"control bytes", std::string(limit, '\x01'), "",
       [&] {
         std::string s;
         for (size_t i = 0; i < room / 6; ++i) s += "\\u0001";
         return s;
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = kv::EventTextLimited(name, c.arg1, c.arg2, limit);
    EXPECT_LE(text.size(), limit);
    ASSERT_GT(text.size(), prefix.size() + suffix.size());
    EXPECT_EQ(text.substr(0, prefix.size()), prefix);
    EXPECT_EQ(text.substr(text.size() - suffix.size()), suffix);
    std::string kept = text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
    EXPECT_TRUE(kept == c.kept) << kept.size() << " bytes kept, expected " << c.kept.size();
  }
}

// What the capture event needs to know before making any Base64 text, and
// the event with the text encoded straight into its frame.
TEST(Event, SizesKnownBeforeTheTextIsMade) {
  const std::string path = "C:\\Temp\\KvCapture\\c.png";
  for (size_t n : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 114u, 1000u, 800000u, 900000u}) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>(i * 37 + (i >> 8));
    const std::string text = kv::Base64Encode(bytes);
    if (n < 900000u) {
      EXPECT_EQ(kv::QuotedBase64Size(n), kv::JsonQuote(text).size()) << n;
    }
    EXPECT_EQ(kv::FramedBase64Event("OnCaptureCompleted", path,
                                    reinterpret_cast<const uint8_t*>(bytes.data()), n,
                                    kv::kMaxEventBytes),
              kv::FramedEvent("OnCaptureCompleted", path, text, false, kv::kMaxEventBytes))
        << n;
  }
  const std::string big = kv::Base64Encode(std::string(900000, 'x'));
  EXPECT_FALSE(
      kv::EventFits("OnCaptureCompleted", path, kv::QuotedBase64Size(900000), kv::kMaxEventBytes));
  // Withheld, the event is the one the size rule makes from the real text.
  EXPECT_EQ(
      kv::FramedEvent("OnCaptureCompleted", path, "", true, kv::kMaxEventBytes),
      kv::FrameMessage(kv::EventTextLimited("OnCaptureCompleted", path, big, kv::kMaxEventBytes)));
  EXPECT_EQ(kv::FramedEvent("OnExit", "", "", false, kv::kMaxEventBytes),
            kv::FrameMessage(kv::EventText("OnExit", "", "")));
}

}  // namespace
