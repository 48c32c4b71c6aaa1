#include <gtest/gtest.h>

#include "core/languages.h"

namespace {

class Languages : public ::testing::Test {
 protected:
  void SetUp() override {
    kv::ResetUiLanguagesForTest();
    kv::SetUiTextConverter(nullptr);
  }
  void TearDown() override { kv::ResetUiLanguagesForTest(); }
};

struct Row {
  const char *en, *cn, *tw;
};
const Row kTable[] = {
    {"Add Arrow", "添加箭头", "添加箭頭"},
    {"Add Ellipse", "添加椭圆", "添加橢圓"},
    {"Add Rectangle", "添加矩形", "添加矩形"},
    {"Add Text", "添加文字", "添加文字"},
    {"Arrow Tool", "箭头工具", "箭頭工具"},
    {"Brush Tool", "画刷工具", "畫刷工具"},
    {"Cancel", "退出截图", "退出截圖"},
    {"Cancel Capture", "退出截图", "退出截圖"},
    {"Capture", "开始截图", "開始截圖"},
    {"Complete", "完成截图", "完成截圖"},
    {"Complete Capture", "完成截图", "完成截圖"},
    {"Ellipse Tool", "椭圆工具", "橢圓工具"},
    {"Please bring the window which you want", "请先调整窗口将需要截图的区域显示出来，",
     "請先調整視窗將需要截圖的區域顯示出來，"},
    {"Rectangle Tool", "矩形工具", "矩形工具"},
    {"Reset Capture Area", "重新选择截图区域", "重新選擇截圖區域"},
    {"Save", "保存", "保存"},
    {"Save As", "截图另存为", "截圖另存為"},
    {"Screen Capture", "准备截图", "準備截圖"},
    {"Text Tool", "文字工具", "文字工具"},
    {"to capture to the front.", "然后点击下面的按钮开始截图...", "然後點擊下面的按鈕開始截圖..."},
    {"Undo", "撤销编辑", "撤銷編輯"},
    {"Kelvo Screen Capture Control", "凯沃在线屏幕截图控件", "凱沃線上螢幕截圖組件"},
};

TEST_F(Languages, EveryRowInEveryLanguage) {
  const char* codes[] = {"en", "cn", "tw"};
  for (int lang = 0; lang < 3; ++lang) {
    kv::ResetUiLanguagesForTest();
    ASSERT_TRUE(kv::SelectUiLanguage(codes[lang]));
    for (const Row& r : kTable) {
      const char* want = lang == 0 ? r.en : lang == 1 ? r.cn : r.tw;
      EXPECT_EQ(kv::TranslateUiText(r.en), want) << codes[lang] << " " << r.en;
    }
  }
}

TEST_F(Languages, Selection) {
  EXPECT_FALSE(kv::SelectUiLanguage("CN"));
  EXPECT_FALSE(kv::SelectUiLanguage("fr"));
  EXPECT_FALSE(kv::SelectUiLanguage(""));
  EXPECT_EQ(kv::CurrentUiLanguage(), 0);
  EXPECT_EQ(kv::TranslateUiText("Arrow Tool"), "Arrow Tool");
  EXPECT_TRUE(kv::SelectUiLanguage("tw"));
  EXPECT_EQ(kv::TranslateUiText("Arrow Tool"), "箭頭工具");
  EXPECT_FALSE(kv::SelectUiLanguage("xx"));
  EXPECT_EQ(kv::CurrentUiLanguage(), 2);
}

TEST_F(Languages, DefaultLanguageFromSystemId) {
  struct {
    uint16_t id;
    const char* code;
  } cases[] = {
      {0x0409, "en"}, {0x0809, "en"}, {0x0C09, "en"}, {0x0804, "cn"}, {0x0404, "tw"},
      {0x0C04, ""},   {0x1004, ""},   {0x1404, ""},   {0x0407, ""},   {0x0411, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(kv::DefaultUiLanguageFor(c.id), c.code) << std::hex << c.id;
}

TEST_F(Languages, MissingKeyAndStableStorage) {
  EXPECT_EQ(kv::TranslateUiText("Paste"), "Missing translation!?");
  EXPECT_EQ(kv::TranslateUiText("undo"), "Missing translation!?");
  const std::string& a = kv::TranslateUiText("Undo");
  const std::string& b = kv::TranslateUiText("Undo");
  EXPECT_EQ(&a, &b);
}

TEST_F(Languages, ConverterRunsOncePerSlot) {
  int calls = 0;
  kv::SetUiTextConverter([&](const std::string& s) {
    ++calls;
    return "[" + s + "]";
  });
  kv::SelectUiLanguage("cn");
  EXPECT_EQ(kv::TranslateUiText("Save"), "[保存]");
  EXPECT_EQ(kv::TranslateUiText("Save"), "[保存]");
  EXPECT_EQ(calls, 1);
  kv::SetUiTextConverter(nullptr);
}

}  // namespace
