#include "winutil/user_settings.h"

#include <vector>

#include "winutil/codepage.h"
#include "winutil/scoped_win.h"

namespace kv {

namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\KvCapture";
// Longer text than any setting needs is not taken.
constexpr DWORD kMaxTextBytes = 64 * 1024;

ScopedRegKey OpenSettings(bool write) {
  HKEY key = nullptr;
  const LONG rc = write ? RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0,
                                          KEY_SET_VALUE, nullptr, &key, nullptr)
                        : RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key);
  return ScopedRegKey(rc == ERROR_SUCCESS ? key : nullptr);
}

}  // namespace

DWORD ReadUserSettingDword(const wchar_t* name, DWORD fallback) {
  ScopedRegKey key = OpenSettings(false);
  if (!key) return fallback;
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value) {
    return fallback;
  }
  return value;
}

void WriteUserSettingDword(const wchar_t* name, DWORD value) {
  ScopedRegKey key = OpenSettings(true);
  if (key) {
    RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof value);
  }
}

std::string ReadUserSettingText(const wchar_t* name) {
  ScopedRegKey key = OpenSettings(false);
  if (!key) return std::string();
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ || size == 0 || size > kMaxTextBytes) {
    return std::string();
  }
  std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                       &size) != ERROR_SUCCESS) {
    return std::string();
  }
  text[size / sizeof(wchar_t)] = L'\0';  // stored text need not end in a null
  return WideToUtf8(std::wstring(text.data()));
}

void WriteUserSettingText(const wchar_t* name, const std::string& utf8) {
  ScopedRegKey key = OpenSettings(true);
  if (!key) return;
  const std::wstring text = Utf8ToWide(utf8);
  RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace kv
