// The decisions of the host's self-check ("/check") that need no Windows:
// is a native-messaging host manifest right for this extension, and did a
// host answer like a host. Texts are UTF-8; paths are Windows paths.
#pragma once
#include <cstdint>
#include <string>

namespace kv {

// What is wrong with a host manifest, first problem found.
enum class ManifestProblem {
  kNone,
  kNotJson,        // not a JSON object (comments and a byte-order mark are accepted)
  kWrongName,      // "name" is not the host's name
  kNoPath,         // "path" missing, not a text, or empty
  kWrongType,      // "type" is not "stdio"
  kOriginMissing,  // "allowed_origins" does not hold the extension's origin
};

struct ManifestVerdict {
  ManifestProblem problem = ManifestProblem::kNone;
  std::string name;  // "name" when it is a text
  std::string path;  // "path" as written, when it is a text
};

// Checks the manifest text against the host name and the extension id.
ManifestVerdict CheckHostManifest(const std::string& text, const std::string& hostName,
                                  const std::string& extensionId);

// The origin the browser gives a host for the extension: "chrome-extension://<id>/".
std::string ExtensionOrigin(const std::string& extensionId);

// The program a manifest names, as the browser on Windows finds it: "path"
// itself when absolute (a drive, or a share or device path starting with
// two backslashes), otherwise relative to the manifest's folder. Forward
// slashes count as backslashes.
std::string ResolveManifestProgram(const std::string& manifestPath, const std::string& path);

// How a host started with one request answered, judged from everything it
// wrote on standard output.
enum class HostAnswer {
  kAnswered,  // exactly one frame holding a JSON object with a text "EventName"
  kSilent,    // nothing at all
  kGarbled,   // anything else (a cut frame, bytes after it, no event)
};
HostAnswer JudgeHostAnswer(const std::string& output);

// One place's setting (the machine's or the user's) of a browser policy that
// says yes or no, as the registry holds it. The browser reads a number
// (REG_DWORD) as it is and a text (REG_SZ) that holds a whole number as
// that number; it ignores a text that holds none and any other type.
struct PolicySetting {
  enum class Kind { kAbsent, kNumber, kText, kOther };
  Kind kind = Kind::kAbsent;
  uint32_t number = 0;  // kNumber
  std::string text;     // kText
};

// Whether a browser takes native-messaging hosts registered for one user
// (HKCU) under its policy "NativeMessagingUserLevelHosts": the machine's
// setting decides when it has one the browser reads, the user's otherwise;
// with neither, such hosts are allowed.
enum class PolicySource { kNone, kMachine, kUser };
struct UserLevelHostsVerdict {
  bool forbidden = false;
  PolicySource source = PolicySource::kNone;  // the setting that decided
};
UserLevelHostsVerdict JudgeUserLevelHosts(const PolicySetting& machine, const PolicySetting& user);

// Replaces %1 ... %9 in a text by the given values (a missing value by
// nothing); "%%" stays one "%".
std::string FillPlaceholders(const std::string& text, std::initializer_list<std::string> values);

}  // namespace kv
