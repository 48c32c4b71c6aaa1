// Reading the capture file: whole for the capture event, in pieces for
// "ReadCapture"; writing it in pieces for "WriteCapture".
#include <new>

#include "core/base64.h"
#include "core/capture_piece.h"
#include "core/event.h"
#include "core/framing.h"
#include "host/host.h"
#include "output/capture_path.h"
#include "winutil/codepage.h"
#include "winutil/scoped_win.h"

namespace kv {

namespace {

// The capture event never reads a file of 2 GiB or more at once.
constexpr uint64_t kMaxWholeFile = 0x7FFFFFFFull;

// Opens `path` for reading and reports its size; an empty handle when the
// file cannot be opened (a folder cannot).
ScopedHandle OpenForReading(const std::wstring& path, uint64_t* size) {
  if (path.empty()) return ScopedHandle();
  ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || file.get() == INVALID_HANDLE_VALUE) return ScopedHandle();
  LARGE_INTEGER n{};
  if (!GetFileSizeEx(file.get(), &n) || n.QuadPart < 0) return ScopedHandle();
  *size = static_cast<uint64_t>(n.QuadPart);
  return file;
}

// Up to `length` bytes from `offset`: fewer when the file has become
// shorter meanwhile, none when it cannot be read there.
std::string ReadAt(HANDLE file, uint64_t offset, size_t length) {
  LARGE_INTEGER position{};
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return std::string();
  std::string bytes(length, '\0');
  size_t got = 0;
  while (got < bytes.size()) {
    DWORD n = 0;
    DWORD want = static_cast<DWORD>(bytes.size() - got);
    if (!ReadFile(file, &bytes[got], want, &n, nullptr) || n == 0) break;
    got += n;
  }
  bytes.resize(got);
  return bytes;
}

const uint8_t* BytesOf(const std::string& bytes) {
  return reinterpret_cast<const uint8_t*>(bytes.data());
}

}  // namespace

std::string CaptureEventFrame(const std::string& path) {
  return CaptureEventFrameWide(AnsiToWide(path));
}

std::string CaptureEventFrameWide(const std::wstring& path) {
  const char kName[] = "OnCaptureCompleted";
  // The event is UTF-8: the path goes whole, whatever the code page holds.
  const std::string path8 = WideToUtf8(path);
  uint64_t size = 0;
  ScopedHandle file = OpenForReading(path, &size);
  if (!file) return FramedEvent(kName, path8, std::string(), false, kMaxEventBytes);
  // A text the event could not carry is never made (nor the file read).
  const bool fits =
      size <= kMaxWholeFile &&
      EventFits(kName, path8, QuotedBase64Size(static_cast<size_t>(size)), kMaxEventBytes);
  if (!fits) return FramedEvent(kName, path8, std::string(), true, kMaxEventBytes);
  try {
    const std::string bytes = ReadAt(file.get(), 0, static_cast<size_t>(size));
    return FramedBase64Event(kName, path8, BytesOf(bytes), bytes.size(), kMaxEventBytes);
  } catch (const std::bad_alloc&) {
    // No memory for the text: sent as one too long, and read in pieces.
    return FramedEvent(kName, path8, std::string(), true, kMaxEventBytes);
  }
}

void WriteCaptureEvent(const std::wstring& path) { WriteFrame(CaptureEventFrameWide(path)); }

bool ReadCaptureCommand() {
  uint64_t size = 0;
  ScopedHandle file = OpenForReading(CapturePathWide(captureRequest.fileName), &size);
  if (!file) return false;
  FilePiece piece = PieceAt(captureRequest.offset, size);
  std::string bytes;
  if (piece.length > 0) {
    bytes = ReadAt(file.get(), piece.offset, static_cast<size_t>(piece.length));
    if (bytes.empty()) return false;
    piece.length = bytes.size();
  }
  file.reset();
  WriteFrame(FramedBase64Event("OnCaptureData", PieceDescription(piece), BytesOf(bytes),
                               bytes.size(), kMaxEventBytes));
  EndProcess(0);
}

namespace {

// Size of the file at `path`; false when there is none (or it cannot be
// asked about).
bool FileSize(const std::wstring& path, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  *size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  return true;
}

bool EnsureCaptureFolder() {
  const std::wstring folder = CaptureFolderWide();
  if (folder.empty()) return false;
  return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// Writes `bytes` at the end of the partial file, made empty first when
// `plan` starts anew.
bool WritePiece(const std::wstring& partial, PieceWrite plan, const std::string& bytes) {
  const DWORD disposition = plan == PieceWrite::kStartAnew ? CREATE_ALWAYS : OPEN_EXISTING;
  ScopedHandle file(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || file.get() == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER none{};
  if (!SetFilePointerEx(file.get(), none, nullptr, FILE_END)) return false;
  size_t put = 0;
  while (put < bytes.size()) {
    DWORD n = 0;
    DWORD want = static_cast<DWORD>(bytes.size() - put);
    if (!WriteFile(file.get(), bytes.data() + put, want, &n, nullptr) || n == 0) return false;
    put += n;
  }
  return true;
}

// The piece of the request written; false when it is refused or cannot be
// written (the capture file stays as it was).
bool StorePiece(const std::wstring& path, const std::wstring& partial, FilePiece* piece) {
  // A text far above one piece is not even decoded.
  if (Base64DecodedSizeBound(captureRequest.data) > kMaxPieceBytes + 2) return false;
  std::string bytes;
  if (!Base64Decode(captureRequest.data, &bytes)) return false;
  uint64_t partialSize = 0;
  const bool partialExists = FileSize(partial, &partialSize);
  const PieceWrite plan =
      PlanPieceWrite(captureRequest.offset, bytes.size(), partialExists, partialSize);
  if (plan == PieceWrite::kRefused || !EnsureCaptureFolder()) return false;
  if (!WritePiece(partial, plan, bytes)) return false;
  piece->offset = captureRequest.offset;
  piece->length = bytes.size();
  piece->total = piece->offset + piece->length;
  if (!captureRequest.last) return true;
  return MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

}  // namespace

bool WriteCaptureCommand() {
  const std::wstring path = CapturePathWide(captureRequest.fileName);
  const std::wstring partial = PartialCapturePath(path, MAX_PATH);
  if (partial.empty()) return false;
  FilePiece piece;
  if (!StorePiece(path, partial, &piece)) {
    // A broken sequence is not continued: only a new start at offset 0.
    DeleteFileW(partial.c_str());
    return false;
  }
  // The event is UTF-8: the path goes whole, whatever the code page holds.
  WriteFrame(FramedEvent("OnCaptureData", PieceDescription(piece),
                         captureRequest.last ? WideToUtf8(path) : std::string(), false,
                         kMaxEventBytes));
  EndProcess(0);
}

}  // namespace kv
