#include "output/capture_path.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>

namespace kv {

std::string CaptureFolder() {
  char folder[MAX_PATH + 16] = {};
  DWORD n = GetTempPathA(MAX_PATH, folder);
  if (n == 0 || n >= MAX_PATH) return std::string();
  PathRemoveFileSpecA(folder);
  PathAddBackslashA(folder);
  if (std::strlen(folder) + 11 >= MAX_PATH) return std::string();
  std::strcat(folder, "KvCapture");
  PathAddBackslashA(folder);
  return folder;
}

std::string TemporaryCapturePath(const std::string& fileName) {
  if (fileName.empty()) return std::string();
  std::string name = fileName;
  if (name.find('.') == std::string::npos) name += ".png";
  return CaptureFolder() + name;
}

}  // namespace kv
