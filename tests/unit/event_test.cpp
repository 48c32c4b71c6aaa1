#include <gtest/gtest.h>

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

  // A long arg1 is not shortened by the event writer itself.
  std::string longArg1(limit + 10, 'C');
  EXPECT_GT(kv::EventTextLimited("E", longArg1, "", limit).size(), limit);
}

}  // namespace
