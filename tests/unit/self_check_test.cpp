// The self-check's judging of host manifests and answers, and the host's
// command line.
#include <gtest/gtest.h>

#include "core/command_line.h"
#include "core/framing.h"
#include "core/self_check.h"

namespace kv {
namespace {

constexpr char kName[] = "com.kvcapture.host";
constexpr char kId[] = "abcdefghijklmnopabcdefghijklmnop";

TEST(SelfCheckManifest, EachProblemIsFoundFirstInOrder) {
  struct Case {
    const char* text;
    ManifestProblem problem;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBF// written by "
       "hand\n{\"name\":\"com.kvcapture.host\",\"path\":\"KvCaptureExt.exe\","
       "\"type\":\"stdio\",\"allowed_origins\":[\"chrome-extension://x/\","
       "\"chrome-extension://abcdefghijklmnopabcdefghijklmnop/\"]}",
       ManifestProblem::kNone},
      {"", ManifestProblem::kNotJson},
      {"[\"com.kvcapture.host\"]", ManifestProblem::kNotJson},
      {"{\"name\":\"com.kvcapture.host\",}", ManifestProblem::kNotJson},
      {"{\"name\":\"com.other.host\",\"path\":\"a.exe\"}", ManifestProblem::kWrongName},
      {"{\"name\":\"com.kvcapture.host\",\"path\":7,\"type\":\"stdio\"}", ManifestProblem::kNoPath},
      {"{\"name\":\"com.kvcapture.host\",\"path\":\"a.exe\",\"type\":\"Stdio\"}",
       ManifestProblem::kWrongType},
      {"{\"name\":\"com.kvcapture.host\",\"path\":\"a.exe\",\"type\":\"stdio\","
       "\"allowed_origins\":\"chrome-extension://abcdefghijklmnopabcdefghijklmnop/\"}",
       ManifestProblem::kOriginMissing},
      {"{\"name\":\"com.kvcapture.host\",\"path\":\"a.exe\",\"type\":\"stdio\","
       "\"allowed_origins\":[\"chrome-extension://abcdefghijklmnopabcdefghijklmnop\"]}",
       ManifestProblem::kOriginMissing},  // the origin ends with a slash
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckHostManifest(c.text, kName, kId).problem, c.problem) << c.text;
  }
  ManifestVerdict wrong =
      CheckHostManifest("{\"name\":\"x\",\"path\":\"C:\\\\k.exe\"}", kName, kId);
  EXPECT_EQ(wrong.name, "x");
  EXPECT_EQ(wrong.path, "C:\\k.exe");
}

TEST(SelfCheckManifest, ProgramIsFoundAsTheBrowserFindsIt) {
  const std::string manifest = "C:\\Kv Capture\\com.kvcapture.host.json";
  EXPECT_EQ(ResolveManifestProgram(manifest, "KvCaptureExt.exe"),
            "C:\\Kv Capture\\KvCaptureExt.exe");
  EXPECT_EQ(ResolveManifestProgram(manifest, "bin/KvCaptureExt.exe"),
            "C:\\Kv Capture\\bin\\KvCaptureExt.exe");
  EXPECT_EQ(ResolveManifestProgram(manifest, "D:/kv/KvCaptureExt.exe"), "D:\\kv\\KvCaptureExt.exe");
  EXPECT_EQ(ResolveManifestProgram(manifest, "\\\\server\\kv\\k.exe"), "\\\\server\\kv\\k.exe");
}

TEST(SelfCheckAnswer, OneFramedEventIsAnAnswer) {
  EXPECT_EQ(JudgeHostAnswer(FrameMessage("{\"EventName\":\"OnExit\"}\n")), HostAnswer::kAnswered);
  EXPECT_EQ(JudgeHostAnswer(""), HostAnswer::kSilent);
  EXPECT_EQ(JudgeHostAnswer("KvCa"), HostAnswer::kGarbled);  // text where a length belongs
  EXPECT_EQ(JudgeHostAnswer(FrameMessage("{\"EventName\":\"OnExit\"}").substr(0, 10)),
            HostAnswer::kGarbled);
  EXPECT_EQ(JudgeHostAnswer(FrameMessage("{\"EventName\":\"OnExit\"}") + "x"),
            HostAnswer::kGarbled);
  EXPECT_EQ(JudgeHostAnswer(FrameMessage("{\"arg1\":\"\"}")), HostAnswer::kGarbled);
}

PolicySetting Number(uint32_t n) {
  PolicySetting s;
  s.kind = PolicySetting::Kind::kNumber;
  s.number = n;
  return s;
}

PolicySetting Text(const char* text) {
  PolicySetting s;
  s.kind = PolicySetting::Kind::kText;
  s.text = text;
  return s;
}

TEST(SelfCheckPolicy, UserLevelHostsFollowTheDecidingSetting) {
  const PolicySetting absent, binary{PolicySetting::Kind::kOther, 0, ""};
  EXPECT_FALSE(JudgeUserLevelHosts(absent, absent).forbidden);
  EXPECT_EQ(JudgeUserLevelHosts(absent, absent).source, PolicySource::kNone);
  // The machine's setting wins over the user's, either way.
  UserLevelHostsVerdict machineNo = JudgeUserLevelHosts(Number(0), Number(1));
  EXPECT_TRUE(machineNo.forbidden);
  EXPECT_EQ(machineNo.source, PolicySource::kMachine);
  EXPECT_FALSE(JudgeUserLevelHosts(Number(1), Number(0)).forbidden);
  // A user's "no" counts when the machine has no setting the browser reads.
  for (const PolicySetting& machine : {absent, binary, Text("no"), Text(""), Text("4294967296")}) {
    UserLevelHostsVerdict v = JudgeUserLevelHosts(machine, Number(0));
    EXPECT_TRUE(v.forbidden);
    EXPECT_EQ(v.source, PolicySource::kUser);
  }
  // Texts holding whole numbers read as those numbers.
  EXPECT_TRUE(JudgeUserLevelHosts(Text("0"), absent).forbidden);
  EXPECT_TRUE(JudgeUserLevelHosts(Text("-0"), absent).forbidden);
  EXPECT_FALSE(JudgeUserLevelHosts(Text("2"), Number(0)).forbidden);
  EXPECT_FALSE(JudgeUserLevelHosts(Text("-2147483648"), Number(0)).forbidden);
  EXPECT_EQ(JudgeUserLevelHosts(Text(" 0"), absent).source, PolicySource::kNone);
  EXPECT_FALSE(JudgeUserLevelHosts(Number(7), absent).forbidden);
}

TEST(SelfCheckText, PlaceholdersAreFilledOnce) {
  EXPECT_EQ(FillPlaceholders("%1, %2: %3 (100%%)", {"Chrome", "%1", "x"}), "Chrome, %1: x (100%)");
  EXPECT_EQ(FillPlaceholders("%2 and %9%", {"a"}), " and %");
}

TEST(HostCommandLine, ModesAndTheCallersWindow) {
  EXPECT_EQ(ParseHostCommandLine({}).mode, HostMode::kServe);
  EXPECT_EQ(ParseHostCommandLine({"/INSTALL"}).mode, HostMode::kInstall);
  HostCommandLine check = ParseHostCommandLine({"/Check", "cn"});
  EXPECT_EQ(check.mode, HostMode::kCheck);
  EXPECT_EQ(check.checkLanguage, "cn");
  HostCommandLine pin = ParseHostCommandLine({"/pin", "C:\\a b.bmp", "-1920", "300"});
  EXPECT_EQ(pin.mode, HostMode::kPin);
  EXPECT_EQ(pin.pinFileArg, 1u);
  EXPECT_TRUE(pin.pinPlaced);
  EXPECT_EQ(pin.pinX, -1920);
  EXPECT_EQ(pin.pinY, 300);
  EXPECT_FALSE(ParseHostCommandLine({"/pin", "f.bmp", "10", "1e3"}).pinPlaced);
  EXPECT_FALSE(ParseHostCommandLine({"/pin", "f.bmp", "10"}).pinPlaced);
  EXPECT_EQ(ParseHostCommandLine({"/pin"}).mode, HostMode::kServe);  // no file
  // Chrome: the origin first, the window after it.
  HostCommandLine chrome =
      ParseHostCommandLine({"chrome-extension://abc/", "--parent-window=1378"});
  EXPECT_EQ(chrome.mode, HostMode::kServe);
  EXPECT_EQ(chrome.parentWindow, 1378u);
  EXPECT_EQ(ParseHostCommandLine({"x", "--parent-window=18446744073709551615"}).parentWindow,
            UINT64_MAX);
  for (const char* bad :
       {"--parent-window=", "--parent-window=-5", "--parent-window= 5", "--parent-window=0x10",
        "--parent-window=18446744073709551616", "--parent-window=12a"}) {
    EXPECT_EQ(ParseHostCommandLine({"chrome-extension://abc/", bad}).parentWindow, 0u) << bad;
  }
}

}  // namespace
}  // namespace kv
