#include "winutil/ui_text.h"

#include "core/languages.h"
#include "winutil/codepage.h"

namespace kv {

std::wstring UiTextWide(const std::string& key) {
  const char* utf8 = UiTextUtf8(key, CurrentUiLanguage());
  return Utf8ToWide(utf8 ? utf8 : kMissingTranslation);
}

}  // namespace kv
