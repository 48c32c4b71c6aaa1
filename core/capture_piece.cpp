#include "core/capture_piece.h"

namespace kv {

FilePiece PieceAt(uint64_t offset, uint64_t total) {
  FilePiece piece;
  piece.offset = offset;
  piece.total = total;
  if (offset < total) piece.length = total - offset < kMaxPieceBytes ? total - offset : kMaxPieceBytes;
  return piece;
}

std::string PieceDescription(const FilePiece& piece) {
  return std::to_string(piece.offset) + " " + std::to_string(piece.length) + " " +
         std::to_string(piece.total);
}

}  // namespace kv
