#include <gtest/gtest.h>

#include "core/request.h"

namespace {

kv::RequestFields Parse(const std::string& text,
                        kv::ParseOutcome expected = kv::ParseOutcome::kParsed) {
  kv::RequestFields f;
  EXPECT_EQ(kv::ParseRequestText(text, &f), expected) << text;
  return f;
}

TEST(Request, DefaultsAndPresence) {
  auto f = Parse(R"({"Command":"StartCapture"})");
  EXPECT_EQ(f.command, "StartCapture");
  EXPECT_EQ(f.fileName, "VovoDodere.png");
  EXPECT_EQ(f.fileField, "UploadFile");
  EXPECT_FALSE(f.autoMinimize);
  EXPECT_FALSE(f.hasWinName);

  EXPECT_EQ(Parse(R"({"FileName":null})").fileName, "VovoDodere.png");
  EXPECT_EQ(Parse(R"({"FileName":""})").fileName, "");
  EXPECT_EQ(Parse(R"({"FileName":"a.png","FileName":"b.png"})").fileName, "b.png");
  EXPECT_EQ(Parse(R"({"filename":"x.png"})").fileName, "VovoDodere.png");
  EXPECT_EQ(Parse("null").command, "");
  EXPECT_EQ(Parse("/* note */ {\"Command\":\"Upload\" // trailing\n}").command, "Upload");
}

TEST(Request, TextConversions) {
  struct {
    const char* json;
    const char* text;
  } cases[] = {
      {R"({"TipInfo":"hi"})", "hi"},
      {R"({"TipInfo":true})", "true"},
      {R"({"TipInfo":false})", "false"},
      {R"({"TipInfo":-42})", "-42"},
      {R"({"TipInfo":18446744073709551615})", "18446744073709551615"},
      {R"({"TipInfo":3.0})", "3"},
      {R"({"TipInfo":0.1})", "0.10000000000000001"},
      {R"({"TipInfo":"a\u0000b"})", "a"},
      {R"({"TipInfo":"\u622a\u56fe"})", "截图"},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.json).tipInfo, c.text) << c.json;
}

TEST(Request, BooleanAndIntegerConversions) {
  EXPECT_FALSE(Parse(R"({"AutoMinimize":0.0})").autoMinimize);
  EXPECT_TRUE(Parse(R"({"AutoMinimize":2})").autoMinimize);
  EXPECT_TRUE(Parse(R"({"AutoMinimize":true})").autoMinimize);
  EXPECT_EQ(Parse(R"({"CaptureLeft":12.9})").captureLeft, 12);
  EXPECT_EQ(Parse(R"({"CaptureLeft":-12.9})").captureLeft, -12);
  EXPECT_EQ(Parse(R"({"CaptureTop":true})").captureTop, 1);
  EXPECT_EQ(Parse(R"({"CaptureWidth":2147483647})").captureWidth, 2147483647);
  EXPECT_EQ(Parse(R"({"CaptureHeight":-2147483648})").captureHeight, INT32_MIN);
  EXPECT_EQ(Parse(R"({"CaptureWinIndex":"3"})").captureWinIndex, 0);
  EXPECT_EQ(Parse(R"({"CaptureWinIndex":2.5})").captureWinIndex, 0);
  EXPECT_EQ(Parse(R"({"CaptureWinIndex":3.0})").captureWinIndex, 3);
  EXPECT_EQ(Parse(R"({"CaptureWinIndex":true})").captureWinIndex, 0);
  EXPECT_EQ(Parse(R"({"CaptureWinIndex":4294967296})").captureWinIndex, 0);
  EXPECT_EQ(Parse(R"({"Command":"ReadCapture"})").offset, 0u);
  EXPECT_EQ(Parse(R"({"Offset":4294967295})").offset, 4294967295u);
  EXPECT_EQ(Parse(R"({"Offset":737280.9})").offset, 737280u);
  EXPECT_EQ(Parse(R"({"Data":"YWJj\r\n","Last":true})").data, "YWJj\r\n");
  EXPECT_TRUE(Parse(R"({"Last":1})").last);
  EXPECT_FALSE(Parse(R"({"Command":"WriteCapture"})").last);
}

TEST(Request, RefusedValuesLeaveEveryFieldUntouched) {
  const char* refused[] = {
      "[1,2]",
      "\"text\"",
      "42",
      R"({"Command":"CaptureScreen","TipInfo":[1]})",
      R"({"Command":"CaptureScreen","FileName":{"a":1}})",
      R"({"Command":"CaptureScreen","AutoMinimize":"yes"})",
      R"({"Command":"CaptureScreen","AutoMinimize":[]})",
      R"({"Command":"CaptureScreen","CaptureLeft":"10"})",
      R"({"Command":"CaptureScreen","CaptureLeft":2147483648})",
      R"({"Command":"CaptureScreen","CaptureTop":-2147483649})",
      R"({"Command":"CaptureScreen","CaptureWidth":1e300})",
      R"({"Command":"ReadCapture","Offset":-1})",
      R"({"Command":"ReadCapture","Offset":4294967296})",
      R"({"Command":"ReadCapture","Offset":"0"})",
      R"({"Command":"WriteCapture","Data":1234})",
      R"({"Command":"WriteCapture","Last":"yes"})",
  };
  for (const char* text : refused) {
    auto f = Parse(text, kv::ParseOutcome::kRejected);
    EXPECT_EQ(f.command, "") << text;
  }
  const char* notJson[] = {"", "{", "{\"Command\":}", "garbage"};
  for (const char* text : notJson) EXPECT_EQ(Parse(text, kv::ParseOutcome::kNotJson).command, "");
}

TEST(Request, InvalidUtf8IsReplacedNotFatal) {
  auto f = Parse(std::string("{\"TipInfo\":\"a\xFF\xC3(b\",\"Command\":\"x\"}"));
  EXPECT_EQ(f.tipInfo, "a\xEF\xBF\xBD\xEF\xBF\xBD(b");
  EXPECT_EQ(f.command, "x");
}

TEST(Request, ConverterAppliesToStringValuesOnly) {
  kv::RequestFields f;
  auto upper = [](const std::string& s) {
    std::string r = s;
    for (char& c : r) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return r;
  };
  ASSERT_EQ(kv::ParseRequestText(R"({"Command":"abc","TipInfo":true})", &f, upper),
            kv::ParseOutcome::kParsed);
  EXPECT_EQ(f.command, "ABC");
  EXPECT_EQ(f.tipInfo, "true");
}

TEST(Request, WinName) {
  auto f = Parse(R"({"WinName":""})");
  EXPECT_TRUE(f.hasWinName);
  EXPECT_EQ(f.winName, "");
  EXPECT_FALSE(Parse(R"({"WinName":null})").hasWinName);
}

TEST(Request, ResolveUploadUrl) {
  struct {
    const char *post, *page, *result;
  } cases[] = {
      {"http://h/u.php", "http://p/x", "http://h/u.php"},
      {"HTTPS://h/u.php", "", "HTTPS://h/u.php"},
      {"ftp://h/u", "http://p/", "ftp://h/u"},
      {"", "http://p/dir/page.html", "http://p/dir/page.html"},
      {"", "", ""},
      {"upload.php", "http://p/dir/page.html", "http://p/dir/upload.php"},
      {"/upload.php", "http://p/dir/page.html", "http://p/dir//upload.php"},
      {"upload.php", "", "/upload.php"},
      {"u.php", "http://p/dir/page?a=b/c", "http://p/dir/page?a=b/u.php"},
      {"httpx://h", "http://p/d/q", "http://p/d/httpx://h"},
      {"http//h", "nopath", "/http//h"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(kv::ResolveUploadUrl(c.post, c.page), c.result) << c.post << " | " << c.page;
  EXPECT_EQ(Parse(R"({"PostUrl":"up.php","PageUrl":"http://h/a/b.html"})").uploadUrl,
            "http://h/a/up.php");
}

}  // namespace
