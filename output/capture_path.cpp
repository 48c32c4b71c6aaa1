#include "output/capture_path.h"

#include <windows.h>

#include "core/file_name.h"
#include "winutil/codepage.h"

namespace kv {

namespace {

// The short form of an existing file or folder; empty when there is none.
std::wstring ShortForm(const std::wstring& path) {
  wchar_t buffer[MAX_PATH];
  DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::wstring() : std::wstring(buffer, n);
}

bool AnsiHolds(const std::wstring& text) { return AnsiToWide(WideToAnsi(text)) == text; }

}  // namespace

bool IsAnsiLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

std::wstring CaptureFolderWide() {
  wchar_t temp[MAX_PATH + 1] = {};
  DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0 || n > MAX_PATH) return std::wstring();
  std::wstring folder(temp, n);
  if (folder.back() != L'\\') folder += L'\\';
  folder += L"KvCapture\\";
  // Room for a file name of one character and the terminating zero.
  return folder.size() + 2 <= MAX_PATH ? folder : std::wstring();
}

std::wstring CapturePathWide(const std::string& fileName) {
  if (fileName.empty()) return std::wstring();
  const std::string name = CaptureFileName(fileName, IsAnsiLeadByte);
  const std::wstring folder = CaptureFolderWide();
  if (name.empty() || folder.empty()) return std::wstring();
  std::wstring path = folder + AnsiToWide(name);
  return path.size() < MAX_PATH ? path : std::wstring();
}

std::string AnsiPathForm(const std::wstring& path) {
  if (path.empty() || AnsiHolds(path)) return WideToAnsi(path);
  std::wstring shortPath = ShortForm(path);
  if (shortPath.empty()) {
    const size_t slash = path.find_last_of(L'\\', path.size() - 2);
    if (slash != std::wstring::npos) {
      const std::wstring folder = ShortForm(path.substr(0, slash + 1));
      if (!folder.empty()) shortPath = folder + path.substr(slash + 1);
    }
  }
  return WideToAnsi(!shortPath.empty() && AnsiHolds(shortPath) ? shortPath : path);
}

std::string CaptureFolder() { return AnsiPathForm(CaptureFolderWide()); }

std::string TemporaryCapturePath(const std::string& fileName) {
  return AnsiPathForm(CapturePathWide(fileName));
}

}  // namespace kv
