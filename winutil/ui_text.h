// UI texts for display. Windows shows UTF-16 text directly, so the texts of
// the current language reach the screen intact whatever the system's ANSI
// code page (the ANSI form would turn Chinese into question marks on a
// Western system).
#pragma once
#include <string>

namespace kv {

// The text for an English key in the current UI language, as UTF-16.
std::wstring UiTextWide(const std::string& key);

}  // namespace kv
