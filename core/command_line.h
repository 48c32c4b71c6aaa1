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
};

struct HostCommandLine {
  HostMode mode = HostMode::kServe;
  std::string checkLanguage;  // the code after "/check", "" when none
  // The browser window that started the host ("--parent-window=<decimal
  // handle>", which Chrome on Windows passes after the origin); 0 when
  // absent or not a plain decimal number.
  uint64_t parentWindow = 0;
};

// `args` without the program's own name. Only the first argument selects a
// mode (compared without regard to case); the parent window may be any
// argument.
HostCommandLine ParseHostCommandLine(const std::vector<std::string>& args);

}  // namespace kv
