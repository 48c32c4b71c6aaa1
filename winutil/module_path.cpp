#include "winutil/module_path.h"

#include <windows.h>

namespace kv {

namespace {

// The longest path the wide functions take.
constexpr DWORD kLongestPath = 32768;

}  // namespace

std::wstring ProgramPath() {
  // The buffer grows until the path fits (the function cuts a longer path
  // short without failing).
  std::wstring module(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, &module[0], static_cast<DWORD>(module.size()));
    if (n == 0) return std::wstring();
    if (n < module.size()) {
      module.resize(n);
      return module;
    }
    if (module.size() >= kLongestPath) return std::wstring();
    module.resize(module.size() * 2);
  }
}

std::wstring ProgramFolder() {
  const std::wstring module = ProgramPath();
  const size_t slash = module.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : module.substr(0, slash);
}

}  // namespace kv
