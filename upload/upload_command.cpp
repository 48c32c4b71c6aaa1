// The "Upload" command: posts the capture file and the "PostParams" fields
// to the upload address on a worker thread, which reports the server's
// answer and ends the process.
#include "upload/upload.h"

#include <fcntl.h>
#include <io.h>
#include <process.h>

#include <atomic>
#include <cstdio>
#include <new>
#include <string>

#include "core/event.h"
#include "core/framing.h"
#include "core/multipart.h"
#include "core/utf8.h"
#include "host/host.h"
#include "output/capture_path.h"
#include "upload/w3client.h"
#include "winutil/codepage.h"

namespace kv {

namespace {

// The worker: kept, never waited on.
HANDLE uploadThread = nullptr;
// The main thread's window that the worker hands its outcome to; set
// before the worker starts.
HWND reportWindow = nullptr;

// Watched by the main thread once a second: a step of the transfer that
// overruns ends the upload as failed, whatever the worker is blocked in.
StepDeadline transferStep;
constexpr UINT kWatchdogPeriodMs = 1000;
// Set by whichever thread writes the one event of the process.
std::atomic<bool> eventClaimed{false};

// The answer's bytes as they arrive, shared with the watchdog: when a step
// overruns after part of the answer came, that part is the answer. Made
// before the worker starts and never freed: the process may end from either
// thread while the other still holds it.
struct ReceivedAnswer {
  CRITICAL_SECTION lock;
  std::string bytes;
};
ReceivedAnswer* receivedAnswer = nullptr;

void AppendToAnswer(const char* data, size_t size) {
  EnterCriticalSection(&receivedAnswer->lock);
  receivedAnswer->bytes.append(data, size);
  LeaveCriticalSection(&receivedAnswer->lock);
}

std::string AnswerBytesSoFar() {
  EnterCriticalSection(&receivedAnswer->lock);
  std::string copy = receivedAnswer->bytes;
  LeaveCriticalSection(&receivedAnswer->lock);
  return copy;
}

// No message can carry more than kMaxEventBytes of answer (escaping and
// conversion only make it longer), so reading stops a little past that: the
// event is the same, and an endless answer cannot exhaust memory.
constexpr size_t kMaxAnswerBytes = kMaxEventBytes + 4;

const char kByteOrderMark[] = "\xEF\xBB\xBF";

// Writes an upload event whose arg1 is already UTF-8 (a marked answer may
// hold characters that the ANSI code page cannot), with the size rule.
void WriteUploadEvent(const char* eventName, const std::string& utf8Arg1) {
  WriteFrame(FrameMessage(EventTextLimited(eventName, utf8Arg1, std::string(), kMaxEventBytes)));
}

// Writes the outcome and ends the process: "OnUploadCompleted" with a
// non-empty answer (exit code 0), else "OnUploadFailed" (-1). Only the first
// caller writes; a later one waits for the process to end. Called on the
// main thread, which gives up the single-instance marks first.
[[noreturn]] void ReportAndEnd(const std::string& utf8Answer) {
  if (eventClaimed.exchange(true)) {
    for (;;) Sleep(INFINITE);
  }
  if (!utf8Answer.empty()) {
    WriteUploadEvent("OnUploadCompleted", utf8Answer);
    EndProcess(0);
  }
  WriteUploadEvent("OnUploadFailed", std::string());
  EndProcess(-1);
}

// The answer as UTF-8 text, up to its first zero byte. After a UTF-8
// byte-order mark the answer is UTF-8 (ill-formed bytes replaced); without
// one it is text in the ANSI code page, as every other event argument.
std::string AnswerText(const std::string& body) {
  if (body.compare(0, 3, kByteOrderMark) == 0) return SanitizeUtf8(CutAtZero(body.substr(3)));
  return AnsiToUtf8(CutAtZero(body));
}

void CALLBACK OnWatchdogTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (!transferStep.Passed()) return;
  std::string text;
  try {
    text = AnswerText(AnswerBytesSoFar());
  } catch (...) {
    // No memory for the copy: reported as a failed upload.
  }
  ReportAndEnd(text);
}

// A capture file is a file, not a folder.
bool IsCaptureFile(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Does the whole transfer of the file at `filePath` (UTF-8); the server's
// answer as UTF-8, or "" on any failure.
std::string UploadCaptureFile(const std::string& url, const std::string& filePath,
                              std::string fileField, const std::string& postParams) {
  if (fileField.empty()) fileField = "UploadFile";
  // A capture that cannot be read now would go out as an empty file and be
  // reported as uploaded.
  if (!OpenLocalFile(filePath)) return std::string();

  W3Client client;
  client.WatchSteps(&transferStep);
  if (!ConnectToUrl(AnsiToUtf8(url), &client)) return std::string();
  client.ClearPostFields();
  for (const auto& item : SplitPostParams(postParams)) {
    client.AddPostField(AnsiToUtf8(item.first), AnsiToUtf8(item.second));
  }
  client.AddPostFile(AnsiToUtf8(fileField), filePath, AnnouncedFileName(filePath));
  if (!SendMultipartRequest(client.ObjectPath(), &client)) {
    client.CloseHandles();
    return std::string();
  }

  // A failing read ends the reading: what came before is the answer.
  char piece[kResponsePiece];
  size_t received = 0;
  while (received < kMaxAnswerBytes) {
    size_t n = client.ReadResponse(piece);
    if (n == 0) break;
    AppendToAnswer(piece, n);
    received += n;
  }
  client.CloseHandles();
  return AnswerText(AnswerBytesSoFar());
}

unsigned __stdcall UploadWorker(void*) {
  const std::string postParams = captureRequest.postParams;
  const std::string fileField = captureRequest.fileField;
  const std::string filePath = WideToUtf8(CapturePathWide(captureRequest.fileName));
  const std::string url = captureRequest.uploadUrl;
  // The answer stays on this stack: the process may end from the watchdog
  // while the transfer still runs, and no static may be written then.
  std::string responseText;
  try {
    responseText = UploadCaptureFile(url, filePath, fileField, postParams);
  } catch (...) {
    // No answer: reported as a failed upload.
  }
  // The main thread reports: it holds the window and mutex that must be
  // given up before the event. Reported from here only when it cannot be
  // reached.
  auto* answer = new (std::nothrow) std::string(std::move(responseText));
  if (answer && PostMessageA(reportWindow, WM_UPLOAD_DONE, 0, reinterpret_cast<LPARAM>(answer))) {
    return 0;
  }
  ReportAndEnd(answer ? *answer : responseText);
}

}  // namespace

void OnUploadDone(LPARAM answer) {
  std::string text;
  if (auto* posted = reinterpret_cast<std::string*>(answer)) text.swap(*posted);
  ReportAndEnd(text);
}

HRESULT StartUpload() {
  const std::wstring filePath = CapturePathWide(captureRequest.fileName);
  const std::string& url = captureRequest.uploadUrl;
  if (url.empty() || filePath.empty() || !IsCaptureFile(filePath) || !HasUploadScheme(url)) {
    return E_FAIL;
  }
  receivedAnswer = new (std::nothrow) ReceivedAnswer;
  if (!receivedAnswer) return E_FAIL;
  InitializeCriticalSection(&receivedAnswer->lock);
  reportWindow = backgroundWindow;
  uintptr_t thread = _beginthreadex(nullptr, 0, UploadWorker, nullptr, 0, nullptr);
  if (thread == 0) return E_FAIL;
  uploadThread = reinterpret_cast<HANDLE>(thread);
  // A thread timer: the main thread's message loop runs it.
  SetTimer(nullptr, 0, kWatchdogPeriodMs, OnWatchdogTimer);
  return S_OK;
}

}  // namespace kv
