#include "output/capture_path.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>

#include "core/file_name.h"

namespace kv {

bool IsAnsiLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

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
  return CaptureFilePath(CaptureFolder(), fileName, IsAnsiLeadByte);
}

}  // namespace kv
