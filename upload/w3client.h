// W3Client: the host's small HTTP client over WinINet. One instance serves
// one transfer on the upload worker: connect, load form fields, send one
// multipart POST, read the answer, destroy.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/multipart.h"
#include "core/url.h"

namespace kv {

// Longest piece ReadResponse hands out.
constexpr size_t kResponsePiece = 4096;

// Time-outs of one transfer, in milliseconds. Name resolution, the TCP
// connection and the secure handshake each take a round trip or a few, so a
// server that has not completed one of them within 15 s (three SYN
// retransmissions) is not going to. Send and receive are bounded per
// operation at 30 s, the defaults of WinINet on Windows: long enough for a
// server that processes the upload before it answers, short enough that a
// server which stops reading or answering ends the host within a minute.
constexpr DWORD kConnectTimeoutMs = 15000;
constexpr DWORD kSendTimeoutMs = 30000;
constexpr DWORD kReceiveTimeoutMs = 30000;
constexpr DWORD kWatchSlackMs = 5000;

// The moment by which the client's current step must end, for a watchdog on
// another thread. Not every WinINet keeps its own time-outs: Wine's ignores
// the connect time-out, waits for ever on a silent secure handshake, and
// spends a receive time-out on every header line and again on the body.
// Steps watched: name resolution, TCP connection and secure handshake (each
// kConnectTimeoutMs), and the answer, which must make progress at least every
// kReceiveTimeoutMs + kWatchSlackMs (the slack lets WinINet's own time-out
// end a read first, so that the pieces read before still count). Sending the
// body is left to WinINet's send time-out: its length depends on the link.
class StepDeadline {
 public:
  void Arm(DWORD ms) { at_.store(GetTickCount64() + ms); }
  // Arms only when no step is running.
  void ArmIfIdle(DWORD ms) {
    ULONGLONG idle = 0;
    at_.compare_exchange_strong(idle, GetTickCount64() + ms);
  }
  void Disarm() { at_.store(0); }
  bool Passed() const {
    ULONGLONG at = at_.load();
    return at != 0 && GetTickCount64() > at;
  }

 private:
  std::atomic<ULONGLONG> at_{0};
};

class W3Client {
 public:
  W3Client() = default;
  // Frees the fields; closing the handles is the owner's business
  // (CloseHandles).
  virtual ~W3Client();
  W3Client(const W3Client&) = delete;
  W3Client& operator=(const W3Client&) = delete;

  // Opens the session and the connection. False (handles closed) on failure.
  virtual bool Connect(const char* serverName, int32_t port, const char* userName,
                       const char* password, SchemeKind scheme, const char* agent);
  // Opens and sends the multipart POST of the fields. Raises a failure text
  // instead of returning false.
  virtual bool RequestMultipartPost(const std::string& objectPath, const char* referrer);

  void AddPostField(const std::string& name, const std::string& value);
  // `path` in UTF-8 (OpenLocalFile).
  void AddPostFile(const std::string& name, const std::string& path,
                   const std::string& announcedName);
  void ClearPostFields();

  // Reads the next piece of the answer into `buffer`: what has arrived,
  // at most kResponsePiece bytes, waiting only until something has. 0 at
  // the end or on a failure (the request is then closed).
  size_t ReadResponse(char* buffer);

  // Closes the request, connection and session handles, in that order.
  void CloseHandles();

  const std::string& ObjectPath() const { return objectPath; }

  // Keeps `deadline` armed while a watched step runs (call before Connect).
  void WatchSteps(StepDeadline* deadline) { stepDeadline = deadline; }

 private:
  friend bool ConnectToUrl(const std::string& url, W3Client* client);
  friend bool SendMultipartRequest(const std::string& objectPath, W3Client* client);

  void OpenRequest(const char* verb, const std::string& objectPath, const char* referrer);
  void CloseRequest();
  void ArmStep(DWORD ms);
  void ArmStepIfIdle(DWORD ms);
  void EndStep();
  static void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, void* info,
                                DWORD infoLength);

  HINTERNET internetHandle = nullptr;
  HINTERNET connectHandle = nullptr;
  HINTERNET requestHandle = nullptr;
  std::string serverName;
  std::string userName;
  std::string password;
  std::string objectPath;
  int32_t port = 0;
  SchemeKind scheme = kSchemeHttp;
  std::vector<PostField> postFields;
  StepDeadline* stepDeadline = nullptr;
};

// Opens a local file, its path in UTF-8, for the body (read access, others
// may read too); null when it cannot be opened.
std::unique_ptr<FileSource> OpenLocalFile(const std::string& path);

// Splits the (UTF-8) URL, keeps its path as the object path and connects
// with the agent "Mozilla/4.0 (compatible; )". False when the URL cannot be
// connected to.
bool ConnectToUrl(const std::string& url, W3Client* client);

// Sends the multipart POST to `objectPath`; on failure the request handle is
// closed and cleared.
bool SendMultipartRequest(const std::string& objectPath, W3Client* client);

}  // namespace kv
