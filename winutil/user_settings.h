// The user's own settings of the capture: values under
// HKEY_CURRENT_USER\Software\KvCapture, kept from one capture to the next.
// A setting that cannot be read gives the caller's default; one that cannot
// be written is simply not kept.
#pragma once
#include <windows.h>

#include <string>

namespace kv {

DWORD ReadUserSettingDword(const wchar_t* name, DWORD fallback);
void WriteUserSettingDword(const wchar_t* name, DWORD value);

// UTF-8 text stored as a REG_SZ value.
std::string ReadUserSettingText(const wchar_t* name);
void WriteUserSettingText(const wchar_t* name, const std::string& utf8);

}  // namespace kv
