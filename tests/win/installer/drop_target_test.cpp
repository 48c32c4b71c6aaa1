// CIDropTarget (effect choice, format matching, the drop) and the picture
// control's drop target.
#include <ole2.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "installer/data_object.h"
#include "installer/static_box.h"
#include "test_util.h"
#include "winutil/codepage.h"

namespace kv {
namespace {

constexpr DWORD kAll = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;

class RecordingTarget final : public CIDropTarget {
 public:
  RecordingTarget() : CIDropTarget(nullptr) {}
  int drops = 0;
  CLIPFORMAT droppedFormat = 0;
  std::string droppedText;
  bool releaseMedium = true;

 protected:
  bool OnDrop(const FORMATETC& format, STGMEDIUM& medium, DWORD*) override {
    ++drops;
    droppedFormat = format.cfFormat;
    droppedText = TextOf(medium.hGlobal);
    return releaseMedium;
  }
};

using Entries = std::vector<std::pair<CLIPFORMAT, const char*>>;

CIDataObject* DataWith(const Entries& entries) {
  auto* data = new CIDataObject;
  data->AddRef();
  for (const auto& [format, text] : entries) {
    FORMATETC f = Fmt(format, TYMED_HGLOBAL);
    STGMEDIUM m = GlobalMedium(GlobalText(text));
    data->SetData(&f, &m, TRUE);
  }
  return data;
}

class DropTargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    target = new RecordingTarget;
    target->AddRef();
    target->AddSupportedFormat(Fmt(CF_TEXT, TYMED_HGLOBAL));
    target->AddSupportedFormat(Fmt(CF_HDROP, TYMED_HGLOBAL));
  }
  void TearDown() override {
    target->Release();
    EXPECT_EQ(0, LiveObjects<CIDataObject>::Count());
  }
  DWORD Enter(IDataObject* data, DWORD keys, DWORD allowed) {
    DWORD effect = allowed;
    EXPECT_EQ(S_OK, target->DragEnter(data, keys, POINTL{1, 1}, &effect));
    return effect;
  }
  RecordingTarget* target = nullptr;
};

TEST_F(DropTargetTest, EffectFollowsTheKeysAmongTheAllowedOnes) {
  CIDataObject* data = DataWith({{CF_TEXT, "t"}});
  Enter(data, 0, kAll);
  ASSERT_TRUE(target->allowDrop());
  const DWORD none = 0, ctrl = MK_CONTROL, shift = MK_SHIFT, both = MK_CONTROL | MK_SHIFT;
  struct Case {
    DWORD keys;
    DWORD allowed;
    DWORD expected;
  } cases[] = {
      {none, kAll, DROPEFFECT_COPY},
      {none, DROPEFFECT_MOVE | DROPEFFECT_LINK, DROPEFFECT_MOVE},
      {none, DROPEFFECT_LINK, DROPEFFECT_LINK},
      {none, DROPEFFECT_NONE, DROPEFFECT_NONE},
      {ctrl, kAll, DROPEFFECT_COPY},
      {ctrl, DROPEFFECT_MOVE | DROPEFFECT_LINK, DROPEFFECT_NONE},
      {shift, kAll, DROPEFFECT_MOVE},
      {shift, DROPEFFECT_COPY | DROPEFFECT_LINK, DROPEFFECT_NONE},
      {both, kAll, DROPEFFECT_LINK},
      {both, DROPEFFECT_COPY | DROPEFFECT_MOVE, DROPEFFECT_NONE},
      {MK_LBUTTON | ctrl, DROPEFFECT_COPY, DROPEFFECT_COPY},  // buttons do not matter
  };
  for (const Case& c : cases) {
    DWORD effect = c.allowed;
    EXPECT_EQ(c.expected != DROPEFFECT_NONE, target->QueryDrop(c.keys, &effect))
        << c.keys << "/" << c.allowed;
    EXPECT_EQ(c.expected, effect) << c.keys << "/" << c.allowed;
    DWORD over = c.allowed;
    EXPECT_EQ(S_OK, target->DragOver(c.keys, POINTL{2, 2}, &over));
    EXPECT_EQ(c.expected, over);
  }
  target->DragLeave();
  DWORD effect = kAll;
  EXPECT_FALSE(target->QueryDrop(0, &effect));  // nothing is allowed without a drag
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
  data->Release();
}

TEST_F(DropTargetTest, MatchesTheFirstSupportedFormatTheDataOffers) {
  struct Case {
    Entries offered;
    CLIPFORMAT matched;
  } cases[] = {
      {{{CF_HDROP, "files"}}, CF_HDROP},
      {{{CF_HDROP, "files"}, {CF_TEXT, "text"}}, CF_TEXT},  // the target's order counts
      {{{CF_UNICODETEXT, "other"}}, 0},
      {{}, 0},
  };
  for (const Case& c : cases) {
    CIDataObject* data = DataWith(c.offered);
    DWORD effect = Enter(data, 0, kAll);
    const FORMATETC* matched = target->matchedFormat();
    EXPECT_EQ(c.matched, matched ? matched->cfFormat : 0);
    EXPECT_EQ(c.matched != 0, target->allowDrop());
    EXPECT_EQ(c.matched ? static_cast<DWORD>(DROPEFFECT_COPY) : 0u, effect);
    target->DragLeave();
    EXPECT_EQ(nullptr, target->matchedFormat());
    data->Release();
  }
}

TEST_F(DropTargetTest, DropHandsOverTheMatchedDataAndTellsTheSourceNothingWasDone) {
  CIDataObject* data = DataWith({{CF_HDROP, "files"}});
  Enter(data, 0, kAll);
  DWORD effect = kAll;
  EXPECT_EQ(S_OK, target->Drop(data, 0, POINTL{3, 3}, &effect));
  EXPECT_EQ(1, target->drops);
  EXPECT_EQ(CF_HDROP, target->droppedFormat);
  EXPECT_EQ("files", target->droppedText);
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
  EXPECT_FALSE(target->allowDrop());
  EXPECT_EQ(nullptr, target->matchedFormat());
  data->Release();
}

TEST_F(DropTargetTest, NoDropWithoutAnAllowedEffectOrAMatch) {
  CIDataObject* data = DataWith({{CF_TEXT, "t"}});
  // Ctrl asks for a copy, the source offers only a move.
  Enter(data, MK_CONTROL, DROPEFFECT_MOVE);
  DWORD effect = DROPEFFECT_MOVE;
  EXPECT_EQ(S_OK, target->Drop(data, MK_CONTROL, POINTL{}, &effect));
  EXPECT_EQ(0, target->drops);
  // A drop without a DragEnter before it matched nothing.
  effect = kAll;
  EXPECT_EQ(S_OK, target->Drop(data, 0, POINTL{}, &effect));
  EXPECT_EQ(0, target->drops);
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
  data->Release();
}

TEST_F(DropTargetTest, InvalidArguments) {
  DWORD effect = kAll;
  EXPECT_EQ(E_INVALIDARG, target->DragEnter(nullptr, 0, POINTL{}, &effect));
  EXPECT_EQ(E_INVALIDARG, target->Drop(nullptr, 0, POINTL{}, &effect));
  CIDataObject* data = DataWith({{CF_TEXT, "t"}});
  EXPECT_EQ(E_INVALIDARG, target->DragEnter(data, 0, POINTL{}, nullptr));
  EXPECT_EQ(E_INVALIDARG, target->DragOver(0, POINTL{}, nullptr));
  EXPECT_EQ(E_INVALIDARG, target->Drop(data, 0, POINTL{}, nullptr));
  EXPECT_EQ(S_OK, target->DragLeave());
  data->Release();
}

// ---- the picture control's drop target --------------------------------------

class PictureDropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    picture =
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP | SS_BITMAP | SS_CENTERIMAGE | SS_REALSIZEIMAGE,
                        0, 0, 400, 130, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, picture);
    original = CreateBitmap(10, 10, 1, 32, nullptr);
    SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(original));
    target = new CStaticDropTarget(picture);
    target->AddRef();
    target->AddSupportedFormat(Fmt(CF_HDROP, TYMED_HGLOBAL));
  }
  void TearDown() override {
    EXPECT_EQ(0u, target->Release());
    DeleteObject(reinterpret_cast<HGDIOBJ>(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0)));
    DestroyWindow(picture);
    for (const std::string& file : files) DeleteFileA(file.c_str());
    EXPECT_EQ(0, LiveObjects<CIDataObject>::Count());
    EXPECT_EQ(0, LiveObjects<CStaticDropTarget>::Count());
  }
  void DropFile(const std::string& name) {
    auto* data = new CIDataObject;
    data->AddRef();
    FORMATETC f = Fmt(CF_HDROP, TYMED_HGLOBAL);
    STGMEDIUM m = GlobalMedium(BuildFileList(AnsiToWide(name)));
    data->SetData(&f, &m, TRUE);
    DWORD effect = DROPEFFECT_COPY;
    target->DragEnter(data, MK_LBUTTON, POINTL{5, 5}, &effect);
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(S_OK, target->Drop(data, 0, POINTL{5, 5}, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
    data->Release();
  }
  std::string Scratch(const char* name) {
    files.push_back(ModuleFolder() + name);
    return files.back();
  }
  HBITMAP Shown() {
    return reinterpret_cast<HBITMAP>(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
  }

  HWND picture = nullptr;
  HBITMAP original = nullptr;
  CStaticDropTarget* target = nullptr;
  std::vector<std::string> files;
};

TEST_F(PictureDropTest, ADroppedBitmapFileReplacesThePicture) {
  const std::string bmp = Scratch("drop-test.bmp");
  ASSERT_TRUE(WriteBmp(bmp, 120, 60, RGB(255, 0, 0), RGB(0, 255, 0)));
  DropFile(bmp);
  HBITMAP shown = Shown();
  ASSERT_NE(original, shown);
  BITMAP size{};
  ASSERT_TRUE(GetObjectW(shown, sizeof size, &size));
  EXPECT_EQ(120, size.bmWidth);
  EXPECT_EQ(60, size.bmHeight);
  EXPECT_EQ(0, GetObjectW(original, sizeof size, &size));  // the previous one was deleted
}

TEST_F(PictureDropTest, AnythingElseLeavesThePictureAlone) {
  const std::string text = Scratch("drop-test.txt");
  FILE* f = std::fopen(text.c_str(), "wb");
  std::fputs("not a picture", f);
  std::fclose(f);
  for (const std::string& name : {text, ModuleFolder() + "missing.bmp", std::string()}) {
    DropFile(name);
    EXPECT_EQ(original, Shown()) << name;
  }
}

}  // namespace
}  // namespace kv
