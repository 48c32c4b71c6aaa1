// The capture file name rules and the Save As proposals.
#include <gtest/gtest.h>

#include <string>

#include "core/file_name.h"

namespace kv {
namespace {

// Lead bytes of the Shift-JIS / GBK family as far as the cases below need.
bool DoubleByteLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

struct NameCase {
  const char* name;
  const char* expected;  // "" = refused
};

TEST(CaptureFileNameTest, CompletesAndRefusesAsTheFolderRuleSays) {
  const NameCase cases[] = {
      {"VovoDodere.png", "VovoDodere.png"},
      {"shot", "shot.png"},
      {"a.b", "a.b"},      // a dot anywhere keeps the name
      {"shot.", "shot."},  // ending in a dot keeps its form
      {".hidden", ".hidden"},
      {"..png", "..png"},  // not a ".." component: a file name
      {"a..b.png", "a..b.png"},
      {"CONSOLE.png", "CONSOLE.png"},
      {"COM10.png", "COM10.png"},
      {"LPT0", "LPT0.png"},
      {"", ""},
      {".", ""},
      {"..", ""},
      {"...", ""},
      {" ", ""},
      {". .", ""},
      {"..\\evil.png", ""},
      {"../evil.png", ""},
      {"sub\\x.png", ""},
      {"sub/x", ""},
      {"\\\\server\\share\\x.png", ""},
      {"C:evil.png", ""},
      {"C:\\evil.png", ""},
      {"a.png:stream", ""},
      {"CON", ""},
      {"con.png", ""},
      {"NUL .txt", ""},
      {"Aux", ""},
      {"prn.jpg", ""},
      {"COM1.png", ""},
      {"lpt9", ""},
      {"CONIN$", ""},
      {"conout$.bmp", ""},
      {"COM\xB9.png", ""},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(CaptureFileName(c.name), c.expected) << '"' << c.name << '"';
  }
}

TEST(CaptureFileNameTest, EmbeddedZeroIsRefused) {
  EXPECT_EQ(CaptureFileName(std::string("a\0..\\x.png", 10)), "");
}

TEST(CaptureFileNameTest, TrailBytesAreNotSeparatorsOrDots) {
  // 0x95 0x5C is one character in Shift-JIS; 0x81 0x2E is not real text,
  // but shows that a dot inside a character does not count as a dot.
  const std::string kanji = "\x95\x5C";
  EXPECT_EQ(CaptureFileName(kanji + ".png", DoubleByteLead), kanji + ".png");
  EXPECT_EQ(CaptureFileName(kanji, DoubleByteLead), kanji + ".png");
  EXPECT_EQ(CaptureFileName("\x81.", DoubleByteLead), "\x81..png");
  // Without the code page the same bytes hold a backslash.
  EXPECT_EQ(CaptureFileName(kanji + ".png"), "");
  // A real separator after a double-byte character is still one.
  EXPECT_EQ(CaptureFileName(kanji + "\\x.png", DoubleByteLead), "");
  // A lone lead byte at the end does not swallow anything.
  EXPECT_EQ(CaptureFileName("a\\\x95", DoubleByteLead), "");
}

TEST(CaptureFilePathTest, PathMustFitTheBuffers) {
  const std::string folder = "C:\\Temp\\KvCapture\\";  // 18 characters
  EXPECT_EQ(CaptureFilePath(folder, "shot"), folder + "shot.png");
  EXPECT_EQ(CaptureFilePath(folder, ".."), "");
  EXPECT_EQ(CaptureFilePath("", "shot.png"), "");
  // 259 characters fit a 260-byte buffer with its zero; 260 do not.
  std::string fits(kPathBufferSize - 1 - folder.size() - 4, 'x');
  EXPECT_EQ(CaptureFilePath(folder, fits + ".png").size(), kPathBufferSize - 1);
  EXPECT_EQ(CaptureFilePath(folder, fits + "x.png"), "");
  // The completion counts: a name that fits only without ".png" is refused.
  std::string bare(kPathBufferSize - 1 - folder.size(), 'y');
  EXPECT_EQ(CaptureFilePath(folder, bare), "");
  EXPECT_EQ(CaptureFilePath(folder, bare.substr(4)).size(), kPathBufferSize - 1);
}

TEST(SaveAsFilterTest, EightZeroTerminatedStringsAndAClosingZero) {
  const std::string& f = SaveAsFilter();
  const std::string expected[] = {"PNG(*.png)", "*.png", "JPEG(*.jpg,*.jpeg)", "*.jpg;*.jpeg",
                                  "BMP(*.bmp)", "*.bmp", "GIF(*.gif)",         "*.gif"};
  size_t pos = 0;
  for (const std::string& s : expected) {
    ASSERT_LT(pos, f.size());
    std::string got(f.c_str() + pos);
    EXPECT_EQ(got, s);
    pos += got.size() + 1;
  }
  ASSERT_EQ(pos + 1, f.size());
  EXPECT_EQ(f[pos], '\0');
}

TEST(SaveAsFilterTest, InitialIndexFollowsTheLastFourCharacters) {
  const struct {
    const char* name;
    unsigned index;
  } cases[] = {
      {"VovoDodere.png", 1}, {"shot.JPG", 2}, {"x.Bmp", 3},     {"picture.GIF", 4},
      {"a.jpeg", 0},         {".png", 0},     {"x.png.txt", 0}, {"", 0},
      {"shot", 0},           {"xpng", 0},     {"a.tif", 0},     {"ab.gif ", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(SaveAsFilterIndex(c.name), c.index) << c.name;
}

TEST(CutToFitTest, NeverSplitsADoubleByteCharacter) {
  EXPECT_EQ(CutToFit("abcdef", 4), "abcd");
  EXPECT_EQ(CutToFit("abc", 4), "abc");
  EXPECT_EQ(CutToFit("a\x95\x5C", 2, DoubleByteLead), "a");
  EXPECT_EQ(CutToFit("a\x95\x5C"
                     "b",
                     3, DoubleByteLead),
            "a\x95\x5C");
  EXPECT_EQ(CutToFit("a\x95\x5C", 2), "a\x95");
}

}  // namespace
}  // namespace kv
