#include "core/capture_piece.h"

namespace kv {

FilePiece PieceAt(uint64_t offset, uint64_t total) {
  FilePiece piece;
  piece.offset = offset;
  piece.total = total;
  if (offset < total)
    piece.length = total - offset < kMaxPieceBytes ? total - offset : kMaxPieceBytes;
  return piece;
}

std::string PieceDescription(const FilePiece& piece) {
  return std::to_string(piece.offset) + " " + std::to_string(piece.length) + " " +
         std::to_string(piece.total);
}

PieceWrite PlanPieceWrite(uint64_t offset, uint64_t length, bool partialExists,
                          uint64_t partialSize) {
  if (length > kMaxPieceBytes) return PieceWrite::kRefused;
  if (offset == 0) return PieceWrite::kStartAnew;
  if (!partialExists || offset != partialSize) return PieceWrite::kRefused;
  if (offset > kMaxWrittenCaptureBytes || length > kMaxWrittenCaptureBytes - offset)
    return PieceWrite::kRefused;
  return PieceWrite::kAppend;
}

std::string PartialCapturePath(const std::string& capturePath, size_t bufferSize) {
  const char kSuffix[] = ".part";
  if (capturePath.empty() || capturePath.size() + sizeof kSuffix > bufferSize) return std::string();
  return capturePath + kSuffix;
}

std::wstring PartialCapturePath(const std::wstring& capturePath, size_t bufferSize) {
  const wchar_t kSuffix[] = L".part";
  if (capturePath.empty() || capturePath.size() + 6 > bufferSize) return std::wstring();
  return capturePath + kSuffix;
}

}  // namespace kv
