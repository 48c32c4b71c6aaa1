// What the host's command line asks for.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

enum class HostMode {
  kServe,    // the browser's start: one request on standard input
  kInstall,  // "/install": start the install assistant
  kCheck,    // "/check [en|cn|tw]": the self-check on the console
  kPin,      // "/pin <file> [x y]": a pinned picture in a window of its own
};

struct HostCommandLine {
  HostMode mode = HostMode::kServe;
  std::string checkLanguage;  // the code after "/check", "" when none
  // "/pin": the argument index of the picture's file (the caller takes the
  // path from the wide command line, whatever its script), and the screen
  // point of its top-left corner when both numbers were given.
  size_t pinFileArg = 0;
  bool pinPlaced = false;
  int pinX = 0;
  int pinY = 0;
  // The browser window that started the host ("--parent-window=<decimal
  // handle>", which Chrome on Windows passes after the origin); 0 when
  // absent or not a plain decimal number.
  uint64_t parentWindow = 0;
};

// `args` without the program's own name. Only the first argument selects a
// mode (compared without regard to case); the parent window may be any
// argument. "/pin" without a file is the ordinary start.
HostCommandLine ParseHostCommandLine(const std::vector<std::string>& args);

}  // namespace kv
