#include "core/command_line.h"

#include <cctype>

namespace kv {

namespace {

bool EqualsNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return i == a.size() && !b[i];
}

// Digits only, no sign, no blanks, not above 2^64 - 1; 0 otherwise.
uint64_t DecimalValue(const std::string& text) {
  if (text.empty() || text.size() > 20) return 0;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    unsigned digit = static_cast<unsigned>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return value;
}

// An optional minus sign and at most 6 digits: a screen coordinate.
bool SignedValue(const std::string& text, int* value) {
  const bool negative = !text.empty() && text[0] == '-';
  const std::string digits = negative ? text.substr(1) : text;
  if (digits.empty() || digits.size() > 6) return false;
  int v = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = negative ? -v : v;
  return true;
}

}  // namespace

HostCommandLine ParseHostCommandLine(const std::vector<std::string>& args) {
  HostCommandLine line;
  if (!args.empty()) {
    if (EqualsNoCase(args[0], "/install")) {
      line.mode = HostMode::kInstall;
    } else if (EqualsNoCase(args[0], "/pin") && args.size() > 1) {
      line.mode = HostMode::kPin;
      line.pinFileArg = 1;
      int x = 0, y = 0;
      if (args.size() > 3 && SignedValue(args[2], &x) && SignedValue(args[3], &y)) {
        line.pinPlaced = true;
        line.pinX = x;
        line.pinY = y;
      }
    } else if (EqualsNoCase(args[0], "/check")) {
      line.mode = HostMode::kCheck;
      if (args.size() > 1) line.checkLanguage = args[1];
    }
  }
  const std::string kParent = "--parent-window=";
  for (const std::string& arg : args) {
    if (arg.compare(0, kParent.size(), kParent) == 0) {
      line.parentWindow = DecimalValue(arg.substr(kParent.size()));
      break;
    }
  }
  return line;
}

}  // namespace kv
