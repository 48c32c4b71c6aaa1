#include "core/self_check.h"

#include <cstdint>
#include <vector>

#include <nlohmann/json.hpp>

namespace kv {

namespace {

using json = nlohmann::json;

bool ParseObject(const std::string& text, json* out) {
  std::string body = text;
  if (body.compare(0, 3, "\xEF\xBB\xBF") == 0) body.erase(0, 3);
  *out = json::parse(body, nullptr, /*allow_exceptions=*/false, /*ignore_comments=*/true);
  return out->is_object();
}

bool IsTextMember(const json& object, const char* key) {
  auto it = object.find(key);
  return it != object.end() && it->is_string();
}

// The yes or no a policy setting gives, when the browser reads one in it.
bool PolicyFlag(const PolicySetting& setting, bool* flag) {
  if (setting.kind == PolicySetting::Kind::kNumber) {
    *flag = setting.number != 0;
    return true;
  }
  if (setting.kind != PolicySetting::Kind::kText) return false;
  // A whole decimal number that fits 32 bits, an optional sign first,
  // nothing else.
  const std::string& s = setting.text;
  const bool negative = !s.empty() && s[0] == '-';
  size_t i = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
  if (i == s.size()) return false;
  const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
  int64_t value = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + (s[i] - '0');
    if (value > limit) return false;
  }
  *flag = value != 0;
  return true;
}

}  // namespace

UserLevelHostsVerdict JudgeUserLevelHosts(const PolicySetting& machine, const PolicySetting& user) {
  UserLevelHostsVerdict verdict;
  bool allowed = true;
  if (PolicyFlag(machine, &allowed)) {
    verdict.source = PolicySource::kMachine;
  } else if (PolicyFlag(user, &allowed)) {
    verdict.source = PolicySource::kUser;
  }
  verdict.forbidden = !allowed;
  return verdict;
}

std::string ExtensionOrigin(const std::string& extensionId) {
  return "chrome-extension://" + extensionId + "/";
}

ManifestVerdict CheckHostManifest(const std::string& text, const std::string& hostName,
                                  const std::string& extensionId) {
  ManifestVerdict verdict;
  json manifest;
  if (!ParseObject(text, &manifest)) {
    verdict.problem = ManifestProblem::kNotJson;
    return verdict;
  }
  if (IsTextMember(manifest, "name")) verdict.name = manifest["name"].get<std::string>();
  if (IsTextMember(manifest, "path")) verdict.path = manifest["path"].get<std::string>();
  if (verdict.name != hostName) {
    verdict.problem = ManifestProblem::kWrongName;
  } else if (verdict.path.empty()) {
    verdict.problem = ManifestProblem::kNoPath;
  } else if (!IsTextMember(manifest, "type") || manifest["type"] != "stdio") {
    verdict.problem = ManifestProblem::kWrongType;
  } else {
    const std::string origin = ExtensionOrigin(extensionId);
    bool allowed = false;
    auto origins = manifest.find("allowed_origins");
    if (origins != manifest.end() && origins->is_array()) {
      for (const json& item : *origins) allowed = allowed || (item.is_string() && item == origin);
    }
    if (!allowed) verdict.problem = ManifestProblem::kOriginMissing;
  }
  return verdict;
}

std::string ResolveManifestProgram(const std::string& manifestPath, const std::string& path) {
  std::string program = path;
  for (char& c : program) {
    if (c == '/') c = '\\';
  }
  bool absolute = (program.size() >= 3 && program[1] == ':' && program[2] == '\\') ||
                  program.compare(0, 2, "\\\\") == 0;
  if (absolute) return program;
  std::string folder = manifestPath;
  for (char& c : folder) {
    if (c == '/') c = '\\';
  }
  size_t slash = folder.find_last_of('\\');
  folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
  return folder + program;
}

HostAnswer JudgeHostAnswer(const std::string& output) {
  if (output.empty()) return HostAnswer::kSilent;
  if (output.size() < 4) return HostAnswer::kGarbled;
  const auto* p = reinterpret_cast<const unsigned char*>(output.data());
  uint32_t length = p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
  if (output.size() - 4 != length) return HostAnswer::kGarbled;
  json event;
  if (!ParseObject(output.substr(4), &event) || !IsTextMember(event, "EventName"))
    return HostAnswer::kGarbled;
  return HostAnswer::kAnswered;
}

std::string FillPlaceholders(const std::string& text, std::initializer_list<std::string> values) {
  std::vector<std::string> list(values);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size()) {
      char next = text[i + 1];
      if (next == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (next >= '1' && next <= '9') {
        size_t index = static_cast<size_t>(next - '1');
        if (index < list.size()) out += list[index];
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace kv
