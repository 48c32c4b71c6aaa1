#include <gtest/gtest.h>

#include "core/base64.h"
#include "core/capture_piece.h"
#include "core/event.h"
#include "core/framing.h"

namespace {

using kv::kMaxPieceBytes;
using kv::PieceAt;

TEST(CapturePiece, PiecesCoverTheFileAndStopAtItsEnd) {
  struct {
    uint64_t offset, total, length;
  } cases[] = {
      {0, 3, 3},
      {0, kMaxPieceBytes, kMaxPieceBytes},  // exactly one piece
      {kMaxPieceBytes, kMaxPieceBytes, 0},  // and nothing after it
      {0, kMaxPieceBytes + 1, kMaxPieceBytes},
      {kMaxPieceBytes, kMaxPieceBytes + 1, 1},                      // a last piece of one byte
      {3 * kMaxPieceBytes, 2749172, 2749172 - 3 * kMaxPieceBytes},  // the last of four
      {5, 3, 0},                                                    // past the end
      {0, 0, 0},                                                    // an empty file
      {4294967295ull, 4294967296ull, 1},
  };
  for (const auto& c : cases) {
    kv::FilePiece p = PieceAt(c.offset, c.total);
    EXPECT_EQ(p.length, c.length) << c.offset << " of " << c.total;
    EXPECT_EQ(p.offset, c.offset);
    EXPECT_EQ(p.total, c.total);
  }
  // A 4K screen's capture: four pieces, the last one short.
  uint64_t offset = 0;
  int pieces = 0;
  while (PieceAt(offset, 2749172).length > 0) {
    offset += PieceAt(offset, 2749172).length;
    ++pieces;
  }
  EXPECT_EQ(pieces, 4);
  EXPECT_EQ(offset, 2749172u);
}

TEST(CapturePiece, Description) {
  EXPECT_EQ(kv::PieceDescription(PieceAt(737280, 2749172)), "737280 737280 2749172");
  EXPECT_EQ(kv::PieceDescription(PieceAt(9, 3)), "9 0 3");
}

TEST(CapturePiece, LargestPieceKeepsItsEventWithinTheLimit) {
  // The longest description there can be, and a piece of the largest size.
  kv::FilePiece widest{4294967295ull, kMaxPieceBytes, UINT64_MAX};
  std::string bytes(kMaxPieceBytes, '\xFF');
  std::string text = kv::Base64Encode(bytes);
  std::string event =
      kv::EventTextLimited("OnCaptureData", kv::PieceDescription(widest), text, kv::kMaxEventBytes);
  EXPECT_EQ(event, kv::EventText("OnCaptureData", kv::PieceDescription(widest), text));
  EXPECT_GT(event.size(), kv::kMaxEventBytes - 16 * 1024);  // not needlessly small either
}

TEST(CapturePiece, WrittenPiecesFollowEachOtherFromOffsetZero) {
  using kv::PieceWrite;
  using kv::PlanPieceWrite;
  const uint64_t limit = kv::kMaxWrittenCaptureBytes;
  // Offset 0 starts anew whatever is there.
  EXPECT_EQ(PlanPieceWrite(0, kMaxPieceBytes, false, 0), PieceWrite::kStartAnew);
  EXPECT_EQ(PlanPieceWrite(0, 10, true, 5000), PieceWrite::kStartAnew);
  // Any other offset only at the partial file's end.
  EXPECT_EQ(PlanPieceWrite(5000, 10, true, 5000), PieceWrite::kAppend);
  EXPECT_EQ(PlanPieceWrite(4999, 10, true, 5000), PieceWrite::kRefused);
  EXPECT_EQ(PlanPieceWrite(5001, 10, true, 5000), PieceWrite::kRefused);
  EXPECT_EQ(PlanPieceWrite(5000, 10, false, 0), PieceWrite::kRefused);
  // A piece above the limit of one piece, a file above its own limit.
  EXPECT_EQ(PlanPieceWrite(0, kMaxPieceBytes + 1, false, 0), PieceWrite::kRefused);
  EXPECT_EQ(PlanPieceWrite(limit - 10, 10, true, limit - 10), PieceWrite::kAppend);
  EXPECT_EQ(PlanPieceWrite(limit - 10, 11, true, limit - 10), PieceWrite::kRefused);
  EXPECT_EQ(PlanPieceWrite(limit + 1, 0, true, limit + 1), PieceWrite::kRefused);
}

TEST(CapturePiece, PartialFileLiesBesideTheCaptureFileWithinThePathBuffer) {
  EXPECT_EQ(kv::PartialCapturePath("C:\\t\\KvCapture\\a.png", 260), "C:\\t\\KvCapture\\a.png.part");
  EXPECT_EQ(kv::PartialCapturePath(std::string(254, 'a'), 260), std::string(254, 'a') + ".part");
  EXPECT_EQ(kv::PartialCapturePath(std::string(255, 'a'), 260), "");
  EXPECT_EQ(kv::PartialCapturePath("", 260), "");
}

}  // namespace
