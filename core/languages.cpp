#include "core/languages.h"

#include <array>
#include <cstring>
#include <memory>

namespace kv {

namespace {

const UiLanguageEntry kLanguages[kUiLanguageCount] = {
    {"en", "English", 0x0009},
    {"cn", "Chinese Simplified (简体中文)", 0x0804},
    {"tw", "Chinese Traditional (繁體中文)", 0x0404},
};

struct Row {
  const char* text[kUiLanguageCount];  // English key, Simplified, Traditional
};

const Row kRows[] = {
    {{"Add Arrow", "添加箭头", "添加箭頭"}},
    {{"Add Ellipse", "添加椭圆", "添加橢圓"}},
    {{"Add Mosaic", "添加马赛克", "添加馬賽克"}},
    {{"Add Rectangle", "添加矩形", "添加矩形"}},
    {{"Add Text", "添加文字", "添加文字"}},
    {{"Arrow Tool", "箭头工具", "箭頭工具"}},
    {{"Brush Tool", "画刷工具", "畫刷工具"}},
    {{"Cancel", "退出截图", "退出截圖"}},
    {{"Cancel Capture", "退出截图", "退出截圖"}},
    {{"Capture", "开始截图", "開始截圖"}},
    {{"Complete", "完成截图", "完成截圖"}},
    {{"Complete Capture", "完成截图", "完成截圖"}},
    {{"Ellipse Tool", "椭圆工具", "橢圓工具"}},
    {{"Mosaic Tool", "马赛克工具", "馬賽克工具"}},
    {{"Please bring the window which you want",
      "请先调整窗口将需要截图的区域显示出来，",
      "請先調整視窗將需要截圖的區域顯示出來，"}},
    {{"Rectangle Tool", "矩形工具", "矩形工具"}},
    {{"Redo", "重做编辑", "重做編輯"}},
    {{"Reset Capture Area", "重新选择截图区域", "重新選擇截圖區域"}},
    {{"Save", "保存", "保存"}},
    {{"Save As", "截图另存为", "截圖另存為"}},
    {{"Screen Capture", "准备截图", "準備截圖"}},
    {{"Text Tool", "文字工具", "文字工具"}},
    {{"to capture to the front.", "然后点击下面的按钮开始截图...",
      "然後點擊下面的按鈕開始截圖..."}},
    {{"Undo", "撤销编辑", "撤銷編輯"}},
    {{"←↑→↓ 1 px, Shift 10", "←↑→↓1像素 Shift10", "←↑→↓1像素 Shift10"}},
    {{"Kelvo Screen Capture Control", "凯沃在线屏幕截图控件",
      "凱沃線上螢幕截圖組件"}},
};
constexpr size_t kRowCount = sizeof kRows / sizeof kRows[0];

int g_current = 0;
std::function<std::string(const std::string&)> g_toAnsi;

struct Slot {
  bool filled = false;
  std::string text;
};
std::unique_ptr<std::array<std::array<Slot, kRowCount>, kUiLanguageCount>> g_cache;
const std::string g_missing = "Missing translation!?";

int FindRow(const std::string& key) {
  for (size_t i = 0; i < kRowCount; ++i)
    if (key == kRows[i].text[0]) return static_cast<int>(i);
  return -1;
}

}  // namespace

const char kMissingTranslation[] = "Missing translation!?";

const UiLanguageEntry& UiLanguage(int index) { return kLanguages[index]; }

bool SelectUiLanguage(const std::string& code) {
  for (int i = 0; i < kUiLanguageCount; ++i) {
    if (code == kLanguages[i].code) {
      g_current = i;
      return true;
    }
  }
  return false;
}

int CurrentUiLanguage() { return g_current; }

std::string DefaultUiLanguageFor(uint16_t languageId) {
  uint16_t primary = languageId & 0x3FF;
  const char* candidate = nullptr;
  for (const auto& lang : kLanguages) {
    if (lang.languageId == languageId) return lang.code;
    if (lang.languageId == primary) candidate = lang.code;
  }
  return candidate ? candidate : "";
}

void SetUiTextConverter(std::function<std::string(const std::string&)> toAnsi) {
  g_toAnsi = std::move(toAnsi);
}

const char* UiTextUtf8(const std::string& key, int language) {
  int row = FindRow(key);
  if (row < 0 || language < 0 || language >= kUiLanguageCount) return nullptr;
  const char* text = kRows[row].text[language];
  return (text && *text) ? text : kRows[row].text[0];
}

const std::string& TranslateUiText(const std::string& key) {
  if (!g_cache) {
    g_cache.reset(new (std::nothrow) std::array<std::array<Slot, kRowCount>, kUiLanguageCount>());
    if (!g_cache) return g_missing;
  }
  int row = FindRow(key);
  if (row < 0) return g_missing;
  Slot& slot = (*g_cache)[g_current][row];
  if (!slot.filled) {
    std::string utf8 = UiTextUtf8(key, g_current);
    slot.text = g_toAnsi ? g_toAnsi(utf8) : utf8;
    slot.filled = true;
  }
  return slot.text;
}

void ResetUiLanguagesForTest() {
  g_current = 0;
  g_cache.reset();
}

}  // namespace kv
