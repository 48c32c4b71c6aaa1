// A zlib stream (RFC 1950, deflate of RFC 1951) written piece by piece and
// made for pictures of screens: each piece is matched against up to 32 KiB
// of what came before it (runs and repeats found through a hash of four
// bytes), then coded as one block with Huffman tables of its own (or kept
// as it is when that is shorter).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kv {

struct ZlibWriter {
  // Compressed bytes not yet taken; the caller empties it when it likes.
  std::vector<uint8_t> out;

  // The window: up to 32 KiB of earlier data, then the piece being filled.
  std::vector<uint8_t> window;
  size_t historySize = 0;
  // Stream position of window[0] (offset so that 0 in the hash table
  // means "no earlier position").
  uint32_t windowStart = 0;
  std::vector<uint32_t> hashTable;  // stream positions by hash of 4 bytes
  std::vector<uint32_t> tokens;     // the piece as literals and matches
  uint32_t adlerA = 1, adlerB = 0;  // the running Adler-32
  uint64_t bits = 0;                // bits not yet in `out`, first in the lowest
  int bitCount = 0;
  bool started = false;
  bool finished = false;
};

// Room for the next `size` bytes of data; valid until the next call.
uint8_t* ZlibPieceBuffer(ZlibWriter& z, size_t size);
// Compresses the `size` bytes written into the piece buffer as one block;
// `last` ends the stream (the Adler-32 follows, `out` holds all of it).
void ZlibCompressPiece(ZlibWriter& z, size_t size, bool last);

// The Adler-32 of `size` bytes continued from (a, b).
void Adler32Update(uint32_t& a, uint32_t& b, const uint8_t* data, size_t size);

}  // namespace kv
