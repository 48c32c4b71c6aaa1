// Functions of newer Windows, looked up at run time so that the programs
// still start on systems without them.
#pragma once
#include <windows.h>

#include <string>

namespace kv {

// A system DLL, by its full path in the system folder: loaded by its bare
// name, a file of that name in the program's folder would be taken first.
// Kept for the process's life; null when it cannot be loaded.
inline HMODULE LoadSystemLibrary(const wchar_t* module) {
  if (HMODULE loaded = GetModuleHandleW(module)) return loaded;
  wchar_t folder[MAX_PATH];
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  return LoadLibraryW((std::wstring(folder, n) + L"\\" + module).c_str());
}

// `name` from the system DLL `module`; null where the system lacks it.
template <typename F>
F LookUpSystemFunction(const wchar_t* module, const char* name) {
  HMODULE m = LoadSystemLibrary(module);
  return m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

}  // namespace kv
