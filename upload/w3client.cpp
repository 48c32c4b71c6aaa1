#include "upload/w3client.h"

#include <memory>

#include "winutil/codepage.h"
#include "winutil/scoped_win.h"

namespace kv {

namespace {

constexpr char kAgent[] = "Mozilla/4.0 (compatible; )";
constexpr char kAcceptHeader[] = "Accept: */*\r\n";
constexpr char kContentTypeHeader[] =
    "Content-Type: multipart/form-data; boundary=--MULTI-PARTS-FORM-DATA-BOUNDARY\r\n";
static_assert(sizeof kAcceptHeader - 1 == 13, "Accept header length");
static_assert(sizeof kContentTypeHeader - 1 == 78, "Content-Type header length");

// The body goes to WinINet as one DWORD-sized write and its length into a
// decimal header: larger bodies are refused.
constexpr size_t kMaxBodyBytes = 0x7FFFFFFF;

bool IsOpen(HINTERNET h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

void Close(HINTERNET* h) {
  if (IsOpen(*h)) InternetCloseHandle(*h);
  *h = nullptr;
}

// Bounds every wait of the transfer (see the time-out constants).
void SetTimeouts(HINTERNET h) {
  struct {
    DWORD option, ms;
  } const kTimeouts[] = {
      {INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs},
      {INTERNET_OPTION_SEND_TIMEOUT, kSendTimeoutMs},
      {INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs},
      {INTERNET_OPTION_DATA_SEND_TIMEOUT, kSendTimeoutMs},
      {INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, kReceiveTimeoutMs},
  };
  for (const auto& t : kTimeouts) {
    DWORD ms = t.ms;
    InternetSetOptionA(h, t.option, &ms, sizeof ms);
  }
}

// A local file read for the body.
class LocalFile : public FileSource {
 public:
  explicit LocalFile(HANDLE h) : file_(h) {}
  uint64_t Size() override {
    LARGE_INTEGER size{};
    return GetFileSizeEx(file_.get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
  }
  size_t Read(char* buffer, size_t size) override {
    DWORD n = 0;
    DWORD want = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    return ReadFile(file_.get(), buffer, want, &n, nullptr) ? n : 0;
  }

 private:
  ScopedHandle file_;
};

}  // namespace

std::unique_ptr<FileSource> OpenLocalFile(const std::string& path) {
  const std::wstring widePath = Utf8ToWide(path);
  if (widePath.empty()) return nullptr;
  HANDLE h = CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<LocalFile>(h);
}

W3Client::~W3Client() = default;

bool W3Client::Connect(const char* server, int32_t portNumber, const char* user, const char* pass,
                       SchemeKind kind, const char* agent) {
  try {
    if (!server) throw "connect failed...";
    internetHandle = InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!IsOpen(internetHandle)) throw "open internet failed...";
    SetTimeouts(internetHandle);
    // Status callbacks arrive for handles made with a non-zero context.
    if (stepDeadline) InternetSetStatusCallbackA(internetHandle, OnStatus);
    const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(this);

    INTERNET_PORT defaultPort = INTERNET_DEFAULT_HTTP_PORT;
    DWORD service = INTERNET_SERVICE_HTTP, flags = 0;
    if (kind == kSchemeFtp) {
      defaultPort = INTERNET_DEFAULT_FTP_PORT;
      service = INTERNET_SERVICE_FTP;
      flags = INTERNET_FLAG_PASSIVE;
    } else if (kind == kSchemeHttps) {
      defaultPort = INTERNET_DEFAULT_HTTPS_PORT;
    }
    if (portNumber < 0 || portNumber > 65535) throw "connect failed...";
    const int32_t usePort = portNumber ? portNumber : defaultPort;
    connectHandle = InternetConnectA(internetHandle, server, static_cast<INTERNET_PORT>(usePort),
                                     user, pass, service, flags, context);
    if (!IsOpen(connectHandle)) throw "connect failed...";
    if (InternetAttemptConnect(0) != ERROR_SUCCESS) throw "connect failed...";

    serverName = server;
    port = usePort;
    scheme = kind;
    if (user) userName = user;
    if (pass) password = pass;
    ClearPostFields();
    return true;
  } catch (...) {
    Close(&connectHandle);
    Close(&internetHandle);
    return false;
  }
}

void W3Client::OpenRequest(const char* verb, const std::string& path, const char* referrer) {
  if (!IsOpen(connectHandle)) throw "handle not opened...";
  const char* acceptTypes[] = {"*/*", nullptr};
  DWORD flags =
      INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_FORMS_SUBMIT;
  if (scheme == kSchemeHttps) flags |= INTERNET_FLAG_SECURE;
  requestHandle = HttpOpenRequestA(connectHandle, verb, path.c_str(), "HTTP/1.0", referrer,
                                   acceptTypes, flags, reinterpret_cast<DWORD_PTR>(this));
  if (!IsOpen(requestHandle)) throw "request failed...";
  SetTimeouts(requestHandle);
  if (!HttpAddRequestHeadersA(requestHandle, kAcceptHeader, sizeof kAcceptHeader - 1,
                              HTTP_ADDREQ_FLAG_REPLACE)) {
    throw "additional header failed...";
  }
  if (!HttpAddRequestHeadersA(requestHandle, kContentTypeHeader, sizeof kContentTypeHeader - 1,
                              HTTP_ADDREQ_FLAG_ADD_IF_NEW)) {
    throw "additional header failed...";
  }
}

bool W3Client::RequestMultipartPost(const std::string& path, const char* referrer) {
  OpenRequest("POST", path, referrer);

  // One buffer for the whole body, released on every way out.
  std::string body;
  if (BuildMultipartBody(postFields, OpenLocalFile, &body) != BodyOutcome::kBuilt ||
      body.size() > kMaxBodyBytes) {
    throw "request failed";
  }
  const std::string length = "Content-Length: " + std::to_string(body.size()) + "\r\n";
  if (!HttpAddRequestHeadersA(requestHandle, length.c_str(), static_cast<DWORD>(length.size()),
                              HTTP_ADDREQ_FLAG_ADD_IF_NEW)) {
    throw "additional header failed...";
  }

  INTERNET_BUFFERSA buffers{};
  buffers.dwStructSize = sizeof buffers;
  if (!HttpSendRequestExA(requestHandle, &buffers, nullptr, HSR_INITIATE, 0)) {
    throw "request failed";
  }
  // A write may take only part of the body (a send time-out after some
  // progress): the rest follows until a write fails or moves nothing.
  const char* next = body.data();
  DWORD left = static_cast<DWORD>(body.size());
  while (left > 0) {
    DWORD written = 0;
    if (!InternetWriteFile(requestHandle, next, left, &written) || written == 0 || written > left) {
      throw "request failed";
    }
    next += written;
    left -= written;
  }
  if (!HttpEndRequestA(requestHandle, nullptr, HSR_INITIATE, 0)) throw "request failed";
  return true;
}

void W3Client::AddPostField(const std::string& name, const std::string& value) {
  postFields.push_back({name, value, value, false});
}

void W3Client::AddPostFile(const std::string& name, const std::string& path,
                           const std::string& announcedName) {
  postFields.push_back({name, path, announcedName, true});
}

void W3Client::ClearPostFields() { postFields.clear(); }

size_t W3Client::ReadResponse(char* buffer) {
  try {
    if (!requestHandle) throw "connection failed...";
    // Waits for whatever arrives next and reads only that much: a read of a
    // fixed size would wait for the whole piece, so an answer that comes
    // slowly would show no progress although its bytes keep arriving.
    DWORD available = 0;
    if (!InternetQueryDataAvailable(requestHandle, &available, 0, 0)) {
      throw "response failed...";
    }
    DWORD count = 0;
    if (available > 0) {
      const DWORD want =
          available < kResponsePiece ? available : static_cast<DWORD>(kResponsePiece);
      if (!InternetReadFile(requestHandle, buffer, want, &count)) throw "response failed...";
    }
    if (count > 0) {
      ArmStep(kReceiveTimeoutMs + kWatchSlackMs);  // the answer moves on
    } else {
      EndStep();
    }
    return count;
  } catch (...) {
    EndStep();
    CloseRequest();
    return 0;
  }
}

void W3Client::CloseRequest() { Close(&requestHandle); }

void W3Client::ArmStep(DWORD ms) {
  if (stepDeadline) stepDeadline->Arm(ms);
}

void W3Client::ArmStepIfIdle(DWORD ms) {
  if (stepDeadline) stepDeadline->ArmIfIdle(ms);
}

void W3Client::EndStep() {
  if (stepDeadline) stepDeadline->Disarm();
}

void CALLBACK W3Client::OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void*, DWORD) {
  auto* client = reinterpret_cast<W3Client*>(context);
  if (!client) return;
  switch (status) {
    case INTERNET_STATUS_RESOLVING_NAME:
    case INTERNET_STATUS_NAME_RESOLVED:
    case INTERNET_STATUS_CONNECTING_TO_SERVER:
    case INTERNET_STATUS_CONNECTED_TO_SERVER:  // the secure handshake follows
      client->ArmStep(kConnectTimeoutMs);
      break;
    case INTERNET_STATUS_SENDING_REQUEST:
    case INTERNET_STATUS_REQUEST_SENT: client->EndStep(); break;
    case INTERNET_STATUS_RECEIVING_RESPONSE:  // also sent again while reading
      client->ArmStepIfIdle(kReceiveTimeoutMs + kWatchSlackMs);
      break;
    default: break;
  }
}

void W3Client::CloseHandles() {
  Close(&requestHandle);
  Close(&connectHandle);
  Close(&internetHandle);
}

bool ConnectToUrl(const std::string& url, W3Client* client) {
  UrlParts parts;
  if (!ParseUrl(url, &parts)) return false;
  client->objectPath = RequestTarget(parts.path);
  return client->Connect(parts.host.c_str(), parts.port,
                         parts.user.empty() ? nullptr : parts.user.c_str(),
                         parts.password.empty() ? nullptr : parts.password.c_str(),
                         ClassifyScheme(parts.scheme), kAgent);
}

bool SendMultipartRequest(const std::string& objectPath, W3Client* client) {
  try {
    if (client->RequestMultipartPost(objectPath, nullptr)) {
      client->objectPath = objectPath;
      return true;
    }
  } catch (...) {
  }
  client->CloseRequest();
  return false;
}

}  // namespace kv
