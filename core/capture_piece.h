// "ReadCapture": the capture file handed out in pieces, each small enough
// for one message to the browser.
#pragma once
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

}  // namespace kv
