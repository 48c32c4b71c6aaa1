// UI languages and the string table of the capture host.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace kv {

struct UiLanguageEntry {
  const char* code;
  const char* name;
  uint16_t languageId;
};

constexpr int kUiLanguageCount = 3;
const UiLanguageEntry& UiLanguage(int index);

// Text returned for a key that is in no row.
extern const char kMissingTranslation[];

// Makes the language with exactly this code current; false (and no change)
// for a code that is in no row.
bool SelectUiLanguage(const std::string& code);
int CurrentUiLanguage();

// The code for a Windows UI language id, or "" when none fits.
std::string DefaultUiLanguageFor(uint16_t languageId);

// Converts the stored UTF-8 texts to the host's ANSI code page on first use.
// Empty (the default) keeps UTF-8. Set once, before the first translation.
void SetUiTextConverter(std::function<std::string(const std::string&)> toAnsi);

// The text for an English key in the current language (converted and
// cached; the reference stays valid until the process ends), or
// kMissingTranslation.
const std::string& TranslateUiText(const std::string& key);

// The UTF-8 text of a key in a given language, or nullptr when the key is
// in no row. For tests and for callers that need the stored form.
const char* UiTextUtf8(const std::string& key, int language);

// Resets the current language and the cache (tests only).
void ResetUiLanguagesForTest();

}  // namespace kv
