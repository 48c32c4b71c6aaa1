// Functions of newer Windows, looked up at run time so that the programs
// still start on systems without them.
#pragma once
#include <windows.h>

namespace kv {

// `name` from `module` (loaded when it is not yet, and kept for the
// process's life); null where the system lacks it.
template <typename F>
F LookUpSystemFunction(const wchar_t* module, const char* name) {
  HMODULE m = GetModuleHandleW(module);
  if (!m) m = LoadLibraryW(module);
  return m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

}  // namespace kv
