// "ReadCapture": the capture file handed out in pieces, each small enough
// for one message to the browser.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

// Bytes of one piece at most (720 KiB): its Base64 text, with the line
// breaks escaped, keeps the whole event below the browser's message limit.
constexpr uint64_t kMaxPieceBytes = 737280;

// A stretch of a file of `total` bytes.
struct FilePiece {
  uint64_t offset = 0;
  uint64_t length = 0;
  uint64_t total = 0;
};

// The piece that starts at `offset` of a file of `total` bytes: up to
// kMaxPieceBytes, never past the end; length 0 at or past the end.
FilePiece PieceAt(uint64_t offset, uint64_t total);

// The event's "arg1": offset, length and total in decimal, separated by
// single spaces.
std::string PieceDescription(const FilePiece& piece);

// "WriteCapture": a picture made elsewhere (the browser's whole-page
// capture) written into the capture file in pieces. The pieces go to a
// partial file beside it, which takes the capture file's place only with
// the last piece, so a reader never sees half a picture.

// A capture file written this way is never larger (512 MiB).
constexpr uint64_t kMaxWrittenCaptureBytes = 512ull * 1024 * 1024;

// How a piece of `length` bytes at `offset` is written when the partial
// file holds `partialSize` bytes (`partialExists` false when there is none).
enum class PieceWrite {
  kStartAnew,  // offset 0: the partial file is made empty first
  kAppend,     // offset at the partial file's end
  kRefused,    // another offset, a piece above kMaxPieceBytes, or a file
               // that would grow above kMaxWrittenCaptureBytes
};
PieceWrite PlanPieceWrite(uint64_t offset, uint64_t length, bool partialExists,
                          uint64_t partialSize);

// The partial file of the capture file at `capturePath` (".part"
// appended); "" when that does not fit a path buffer of `bufferSize`
// characters with its terminating zero.
std::string PartialCapturePath(const std::string& capturePath, size_t bufferSize);
std::wstring PartialCapturePath(const std::wstring& capturePath, size_t bufferSize);

}  // namespace kv
