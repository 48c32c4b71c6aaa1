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
    {{"Add Step Marker", "添加步骤序号", "添加步驟序號"}},
    {{"Add Text", "添加文字", "添加文字"}},
    {{"Arrow Tool", "箭头工具", "箭頭工具"}},
    {{"Brush Tool", "画刷工具", "畫刷工具"}},
    {{"Cancel", "退出截图", "退出截圖"}},
    {{"Cancel Capture", "退出截图", "退出截圖"}},
    {{"Capture", "开始截图", "開始截圖"}},
    {{"Complete", "完成截图", "完成截圖"}},
    {{"Complete Capture", "完成截图", "完成截圖"}},
    {{"Close Pin", "关闭贴图", "關閉貼圖"}},
    {{"Copy", "复制", "複製"}},
    {{"Ellipse Tool", "椭圆工具", "橢圓工具"}},
    {{"Highlighter", "荧光笔", "螢光筆"}},
    {{"Highlighter Tool", "荧光笔工具", "螢光筆工具"}},
    {{"Mosaic Tool", "马赛克工具", "馬賽克工具"}},
    {{"Please bring the window which you want", "请先调整窗口将需要截图的区域显示出来，",
      "請先調整視窗將需要截圖的區域顯示出來，"}},
    {{"Pin to Screen", "贴到屏幕", "貼到螢幕"}},
    {{"Rectangle Tool", "矩形工具", "矩形工具"}},
    {{"Redo", "重做编辑", "重做編輯"}},
    {{"Reset Capture Area", "重新选择截图区域", "重新選擇截圖區域"}},
    {{"Save", "保存", "保存"}},
    {{"Save As", "截图另存为", "截圖另存為"}},
    {{"Screen Capture", "准备截图", "準備截圖"}},
    {{"Step Marker Tool", "步骤序号工具", "步驟序號工具"}},
    {{"Text Tool", "文字工具", "文字工具"}},
    {{"to capture to the front.", "然后点击下面的按钮开始截图...",
      "然後點擊下面的按鈕開始截圖..."}},
    {{"Undo", "撤销编辑", "撤銷編輯"}},
    {{"←↑→↓ C copy ,. back", "←↑→↓ C取色 ,.上次", "←↑→↓ C取色 ,.上次"}},
    // The self-check ("/check"): one line per finding, "%1"... filled in.
    {{"KvCapture self-check of %1", "KvCapture 自检：%1", "KvCapture 自我檢查：%1"}},
    {{"this user", "当前用户", "目前使用者"}},
    {{"all users", "所有用户", "所有使用者"}},
    {{"%1, %2: not registered (key %3).", "%1（%2）：未注册（注册表项 %3）。",
      "%1（%2）：未註冊（登錄機碼 %3）。"}},
    {{"%1, %2: registered; the manifest %3 is valid, the host program is %4.",
      "%1（%2）：已注册；清单 %3 有效，主机程序为 %4。",
      "%1（%2）：已註冊；資訊清單 %3 有效，主機程式為 %4。"}},
    {{"%1, %2: the registry key %3 names no manifest file.",
      "%1（%2）：注册表项 %3 没有指定清单文件。", "%1（%2）：登錄機碼 %3 未指定資訊清單檔案。"}},
    {{"%1, %2: the manifest file %3 named in the registry cannot be read.",
      "%1（%2）：注册表中指定的清单文件 %3 无法读取。",
      "%1（%2）：登錄中指定的資訊清單檔案 %3 無法讀取。"}},
    {{"%1, %2: the manifest %3 is not valid JSON.", "%1（%2）：清单 %3 不是有效的 JSON。",
      "%1（%2）：資訊清單 %3 不是有效的 JSON。"}},
    {{"%1, %2: the manifest %3 has the name \"%4\" instead of \"%5\".",
      "%1（%2）：清单 %3 的名称是“%4”，应为“%5”。",
      "%1（%2）：資訊清單 %3 的名稱是「%4」，應為「%5」。"}},
    {{"%1, %2: the manifest %3 names no host program (\"path\").",
      "%1（%2）：清单 %3 没有指定主机程序（\"path\"）。",
      "%1（%2）：資訊清單 %3 未指定主機程式（\"path\"）。"}},
    {{"%1, %2: the host program %4 named by the manifest %3 does not exist.",
      "%1（%2）：清单 %3 指定的主机程序 %4 不存在。",
      "%1（%2）：資訊清單 %3 指定的主機程式 %4 不存在。"}},
    {{"%1, %2: the manifest %3 does not say \"type\": \"stdio\".",
      "%1（%2）：清单 %3 缺少 \"type\": \"stdio\"。",
      "%1（%2）：資訊清單 %3 缺少 \"type\": \"stdio\"。"}},
    {{"%1, %2: the manifest %3 does not allow the extension %4 (\"allowed_origins\").",
      "%1（%2）：清单 %3 的 \"allowed_origins\" 不包含扩展程序 %4。",
      "%1（%2）：資訊清單 %3 的 \"allowed_origins\" 不包含擴充功能 %4。"}},
    {{"No browser has the capture program registered.", "没有任何浏览器注册了截图程序。",
      "沒有任何瀏覽器註冊了截圖程式。"}},
    {{"Fix: run register-host.cmd in the folder that holds KvCaptureExt.exe.",
      "解决方法：在 KvCaptureExt.exe 所在的文件夹中运行 register-host.cmd。",
      "解決方法：在 KvCaptureExt.exe 所在的資料夾中執行 register-host.cmd。"}},
    {{"Fix: copy com.kvcapture.host.json from the release folder again, then run "
      "register-host.cmd.",
      "解决方法：从发布文件夹重新复制 com.kvcapture.host.json，然后运行 register-host.cmd。",
      "解決方法：從發行資料夾重新複製 com.kvcapture.host.json，然後執行 register-host.cmd。"}},
    {{"%1: the policy NativeMessagingUserLevelHosts (%2) forbids capture programs registered "
      "for one user; the browser ignores registrations under HKCU.",
      "%1：策略 NativeMessagingUserLevelHosts（%2）禁止仅为单个用户注册的截图程序；"
      "浏览器会忽略 HKCU 下的注册。",
      "%1：原則 NativeMessagingUserLevelHosts（%2）禁止僅為單一使用者註冊的截圖程式；"
      "瀏覽器會忽略 HKCU 下的註冊。"}},
    {{"Fix: ask your administrator to allow them (NativeMessagingUserLevelHosts set to 1 or "
      "removed), or to register KvCapture for all users under HKLM.",
      "解决方法：请管理员允许此类注册（将 NativeMessagingUserLevelHosts 设为 1 或删除该策略），"
      "或在 HKLM 下为所有用户注册 KvCapture。",
      "解決方法：請系統管理員允許此類註冊（將 NativeMessagingUserLevelHosts 設為 1 或移除該原則），"
      "或在 HKLM 下為所有使用者註冊 KvCapture。"}},
    {{"The capture program %1 started and answered a request.", "截图程序 %1 已启动并回应了请求。",
      "截圖程式 %1 已啟動並回應了請求。"}},
    {{"The capture program %1 could not be started (error %2).",
      "截图程序 %1 无法启动（错误 %2）。", "截圖程式 %1 無法啟動（錯誤 %2）。"}},
    {{"The capture program %1 ended without an answer (exit code %2).",
      "截图程序 %1 没有回应就结束了（退出代码 %2）。",
      "截圖程式 %1 未回應就結束了（結束代碼 %2）。"}},
    {{"The capture program %1 answered something that is not a message.",
      "截图程序 %1 的回应不是有效的消息。", "截圖程式 %1 的回應不是有效的訊息。"}},
    {{"The capture program %1 did not answer within %2 seconds.",
      "截图程序 %1 在 %2 秒内没有回应。", "截圖程式 %1 在 %2 秒內沒有回應。"}},
    {{"Fix: finish any capture still open and try again; otherwise copy the release folder again.",
      "解决方法：先完成仍在进行的截图再重试；否则请重新复制发布文件夹。",
      "解決方法：先完成仍在進行的截圖再重試；否則請重新複製發行資料夾。"}},
    {{"The capture folder %1 is writable.", "截图文件夹 %1 可以写入。",
      "截圖資料夾 %1 可以寫入。"}},
    {{"The capture folder %1 cannot be written to.", "截图文件夹 %1 无法写入。",
      "截圖資料夾 %1 無法寫入。"}},
    {{"Fix: check the TEMP setting of your user account and the rights on that folder.",
      "解决方法：检查用户帐户的 TEMP 设置以及该文件夹的权限。",
      "解決方法：檢查使用者帳戶的 TEMP 設定以及該資料夾的權限。"}},
    {{"The extension package %1 lies beside the install assistant.",
      "扩展程序包 %1 位于安装助手旁边。", "擴充功能套件 %1 位於安裝助手旁邊。"}},
    {{"The extension package %1 is missing or damaged; it belongs beside the install assistant.",
      "扩展程序包 %1 缺失或已损坏；它应与安装助手位于同一文件夹。",
      "擴充功能套件 %1 遺失或已損毀；它應與安裝助手位於同一資料夾。"}},
    {{"The install assistant %1 is missing.", "安装助手 %1 缺失。", "安裝助手 %1 遺失。"}},
    {{"The unpacked extension %1 is there for \"Load unpacked\".",
      "未打包的扩展程序 %1 可用于“加载已解压的扩展程序”。",
      "未封裝的擴充功能 %1 可用於「載入未封裝項目」。"}},
    {{"The unpacked extension %1 is missing.", "未打包的扩展程序 %1 缺失。",
      "未封裝的擴充功能 %1 遺失。"}},
    {{"Fix: copy the whole release folder again; its files belong together.",
      "解决方法：重新复制整个发布文件夹；其中的文件必须放在一起。",
      "解決方法：重新複製整個發行資料夾；其中的檔案必須放在一起。"}},
    {{"Everything holds.", "全部正常。", "全部正常。"}},
    {{"Problems found: %1.", "发现问题：%1 个。", "發現問題：%1 個。"}},
    {{"Kelvo Screen Capture Control", "凯沃在线屏幕截图控件", "凱沃線上螢幕截圖組件"}},
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
