#include "core/file_name.h"

#include <cctype>
#include <cstring>

namespace kv {

namespace {

// Calls f(position, byte) for every single-byte character of `text`; the
// two bytes of a double-byte character are passed over. Stops when f
// returns true and reports whether it did.
template <typename F>
bool AnySingleByteChar(const std::string& text, LeadByteTest isLeadByte, F f) {
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (isLeadByte && isLeadByte(c) && i + 1 < text.size()) {
      ++i;
      continue;
    }
    if (f(i, c)) return true;
  }
  return false;
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9 (also with the superscript digits of
// the Western code page) and the console names open devices, not files,
// whatever extension follows.
bool IsDeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* d : kDevices) {
    if (EqualsIgnoringCase(base, d)) return true;
  }
  if (base.size() == 4 && (EqualsIgnoringCase(base.substr(0, 3), "COM") ||
                           EqualsIgnoringCase(base.substr(0, 3), "LPT"))) {
    unsigned char digit = static_cast<unsigned char>(base[3]);
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  }
  return false;
}

// A name of dots and spaces only names the folder itself or its parent
// once the platform drops trailing dots and spaces.
bool IsDotsAndSpaces(const std::string& name) {
  return name.find_first_not_of(". ") == std::string::npos;
}

}  // namespace

std::string CaptureFileName(const std::string& fileName, LeadByteTest isLeadByte) {
  if (fileName.empty() || IsDotsAndSpaces(fileName) || IsDeviceName(fileName)) return std::string();
  bool hasDot = false;
  bool refused = AnySingleByteChar(fileName, isLeadByte, [&](size_t, unsigned char c) {
    if (c == '.') hasDot = true;
    return c == '\\' || c == '/' || c == ':' || c == '\0';
  });
  if (refused) return std::string();
  return hasDot ? fileName : fileName + ".png";
}

std::string CaptureFilePath(const std::string& folder, const std::string& fileName,
                            LeadByteTest isLeadByte) {
  if (folder.empty()) return std::string();
  std::string name = CaptureFileName(fileName, isLeadByte);
  if (name.empty() || folder.size() + name.size() >= kPathBufferSize) return std::string();
  return folder + name;
}

const std::string& SaveAsFilter() {
  static const char kFilter[] =
      "PNG(*.png)\0*.png\0"
      "JPEG(*.jpg,*.jpeg)\0*.jpg;*.jpeg\0"
      "BMP(*.bmp)\0*.bmp\0"
      "GIF(*.gif)\0*.gif\0";
  // sizeof includes the literal's own final zero: the closing empty string.
  static const std::string filter(kFilter, sizeof kFilter);
  return filter;
}

unsigned SaveAsFilterIndex(const std::string& fileName) {
  if (fileName.size() <= 4) return 0;
  std::string tail = fileName.substr(fileName.size() - 4);
  static const char* const kExtensions[] = {".png", ".jpg", ".bmp", ".gif"};
  for (unsigned i = 0; i < 4; ++i) {
    if (EqualsIgnoringCase(tail, kExtensions[i])) return i + 1;
  }
  return 0;
}

std::string CutToFit(const std::string& text, size_t maxBytes, LeadByteTest isLeadByte) {
  if (text.size() <= maxBytes) return text;
  size_t end = 0;
  while (end < maxBytes) {
    unsigned char c = static_cast<unsigned char>(text[end]);
    size_t len = (isLeadByte && isLeadByte(c)) ? 2 : 1;
    if (end + len > maxBytes) break;
    end += len;
  }
  return text.substr(0, end);
}

}  // namespace kv
