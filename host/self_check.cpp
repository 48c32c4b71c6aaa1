// The self-check: registrations with the browsers, a trial run of the host
// as the browser starts it, the capture folder and the files beside the
// program. The judging of manifests and answers lives in core/self_check.
#include "host/self_check.h"

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "core/languages.h"
#include "core/self_check.h"
#include "output/capture_path.h"
#include "winutil/codepage.h"
#include "winutil/module_path.h"
#include "winutil/scoped_win.h"

namespace kv {

namespace {

constexpr char kHostName[] = KV_HOST_NAME;
constexpr char kExtensionId[] = KV_EXTENSION_ID;
// Longest manifest read; a real one is a few hundred bytes.
constexpr DWORD kMaxManifestBytes = 1 << 20;
// How long the trial run may take (a first Wine start is slow).
constexpr DWORD kHostRunSeconds = 20;

enum class Status { kPass, kFail, kInfo };

struct Line {
  Status status;
  std::string text;  // UTF-8
  std::string fix;   // UTF-8, "" when none
};

std::vector<Line> lines;

std::string Say(const char* key, std::initializer_list<std::string> values = {}) {
  const char* text = UiTextUtf8(key, CurrentUiLanguage());
  return FillPlaceholders(text ? text : kMissingTranslation, values);
}

void Report(Status status, std::string text, const char* fixKey = nullptr) {
  lines.push_back({status, std::move(text), fixKey ? Say(fixKey) : std::string()});
}

std::string ModuleFolder() {
  const std::wstring folder = ProgramFolder();
  return folder.empty() ? std::string() : WideToUtf8(folder + L"\\");
}

DWORD Attributes(const std::string& path) { return GetFileAttributesW(Utf8ToWide(path).c_str()); }

bool IsFile(const std::string& path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// The first `limit` bytes of a file; false when it cannot be read.
bool ReadFileStart(const std::string& path, DWORD limit, std::string* bytes) {
  ScopedFile file(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  bytes->assign(limit, '\0');
  DWORD got = 0;
  if (!ReadFile(file.get(), &(*bytes)[0], limit, &got, nullptr)) return false;
  bytes->resize(got);
  return true;
}

// ------------------------------------------------------------ registrations

struct Browser {
  const char* name;
  const wchar_t* key;     // below HKCU or HKLM
  const wchar_t* policy;  // its policies, below HKLM and HKCU; nullptr: not checked
};
const Browser kBrowsers[] = {
    {"Google Chrome", L"Software\\Google\\Chrome\\NativeMessagingHosts\\",
     L"Software\\Policies\\Google\\Chrome"},
    {"Chromium", L"Software\\Chromium\\NativeMessagingHosts\\", L"Software\\Policies\\Chromium"},
    {"Microsoft Edge", L"Software\\Microsoft\\Edge\\NativeMessagingHosts\\",
     L"Software\\Policies\\Microsoft\\Edge"},
    {"Brave", L"Software\\BraveSoftware\\Brave-Browser\\NativeMessagingHosts\\",
     L"Software\\Policies\\BraveSoftware\\Brave"},
    {"Vivaldi", L"Software\\Vivaldi\\NativeMessagingHosts\\", nullptr},
};
constexpr wchar_t kUserLevelHostsPolicy[] = L"NativeMessagingUserLevelHosts";

// A registry key as the browser reads it: the user's first, then the
// machine's in the 32-bit and then the 64-bit view.
struct Scope {
  HKEY root;
  REGSAM view;
  const char* rootName;
  const char* label;  // key of the string table
};
const Scope kScopes[] = {
    {HKEY_CURRENT_USER, 0, "HKCU", "this user"},
    {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "HKLM", "all users"},
    {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "HKLM", "all users"},
};

// Opens the key; false when it does not exist. *manifest gets its default
// value ("" when missing or not a text).
bool ReadRegistration(const Scope& scope, const std::wstring& key, std::string* manifest) {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(scope.root, key.c_str(), 0, KEY_QUERY_VALUE | scope.view, &raw) !=
      ERROR_SUCCESS)
    return false;
  ScopedRegKey open(raw);
  DWORD type = 0, size = 0;
  manifest->clear();
  if (RegQueryValueExW(raw, nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size < sizeof(wchar_t) || size > 65536)
    return true;
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(raw, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(&value[0]), &size) !=
      ERROR_SUCCESS)
    return true;
  value.resize(wcsnlen(value.c_str(), value.size()));
  if (type == REG_EXPAND_SZ) {
    wchar_t expanded[MAX_PATH * 4] = {};
    DWORD n = ExpandEnvironmentStringsW(value.c_str(), expanded, MAX_PATH * 4);
    if (n > 0 && n <= MAX_PATH * 4) value = expanded;
  }
  *manifest = WideToUtf8(value);
  return true;
}

// Checks one registration; returns the host program it names when it is
// sound, "" otherwise.
std::string CheckRegistration(const Browser& browser, const Scope& scope,
                              const std::string& keyText, const std::string& manifestPath) {
  const std::string who = browser.name, where = Say(scope.label);
  const char* kReregister = "Fix: run register-host.cmd in the folder that holds KvCaptureExt.exe.";
  const char* kRecopy =
      "Fix: copy com.kvcapture.host.json from the release folder again, then run "
      "register-host.cmd.";
  if (manifestPath.empty()) {
    Report(Status::kFail,
           Say("%1, %2: the registry key %3 names no manifest file.", {who, where, keyText}),
           kReregister);
    return std::string();
  }
  std::string text;
  if (!IsFile(manifestPath) || !ReadFileStart(manifestPath, kMaxManifestBytes, &text)) {
    Report(Status::kFail,
           Say("%1, %2: the manifest file %3 named in the registry cannot be read.",
               {who, where, manifestPath}),
           kReregister);
    return std::string();
  }
  ManifestVerdict verdict = CheckHostManifest(text, kHostName, kExtensionId);
  std::string program;
  switch (verdict.problem) {
    case ManifestProblem::kNotJson:
      Report(Status::kFail,
             Say("%1, %2: the manifest %3 is not valid JSON.", {who, where, manifestPath}),
             kRecopy);
      return std::string();
    case ManifestProblem::kWrongName:
      Report(Status::kFail,
             Say("%1, %2: the manifest %3 has the name \"%4\" instead of \"%5\".",
                 {who, where, manifestPath, verdict.name, kHostName}),
             kRecopy);
      return std::string();
    case ManifestProblem::kNoPath:
      Report(Status::kFail,
             Say("%1, %2: the manifest %3 names no host program (\"path\").",
                 {who, where, manifestPath}),
             kRecopy);
      return std::string();
    case ManifestProblem::kWrongType:
      Report(Status::kFail,
             Say("%1, %2: the manifest %3 does not say \"type\": \"stdio\".",
                 {who, where, manifestPath}),
             kRecopy);
      return std::string();
    case ManifestProblem::kOriginMissing:
      Report(Status::kFail,
             Say("%1, %2: the manifest %3 does not allow the extension %4 (\"allowed_origins\").",
                 {who, where, manifestPath, ExtensionOrigin(kExtensionId)}),
             kRecopy);
      return std::string();
    case ManifestProblem::kNone:
      program = ResolveManifestProgram(manifestPath, verdict.path);
      break;
  }
  if (!IsFile(program)) {
    Report(Status::kFail,
           Say("%1, %2: the host program %4 named by the manifest %3 does not exist.",
               {who, where, manifestPath, program}),
           kReregister);
    return std::string();
  }
  Report(Status::kPass, Say("%1, %2: registered; the manifest %3 is valid, the host program is %4.",
                            {who, where, manifestPath, program}));
  return program;
}

// The policy value as one place of the registry holds it.
PolicySetting ReadPolicySetting(HKEY root, REGSAM view, const wchar_t* key) {
  PolicySetting setting;
  HKEY raw = nullptr;
  if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | view, &raw) != ERROR_SUCCESS) return setting;
  ScopedRegKey open(raw);
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(raw, kUserLevelHostsPolicy, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return setting;
  setting.kind = PolicySetting::Kind::kOther;
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    DWORD number = 0;
    if (RegQueryValueExW(raw, kUserLevelHostsPolicy, nullptr, &type,
                         reinterpret_cast<BYTE*>(&number), &size) == ERROR_SUCCESS) {
      setting.kind = PolicySetting::Kind::kNumber;
      setting.number = number;
    }
  } else if (type == REG_SZ && size <= 256) {
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(raw, kUserLevelHostsPolicy, nullptr, &type,
                         reinterpret_cast<BYTE*>(&text[0]), &size) == ERROR_SUCCESS) {
      text.resize(wcsnlen(text.c_str(), text.size()));
      setting.kind = PolicySetting::Kind::kText;
      setting.text = WideToUtf8(text);
    }
  }
  return setting;
}

// Reports the browser's policy when it keeps the browser from using hosts
// registered for one user: a failure when the user's registration is all
// the browser has, a note otherwise.
void CheckUserLevelHostsPolicy(const Browser& browser, bool userRegistered, bool machineSound) {
  if (!browser.policy) return;
  UserLevelHostsVerdict verdict =
      JudgeUserLevelHosts(ReadPolicySetting(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, browser.policy),
                          ReadPolicySetting(HKEY_CURRENT_USER, 0, browser.policy));
  if (!verdict.forbidden) return;
  const std::string key =
      std::string(verdict.source == PolicySource::kMachine ? "HKLM\\" : "HKCU\\") +
      WideToUtf8(browser.policy);
  std::string text =
      Say("%1: the policy NativeMessagingUserLevelHosts (%2) forbids capture "
          "programs registered for one user; the browser ignores registrations "
          "under HKCU.",
          {browser.name, key});
  if (!userRegistered || machineSound)
    Report(Status::kInfo, std::move(text));
  else
    Report(Status::kFail, std::move(text),
           "Fix: ask your administrator to allow them (NativeMessagingUserLevelHosts set to 1 or "
           "removed), or to register KvCapture for all users under HKLM.");
}

// Checks every browser in every scope; returns the program of the first
// sound registration in the browsers' order, "" when there is none.
std::string CheckRegistrations() {
  std::string firstProgram;
  bool anySound = false;
  const std::wstring host = Utf8ToWide(kHostName);
  for (const Browser& browser : kBrowsers) {
    bool userRegistered = false, machineSound = false;
    // The user's key, then the machine's (32-bit view first, as the
    // browser reads it); one line for each of the two places.
    for (int place = 0; place < 2; ++place) {
      const Scope* found = nullptr;
      std::string manifest;
      int first = place == 0 ? 0 : 1, last = place == 0 ? 0 : 2;
      for (int s = first; s <= last && !found; ++s) {
        if (ReadRegistration(kScopes[s], browser.key + host, &manifest)) found = &kScopes[s];
      }
      const Scope& scope = found ? *found : kScopes[first];
      std::string keyText =
          std::string(scope.rootName) + "\\" + WideToUtf8(browser.key) + kHostName;
      if (!found) {
        Report(Status::kInfo,
               Say("%1, %2: not registered (key %3).", {browser.name, Say(scope.label), keyText}));
        continue;
      }
      userRegistered = userRegistered || place == 0;
      std::string program = CheckRegistration(browser, scope, keyText, manifest);
      if (!program.empty()) {
        anySound = true;
        machineSound = machineSound || place == 1;
        if (firstProgram.empty()) firstProgram = program;
      }
    }
    CheckUserLevelHostsPolicy(browser, userRegistered, machineSound);
  }
  if (!anySound) {
    Report(Status::kFail, Say("No browser has the capture program registered."),
           "Fix: run register-host.cmd in the folder that holds KvCaptureExt.exe.");
  }
  return firstProgram;
}

// ------------------------------------------------------------ trial run

struct TrialRun {
  bool started = false;
  DWORD error = 0;
  bool finished = false;
  DWORD exitCode = 0;
  std::string output;
};

// Starts `program` as the browser does: standard input and output on
// pipes, the extension's origin and a parent window as arguments; writes
// one framed request and collects the answer until the program ends.
TrialRun RunHostOnce(const std::string& program) {
  TrialRun run;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
  if (!CreatePipe(&inRead, &inWrite, &inherit, 0)) {
    run.error = GetLastError();
    return run;
  }
  ScopedHandle childIn(inRead), toChild(inWrite);
  if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) {
    run.error = GetLastError();
    return run;
  }
  ScopedHandle fromChild(outRead), childOut(outWrite);
  SetHandleInformation(toChild.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(fromChild.get(), HANDLE_FLAG_INHERIT, 0);

  std::wstring line = L"\"" + Utf8ToWide(program) + L"\" " +
                      Utf8ToWide(ExtensionOrigin(kExtensionId)) + L" --parent-window=0";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = childIn.get();
  si.hStdOutput = childOut.get();
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  std::vector<wchar_t> buffer(line.begin(), line.end());
  buffer.push_back(L'\0');
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &si, &pi)) {
    run.error = GetLastError();
    return run;
  }
  run.started = true;
  ScopedHandle process(pi.hProcess), thread(pi.hThread);
  childIn.reset();
  childOut.reset();

  // An unknown command: every host answers it with one event.
  const std::string body = "{\"Command\":\"KvCaptureSelfCheck\"}";
  std::string frame(4, '\0');
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>((body.size() >> (8 * i)) & 0xFF);
  frame += body;
  DWORD written = 0;
  WriteFile(toChild.get(), frame.data(), static_cast<DWORD>(frame.size()), &written, nullptr);
  toChild.reset();

  // The end of the program, not the end of the pipe, ends the collection:
  // a process the host causes to start may inherit the pipe.
  DWORD deadline = GetTickCount() + kHostRunSeconds * 1000;
  for (;;) {
    DWORD available = 0;
    while (PeekNamedPipe(fromChild.get(), nullptr, 0, nullptr, &available, nullptr) && available) {
      char chunk[4096];
      DWORD got = 0;
      if (!ReadFile(fromChild.get(), chunk, available < sizeof chunk ? available : sizeof chunk,
                    &got, nullptr) ||
          got == 0)
        break;
      if (run.output.size() < (2u << 20)) run.output.append(chunk, got);
    }
    if (run.finished) break;
    if (WaitForSingleObject(process.get(), 50) == WAIT_OBJECT_0) {
      run.finished = true;  // one more look at the pipe
      GetExitCodeProcess(process.get(), &run.exitCode);
      continue;
    }
    if (static_cast<LONG>(GetTickCount() - deadline) > 0) {
      TerminateProcess(process.get(), 1);
      break;
    }
  }
  return run;
}

void CheckHostRun(const std::string& program) {
  const char* kFix =
      "Fix: finish any capture still open and try again; otherwise copy the release folder again.";
  TrialRun run = RunHostOnce(program);
  if (!run.started) {
    Report(Status::kFail,
           Say("The capture program %1 could not be started (error %2).",
               {program, std::to_string(run.error)}),
           kFix);
    return;
  }
  if (!run.finished) {
    Report(Status::kFail,
           Say("The capture program %1 did not answer within %2 seconds.",
               {program, std::to_string(kHostRunSeconds)}),
           kFix);
    return;
  }
  switch (JudgeHostAnswer(run.output)) {
    case HostAnswer::kAnswered:
      Report(Status::kPass,
             Say("The capture program %1 started and answered a request.", {program}));
      break;
    case HostAnswer::kSilent:
      Report(Status::kFail,
             Say("The capture program %1 ended without an answer (exit code %2).",
                 {program, std::to_string(static_cast<int>(run.exitCode))}),
             kFix);
      break;
    case HostAnswer::kGarbled:
      Report(Status::kFail,
             Say("The capture program %1 answered something that is not a message.", {program}),
             kFix);
      break;
  }
}

// ------------------------------------------------------------ folders and files

void CheckCaptureFolder() {
  std::string folder = WideToUtf8(CaptureFolderWide());
  bool writable = false;
  if (!folder.empty()) {
    std::wstring wide = Utf8ToWide(folder);
    CreateDirectoryW(wide.c_str(), nullptr);
    std::wstring probe =
        wide + L"KvCapture-check-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    ScopedFile file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    DWORD written = 0;
    writable = file && WriteFile(file.get(), "KvCapture", 9, &written, nullptr) && written == 9;
  }
  if (writable)
    Report(Status::kPass, Say("The capture folder %1 is writable.", {folder}));
  else
    Report(Status::kFail, Say("The capture folder %1 cannot be written to.", {folder}),
           "Fix: check the TEMP setting of your user account and the rights on that folder.");
}

void CheckReleaseFiles() {
  const char* kFix = "Fix: copy the whole release folder again; its files belong together.";
  const std::string folder = ModuleFolder();
  const std::string assistant = folder + "KvCaptureCrxInstall.exe";
  const std::string package = folder + "KvCapture.crx";
  const std::string unpacked = folder + "extension";
  if (!IsFile(assistant))
    Report(Status::kFail, Say("The install assistant %1 is missing.", {assistant}), kFix);
  std::string magic;
  if (IsFile(package) && ReadFileStart(package, 4, &magic) && magic == "Cr24")
    Report(Status::kPass,
           Say("The extension package %1 lies beside the install assistant.", {package}));
  else
    Report(Status::kFail,
           Say("The extension package %1 is missing or damaged; it belongs beside the install "
               "assistant.",
               {package}),
           kFix);
  if (IsFile(unpacked + "\\manifest.json"))
    Report(Status::kPass,
           Say("The unpacked extension %1 is there for \"Load unpacked\".", {unpacked}));
  else
    Report(Status::kFail, Say("The unpacked extension %1 is missing.", {unpacked}), kFix);
}

// ------------------------------------------------------------ output

// A console gets UTF-16 and colours; a file or pipe gets UTF-8.
void Print(HANDLE out, bool console, const std::string& utf8, WORD colour, WORD normal) {
  if (console) {
    if (colour) SetConsoleTextAttribute(out, colour);
    std::wstring wide = Utf8ToWide(utf8);
    DWORD written = 0;
    WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    if (colour) SetConsoleTextAttribute(out, normal);
  } else {
    DWORD written = 0;
    WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  }
}

int PrintReport(const std::string& header) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  bool console = GetConsoleMode(out, &mode) != FALSE;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  WORD normal = console && GetConsoleScreenBufferInfo(out, &info)
                    ? info.wAttributes
                    : FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
  const WORD kGreen = FOREGROUND_GREEN | FOREGROUND_INTENSITY;
  const WORD kRed = FOREGROUND_RED | FOREGROUND_INTENSITY;
  Print(out, console, header + "\r\n", 0, normal);
  int problems = 0;
  for (const Line& line : lines) {
    const char* mark = line.status == Status::kPass   ? "[ OK ] "
                       : line.status == Status::kFail ? "[FAIL] "
                                                      : "[ -- ] ";
    WORD colour = line.status == Status::kPass ? kGreen : line.status == Status::kFail ? kRed : 0;
    if (line.status == Status::kFail) ++problems;
    Print(out, console, mark, colour, normal);
    Print(out, console, line.text + "\r\n", line.status == Status::kFail ? kRed : 0, normal);
    if (!line.fix.empty()) Print(out, console, "       " + line.fix + "\r\n", 0, normal);
  }
  if (problems == 0)
    Print(out, console, Say("Everything holds.") + "\r\n", kGreen, normal);
  else
    Print(out, console, Say("Problems found: %1.", {std::to_string(problems)}) + "\r\n", kRed,
          normal);
  return problems == 0 ? 0 : 1;
}

}  // namespace

int RunSelfCheck(const std::string& languageCode) {
  if (!SelectUiLanguage(languageCode))
    SelectUiLanguage(DefaultUiLanguageFor(GetUserDefaultUILanguage()));
  const std::string selfPath = WideToUtf8(ProgramPath());

  std::string program = CheckRegistrations();
  CheckHostRun(program.empty() ? selfPath : program);
  CheckCaptureFolder();
  CheckReleaseFiles();
  return PrintReport(Say("KvCapture self-check of %1", {selfPath}));
}

}  // namespace kv
