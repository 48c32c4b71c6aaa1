// Encoding by extension, the capture folder, the clipboard and Save As.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "core/languages.h"
#include "output/capture_path.h"
#include "output/image_output.h"
#include "output_test_support.h"
#include "winutil/scoped_win.h"

namespace kv {
namespace {

using kvtest::DecodeImageFile;
using kvtest::FileExists;
using kvtest::ReadFileBytes;
using kvtest::ScratchTemp;

bool StartsWith(const std::string& bytes, const std::string& magic) {
  return bytes.compare(0, magic.size(), magic) == 0;
}

TEST(EncodeImageFileTest, FormatFollowsTheExtension) {
  ScratchTemp temp;
  ScopedBitmap bmp(kvtest::MakePatternDib(40, 30, 7));
  const struct {
    const char* name;
    std::string magic;
  } cases[] = {
      {"a.png", "\x89PNG\r\n\x1a\n"},
      {"a.PNG", "\x89PNG"},
      {"a.jpg", "\xFF\xD8\xFF"},
      {"a.JPEG", "\xFF\xD8\xFF"},
      {"a.jfif", "\xFF\xD8\xFF"},
      {"a.bmp", "BM"},
      {"a.dib", "BM"},
      {"a.gif", "GIF8"},
      {"a.tif", ""},  // II* or MM*: checked below
      {"a.b.png", "\x89PNG"},
  };
  for (const auto& c : cases) {
    std::string path = temp.dir() + c.name;
    EXPECT_GE(EncodeImageFile(bmp.get(), path), 0) << c.name;
    std::string bytes = ReadFileBytes(path);
    EXPECT_TRUE(StartsWith(bytes, c.magic)) << c.name;
    if (c.magic == "GIF8") {
      // The platform's GIF decoder is not to be relied on: read the header.
      ASSERT_GE(bytes.size(), 10u);
      EXPECT_EQ(static_cast<unsigned char>(bytes[6]) | static_cast<unsigned char>(bytes[7]) << 8,
                40);
      EXPECT_EQ(static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8,
                30);
    } else {
      kvtest::Decoded d = DecodeImageFile(path);
      EXPECT_TRUE(d.ok && d.width == 40 && d.height == 30) << c.name;
    }
    DeleteFileA(path.c_str());
  }
  ASSERT_GE(EncodeImageFile(bmp.get(), temp.dir() + "b.tif"), 0);
  std::string tif = ReadFileBytes(temp.dir() + "b.tif");
  EXPECT_TRUE(StartsWith(tif, std::string("II*\0", 4)) || StartsWith(tif, std::string("MM\0*", 4)));
}

TEST(EncodeImageFileTest, UnknownExtensionWritesNothing) {
  ScratchTemp temp;
  ScopedBitmap bmp(kvtest::MakePatternDib(8, 8, 1));
  for (const char* name : {"a.b", "shot.", "noextension", "a.png.txt", "a.jp"}) {
    EXPECT_LT(EncodeImageFile(bmp.get(), temp.dir() + name), 0) << name;
  }
  EXPECT_LT(EncodeImageFile(nullptr, temp.dir() + "x.png"), 0);
  EXPECT_LT(EncodeImageFile(bmp.get(), ""), 0);
  EXPECT_TRUE(temp.Files().empty());
}

TEST(EncodeImageFileTest, UnwritablePathFails) {
  ScratchTemp temp;
  ScopedBitmap bmp(kvtest::MakePatternDib(8, 8, 1));
  EXPECT_LT(EncodeImageFile(bmp.get(), temp.dir() + "missing\\folder\\x.png"), 0);
}

// The colour type byte of a PNG's header chunk: 2 is RGB, 6 RGB with alpha.
int PngColorType(const std::string& png) {
  return png.size() > 25 ? static_cast<unsigned char>(png[25]) : -1;
}
int PngBitDepth(const std::string& png) {
  return png.size() > 24 ? static_cast<unsigned char>(png[24]) : -1;
}

TEST(EncodeImageFileTest, TwentyFourBitSectionGivesRgbPngWithTheSamePixels) {
  ScratchTemp temp;
  ScopedBitmap bmp(kvtest::MakePatternDib(61, 17, 29, 24));
  std::string path = temp.dir() + "rgb.png";
  ASSERT_GE(EncodeImageFile(bmp.get(), path), 0);
  std::string png = ReadFileBytes(path);
  EXPECT_EQ(PngBitDepth(png), 8);
  EXPECT_EQ(PngColorType(png), 2);
  kvtest::Decoded d = DecodeImageFile(path);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(kvtest::PatternMismatches(d, 29), 0);
}

TEST(EncodeImageFileTest, ScreenBitmapGivesOpaquePng) {
  // Direct captures hand over a bitmap compatible with the screen.
  ScratchTemp temp;
  ScopedGetDC screen(nullptr);
  ScopedBitmap bmp(CreateCompatibleBitmap(screen.get(), 20, 10));
  {
    ScopedMemDC mem(CreateCompatibleDC(screen.get()));
    ScopedSelect sel(mem.get(), bmp.get());
    ScopedBrush brush(CreateSolidBrush(RGB(10, 200, 30)));
    RECT rc{0, 0, 20, 10};
    FillRect(mem.get(), &rc, brush.get());
  }
  std::string path = temp.dir() + "screen.png";
  ASSERT_GE(EncodeImageFile(bmp.get(), path), 0);
  std::string png = ReadFileBytes(path);
  EXPECT_NE(PngColorType(png), 6);
  kvtest::Decoded d = DecodeImageFile(path);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.at(19, 9), RGB(10, 200, 30));
}

TEST(CaptureFolderTest, NameWithoutDotIsSavedAsPng) {
  ScratchTemp temp;
  ScopedBitmap bmp(kvtest::MakePatternDib(12, 9, 3));
  EXPECT_EQ(CaptureFolder(), temp.dir() + "KvCapture\\");
  EXPECT_EQ(TemporaryCapturePath("shot"), temp.dir() + "KvCapture\\shot.png");
  EXPECT_EQ(TemporaryCapturePath(""), "");
  // The folder does not exist yet: the save creates it.
  ASSERT_TRUE(SaveToCaptureFolder(bmp.get(), "shot"));
  EXPECT_TRUE(StartsWith(ReadFileBytes(TemporaryCapturePath("shot")), "\x89PNG"));
  EXPECT_TRUE(SaveToCaptureFolder(bmp.get(), "shot.jpg"));
  EXPECT_EQ(temp.Files(), (std::vector<std::string>{"KvCapture\\shot.jpg", "KvCapture\\shot.png"}));
}

TEST(CaptureFolderTest, RefusedNamesTouchNothing) {
  ScratchTemp temp;
  ScopedBitmap bmp(kvtest::MakePatternDib(12, 9, 3));
  const std::string longName(300, 'x');
  for (const std::string& name :
       {std::string(), std::string(".."), std::string("..\\up.png"), std::string("../up.png"),
        std::string("sub\\x.png"), temp.dir() + "abs.png", std::string("C:x.png"),
        std::string("x.png:alt"), std::string("nul"), std::string("CON.png"), longName + ".png",
        std::string(MAX_PATH - temp.dir().size() - 10 - 4, 'y')}) {
    EXPECT_EQ(TemporaryCapturePath(name), "") << name;
    EXPECT_FALSE(SaveToCaptureFolder(bmp.get(), name)) << name;
  }
  EXPECT_TRUE(temp.Files().empty());
  EXPECT_FALSE(FileExists(temp.dir() + "up.png"));
}

TEST(CaptureFolderTest, FailedSaveLeavesNoEarlierFileBehind) {
  // The completed event reports whatever lies at the path: a failed save
  // must not let an earlier capture pass for this one.
  ScratchTemp temp;
  ScopedBitmap bmp(kvtest::MakePatternDib(12, 9, 3));
  for (const char* name : {"old.png", "a.b", "trailing."}) {
    ASSERT_TRUE(SaveToCaptureFolder(bmp.get(), "seed.png"));
    std::string path = TemporaryCapturePath(name);
    kvtest::WriteFileBytes(path, "earlier");
    ASSERT_TRUE(FileExists(path)) << name;
    EXPECT_FALSE(SaveToCaptureFolder(std::string(name) == "old.png" ? nullptr : bmp.get(), name));
    EXPECT_FALSE(FileExists(path)) << name;
  }
}

// A window of this thread to own the clipboard, as the host's background
// window does.
HWND ClipboardOwner() {
  static HWND owner =
      CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  return owner;
}

TEST(ClipboardTest, CopySurvivesTheSourceAndKeepsSizeAndPixels) {
  HBITMAP source = kvtest::MakePatternDib(37, 23, 19);
  ASSERT_NE(source, nullptr);
  ASSERT_TRUE(CopyImageToClipboard(ClipboardOwner(), source));
  DeleteObject(source);

  ScopedClipboard clipboard(nullptr);
  ASSERT_TRUE(clipboard.is_open());
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_BITMAP));
  auto held = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
  ASSERT_NE(held, nullptr);
  BITMAP info{};
  ASSERT_TRUE(GetObjectA(held, sizeof info, &info));
  EXPECT_EQ(info.bmWidth, 37);
  EXPECT_EQ(info.bmHeight, 23);
  ScopedGetDC screen(nullptr);
  ScopedMemDC mem(CreateCompatibleDC(screen.get()));
  ScopedSelect sel(mem.get(), held);
  for (POINT p : {POINT{0, 0}, POINT{36, 0}, POINT{0, 22}, POINT{36, 22}, POINT{17, 11}}) {
    EXPECT_EQ(GetPixel(mem.get(), p.x, p.y), kvtest::PatternColor(p.x, p.y, 19))
        << p.x << "," << p.y;
  }
}

TEST(ClipboardTest, ReplacesWhatWasThere) {
  {
    ScopedClipboard clipboard(nullptr);
    ASSERT_TRUE(clipboard.is_open());
    EmptyClipboard();
    HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 4);
    {
      ScopedGlobalLock<char> lock(text);
      lstrcpyA(lock.get(), "abc");
    }
    SetClipboardData(CF_TEXT, text);
  }
  ScopedBitmap bmp(kvtest::MakePatternDib(5, 5, 2));
  ASSERT_TRUE(CopyImageToClipboard(ClipboardOwner(), bmp.get()));
  ScopedClipboard clipboard(nullptr);
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_BITMAP));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
  EXPECT_EQ(GetClipboardOwner(), ClipboardOwner());
}

// Text the user copied, put there from this thread with its own owner.
void PutUserText(const char* text) {
  ScopedClipboard clipboard(ClipboardOwner());
  ASSERT_TRUE(clipboard.is_open());
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, lstrlenA(text) + 1);
  {
    ScopedGlobalLock<char> lock(block);
    lstrcpyA(lock.get(), text);
  }
  SetClipboardData(CF_TEXT, block);
}

TEST(ClipboardTest, WaitsForAClipboardAnotherThreadHolds) {
  PutUserText("user text");
  std::atomic<int> held{0};  // 1 open, 2 could not open
  std::thread holder([&held] {
    ScopedClipboard clipboard(nullptr);
    held = clipboard.is_open() ? 1 : 2;
    Sleep(100);
  });
  while (held == 0) Sleep(1);
  ScopedBitmap bmp(kvtest::MakePatternDib(5, 5, 2));
  const bool copied = CopyImageToClipboard(ClipboardOwner(), bmp.get());
  holder.join();
  ASSERT_EQ(held, 1);
  EXPECT_TRUE(copied);
  ScopedClipboard clipboard(nullptr);
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_BITMAP));
}

TEST(ClipboardTest, NoPictureLeavesTheUsersClipboardAlone) {
  PutUserText("user text");
  ScopedBitmap notAPicture;
  EXPECT_FALSE(CopyImageToClipboard(ClipboardOwner(), notAPicture.get()));
  ScopedClipboard clipboard(nullptr);
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
}

// Drives the Save As dialog from a second thread: waits for it, reports
// the selected filter, optionally picks another filter, then types a name
// and confirms, or cancels.
struct DialogScript {
  std::string title;
  int selectFilter = -1;  // 0-based, -1: leave it
  std::string typedPath;  // empty: cancel
  std::atomic<int> seenFilter{-2};
  std::atomic<bool> seenTitle{false};
};

constexpr int kFilterCombo = 0x470;  // cmb1
constexpr int kNameCombo = 0x47C;    // cmb13
constexpr int kNameEdit = 0x480;     // edt1

void RunDialog(DialogScript* script) {
  HWND dialog = nullptr;
  for (int i = 0; i < 500 && !dialog; ++i) {
    Sleep(20);
    dialog = FindWindowA("#32770", script->title.c_str());
  }
  if (!dialog) return;
  script->seenTitle = true;
  Sleep(200);
  HWND filter = GetDlgItem(dialog, kFilterCombo);
  script->seenFilter = filter ? static_cast<int>(SendMessageA(filter, CB_GETCURSEL, 0, 0)) : -3;
  if (script->selectFilter >= 0 && filter) {
    SendMessageA(filter, CB_SETCURSEL, script->selectFilter, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kFilterCombo, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(filter));
  }
  if (script->typedPath.empty()) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return;
  }
  HWND name = GetDlgItem(dialog, kNameCombo);
  if (!name) name = GetDlgItem(dialog, kNameEdit);
  SetWindowTextA(name, script->typedPath.c_str());
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

bool SaveWithScript(const std::string& proposed, DialogScript* script, HBITMAP bmp) {
  script->title = TranslateUiText("Save As");
  std::thread driver(RunDialog, script);
  bool saved = SaveImageAs(nullptr, bmp, proposed);
  driver.join();
  return saved;
}

class SaveImageAsTest : public ::testing::Test {
 protected:
  void SetUp() override { SelectUiLanguage("en"); }
};

TEST_F(SaveImageAsTest, InitialFilterFollowsTheProposedName) {
  ScopedBitmap bmp(kvtest::MakePatternDib(10, 10, 5));
  const struct {
    const char* proposed;
    int filter;
  } cases[] = {{"VovoDodere.png", 0}, {"shot.GIF", 3}, {"x.bmp", 2}, {"a.jpeg", 0}, {"b.jpg", 1}};
  for (const auto& c : cases) {
    DialogScript script;
    EXPECT_FALSE(SaveWithScript(c.proposed, &script, bmp.get())) << c.proposed;
    EXPECT_TRUE(script.seenTitle) << c.proposed;
    EXPECT_EQ(script.seenFilter, c.filter) << c.proposed;
  }
}

TEST_F(SaveImageAsTest, TypedExtensionDecidesTheFormat) {
  ScratchTemp temp;
  ScopedBitmap bmp(kvtest::MakePatternDib(10, 10, 5));
  DialogScript script;
  script.selectFilter = 2;  // BMP
  script.typedPath = temp.dir() + "chosen.png";
  EXPECT_TRUE(SaveWithScript("VovoDodere.png", &script, bmp.get()));
  EXPECT_TRUE(StartsWith(ReadFileBytes(temp.dir() + "chosen.png"), "\x89PNG"));
}

TEST_F(SaveImageAsTest, CancelWritesNothing) {
  ScratchTemp temp;
  ScopedBitmap bmp(kvtest::MakePatternDib(10, 10, 5));
  DialogScript script;
  EXPECT_FALSE(SaveWithScript(std::string(400, 'n') + ".png", &script, bmp.get()));
  EXPECT_TRUE(script.seenTitle);
  EXPECT_TRUE(temp.Files().empty());
}

}  // namespace
}  // namespace kv
