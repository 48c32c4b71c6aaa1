#include "core/deflate.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kv {

namespace {

constexpr uint32_t kWindowSize = 32768;
constexpr size_t kMinMatch = 4;  // what the hash covers; deflate allows 3
constexpr size_t kMaxMatch = 258;
constexpr int kHashBits = 15;
// Stream positions in the hash table start here: 0 is then farther back
// than any match may reach, and stands for "none".
constexpr uint32_t kFirstPosition = kWindowSize + 1;
// Positions are moved back by this much before they could overflow.
constexpr uint32_t kRebaseAbove = 0x80000000u;

constexpr int kLitLenCodes = 286;
constexpr int kDistCodes = 30;
constexpr int kEndOfBlock = 256;
constexpr int kMaxCodeBits = 15;
constexpr int kMaxCodeLengthBits = 7;
constexpr size_t kMaxStoredBlock = 65535;

// Matches are tokens with the top bit set: length in bits 16..24, distance
// in bits 0..15 (32768 fits). Literals are their byte.
constexpr uint32_t kMatchFlag = 0x80000000u;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which the code length code's lengths are sent.
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

struct SymbolTables {
  uint8_t lengthCode[kMaxMatch + 1];  // match length -> index into kLengthBase
  uint8_t distCodeNear[512];          // distance - 1 below 512 -> distance code
  uint8_t distCodeFar[128];           // (distance - 1) >> 8 -> distance code
  SymbolTables() {
    for (int code = 0; code < 29; ++code) {
      const int last = code == 28 ? 258 : kLengthBase[code] + (1 << kLengthExtra[code]) - 1;
      for (int len = kLengthBase[code]; len <= last && len <= 258; ++len) {
        lengthCode[len] = static_cast<uint8_t>(code);
      }
    }
    lengthCode[258] = 28;  // 258 has a code of its own, not 227 + 31
    for (int code = 0; code < kDistCodes; ++code) {
      const int first = kDistBase[code], last = first + (1 << kDistExtra[code]) - 1;
      for (int d = first; d <= last; ++d) {
        if (d <= 512)
          distCodeNear[d - 1] = static_cast<uint8_t>(code);
        else
          distCodeFar[(d - 1) >> 8] = static_cast<uint8_t>(code);
      }
    }
  }
  int DistCode(uint32_t dist) const {
    return dist <= 512 ? distCodeNear[dist - 1] : distCodeFar[(dist - 1) >> 8];
  }
};

const SymbolTables& Tables() {
  static const SymbolTables tables;
  return tables;
}

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline uint32_t HashOf(uint32_t fourBytes) { return (fourBytes * 2654435761u) >> (32 - kHashBits); }

// How many bytes of a and b agree, at most `limit`.
inline size_t CommonLength(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t n = 0;
  while (n + 8 <= limit) {
    const uint64_t diff = Load64(a + n) ^ Load64(b + n);
    if (diff) return n + static_cast<size_t>(__builtin_ctzll(diff) >> 3);
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

struct Frequencies {
  uint32_t litLen[kLitLenCodes];
  uint32_t dist[kDistCodes];
};

// The piece window[begin, end) as tokens, greedy: at each position the
// last earlier position with the same four bytes is tried. A long stretch
// without matches (noise, photographs) is crossed in growing steps.
void FindMatches(ZlibWriter& z, size_t begin, size_t end, Frequencies& freq) {
  const SymbolTables& t = Tables();
  const uint8_t* w = z.window.data();
  uint32_t* table = z.hashTable.data();
  uint32_t* token = z.tokens.data();
  size_t i = begin;
  unsigned misses = 0;
  while (i + kMinMatch <= end) {
    const uint32_t bytes = Load32(w + i);
    const uint32_t h = HashOf(bytes);
    const uint32_t pos = z.windowStart + static_cast<uint32_t>(i);
    const uint32_t candidate = table[h];
    table[h] = pos;
    const uint32_t dist = pos - candidate;
    if (dist <= kWindowSize) {
      const uint8_t* earlier = w + (candidate - z.windowStart);
      if (Load32(earlier) == bytes) {
        const size_t limit = std::min(end - i, kMaxMatch);
        const size_t len =
            kMinMatch + CommonLength(w + i + kMinMatch, earlier + kMinMatch, limit - kMinMatch);
        *token++ = kMatchFlag | static_cast<uint32_t>(len << 16) | dist;
        ++freq.litLen[257 + t.lengthCode[len]];
        ++freq.dist[t.DistCode(dist)];
        // The match's last positions, so that what follows can refer to it.
        const size_t next = i + len;
        for (size_t j = std::max(i + 1, next - 2); j < next && j + kMinMatch <= end; ++j) {
          table[HashOf(Load32(w + j))] = z.windowStart + static_cast<uint32_t>(j);
        }
        i = next;
        misses = 0;
        continue;
      }
    }
    ++misses;
    const size_t step = std::min<size_t>(1 + (misses >> 5), end - i);
    for (size_t j = 0; j < step; ++j) {
      *token++ = w[i + j];
      ++freq.litLen[w[i + j]];
    }
    i += step;
  }
  for (; i < end; ++i) {
    *token++ = w[i];
    ++freq.litLen[w[i]];
  }
  z.tokens.resize(static_cast<size_t>(token - z.tokens.data()));
}

// Huffman code lengths for freq[0, n), none longer than `limit`; unused
// symbols get 0. At least two symbols get a length, so that the code is
// complete (a second one is made up when only one is used).
void BuildLengths(const uint32_t* freq, int n, int limit, uint8_t* lengths) {
  std::pair<uint32_t, int> used[kLitLenCodes];
  int count = 0;
  for (int s = 0; s < n; ++s) {
    lengths[s] = 0;
    if (freq[s]) used[count++] = {freq[s], s};
  }
  if (count < 2) {
    const int have = count ? used[0].second : -1;
    for (int s = 0; s < n && count < 2; ++s) {
      if (s != have) used[count++] = {1, s};
    }
  }
  std::sort(used, used + count);
  // Moffat and Katajainen's in-place computation of the code lengths from
  // weights sorted ascending.
  uint32_t a[kLitLenCodes] = {};
  for (int k = 0; k < count; ++k) a[k] = used[k].first;
  a[0] += a[1];
  int root = 0, leaf = 2;
  for (int next = 1; next < count - 1; ++next) {
    if (leaf >= count || a[root] < a[leaf]) {
      a[next] = a[root];
      a[root++] = static_cast<uint32_t>(next);
    } else {
      a[next] = a[leaf++];
    }
    if (leaf >= count || (root < next && a[root] < a[leaf])) {
      a[next] += a[root];
      a[root++] = static_cast<uint32_t>(next);
    } else {
      a[next] += a[leaf++];
    }
  }
  a[count - 2] = 0;
  for (int next = count - 3; next >= 0; --next) a[next] = a[a[next]] + 1;
  int available = 1, usedAtDepth = 0, depth = 0;
  root = count - 2;
  int next = count - 1;
  while (available > 0) {
    while (root >= 0 && static_cast<int>(a[root]) == depth) {
      ++usedAtDepth;
      --root;
    }
    while (available > usedAtDepth) {
      a[next--] = static_cast<uint32_t>(depth);
      --available;
    }
    available = 2 * usedAtDepth;
    ++depth;
    usedAtDepth = 0;
  }
  // Codes per length, the too long ones moved up to the limit, then
  // shortened until the lengths fit (Kraft's sum exactly one).
  int perLength[33] = {};
  for (int k = 0; k < count; ++k) ++perLength[std::min<uint32_t>(a[k], 32)];
  for (int len = limit + 1; len <= 32; ++len) {
    perLength[limit] += perLength[len];
    perLength[len] = 0;
  }
  uint32_t total = 0;
  for (int len = limit; len > 0; --len)
    total += static_cast<uint32_t>(perLength[len]) << (limit - len);
  while (total != (1u << limit)) {
    --perLength[limit];
    for (int len = limit - 1; len > 0; --len) {
      if (perLength[len]) {
        --perLength[len];
        perLength[len + 1] += 2;
        break;
      }
    }
    --total;
  }
  // The most frequent symbols (at the end) take the shortest codes.
  int k = count;
  for (int len = 1; len <= limit; ++len) {
    for (int c = perLength[len]; c > 0; --c) lengths[used[--k].second] = static_cast<uint8_t>(len);
  }
}

// Canonical codes for the lengths, bit-reversed (deflate sends codes from
// their first bit, and the bit writer takes the lowest bit first).
void BuildCodes(const uint8_t* lengths, int n, uint16_t* codes) {
  int perLength[kMaxCodeBits + 1] = {};
  for (int s = 0; s < n; ++s) ++perLength[lengths[s]];
  perLength[0] = 0;
  uint32_t next[kMaxCodeBits + 2] = {};
  uint32_t code = 0;
  for (int len = 1; len <= kMaxCodeBits; ++len) {
    code = (code + static_cast<uint32_t>(perLength[len - 1])) << 1;
    next[len] = code;
  }
  for (int s = 0; s < n; ++s) {
    const int len = lengths[s];
    if (!len) {
      codes[s] = 0;
      continue;
    }
    uint32_t c = next[len]++, reversed = 0;
    for (int b = 0; b < len; ++b) {
      reversed = (reversed << 1) | (c & 1);
      c >>= 1;
    }
    codes[s] = static_cast<uint16_t>(reversed);
  }
}

// Room for the fixed code's 288 symbols (the last two never sent, but
// they count in its canonical codes).
constexpr int kFixedLitLenCodes = 288;

struct HuffmanCode {
  uint8_t lengths[kFixedLitLenCodes];
  uint16_t codes[kFixedLitLenCodes];
};

// The code lengths of both codes as the header sends them: run-length
// symbols (16 repeat the last, 17 and 18 repeat zero) with their extra
// bits.
struct LengthHeader {
  int litLenCount = 0, distCount = 0, codeLengthCount = 0;
  uint8_t symbols[kLitLenCodes + kDistCodes];
  uint8_t extra[kLitLenCodes + kDistCodes];
  int size = 0;
  uint32_t freq[19] = {};
  HuffmanCode code;
};

void MakeLengthHeader(const uint8_t* litLen, const uint8_t* dist, LengthHeader& h) {
  h.litLenCount = kLitLenCodes;
  while (h.litLenCount > 257 && !litLen[h.litLenCount - 1]) --h.litLenCount;
  h.distCount = kDistCodes;
  while (h.distCount > 1 && !dist[h.distCount - 1]) --h.distCount;
  uint8_t all[kLitLenCodes + kDistCodes];
  const int n = h.litLenCount + h.distCount;
  std::memcpy(all, litLen, static_cast<size_t>(h.litLenCount));
  std::memcpy(all + h.litLenCount, dist, static_cast<size_t>(h.distCount));
  auto put = [&h](uint8_t symbol, uint8_t extra) {
    h.symbols[h.size] = symbol;
    h.extra[h.size++] = extra;
    ++h.freq[symbol];
  };
  for (int i = 0; i < n;) {
    const uint8_t v = all[i];
    int run = 1;
    while (i + run < n && all[i + run] == v) ++run;
    i += run;
    if (v == 0) {
      while (run >= 11) {
        const int r = std::min(run, 138);
        put(18, static_cast<uint8_t>(r - 11));
        run -= r;
      }
      if (run >= 3) {
        put(17, static_cast<uint8_t>(run - 3));
        run = 0;
      }
    } else {
      put(v, 0);
      --run;
      while (run >= 3) {
        const int r = std::min(run, 6);
        put(16, static_cast<uint8_t>(r - 3));
        run -= r;
      }
    }
    while (run-- > 0) put(v, 0);
  }
  BuildLengths(h.freq, 19, kMaxCodeLengthBits, h.code.lengths);
  BuildCodes(h.code.lengths, 19, h.code.codes);
  h.codeLengthCount = 19;
  while (h.codeLengthCount > 4 && !h.code.lengths[kCodeLengthOrder[h.codeLengthCount - 1]]) {
    --h.codeLengthCount;
  }
}

uint64_t HeaderBits(const LengthHeader& h) {
  uint64_t bits = 5 + 5 + 4 + 3 * static_cast<uint64_t>(h.codeLengthCount);
  for (int s = 0; s < 19; ++s) bits += static_cast<uint64_t>(h.freq[s]) * h.code.lengths[s];
  bits += 2 * h.freq[16] + 3 * h.freq[17] + 7 * h.freq[18];
  return bits;
}

// Bits of the block's data (without its header) under the given lengths.
uint64_t DataBits(const Frequencies& f, const uint8_t* litLen, const uint8_t* dist) {
  uint64_t bits = 0;
  for (int s = 0; s < kLitLenCodes; ++s) {
    bits += static_cast<uint64_t>(f.litLen[s]) * litLen[s];
    if (s > kEndOfBlock) bits += static_cast<uint64_t>(f.litLen[s]) * kLengthExtra[s - 257];
  }
  for (int s = 0; s < kDistCodes; ++s) {
    bits += static_cast<uint64_t>(f.dist[s]) * (dist[s] + kDistExtra[s]);
  }
  return bits;
}

// ---- bit output --------------------------------------------------------------

struct BitSink {
  uint8_t* p;
  uint64_t bits;
  int count;
  void Put(uint32_t value, int n) {
    bits |= static_cast<uint64_t>(value) << count;
    count += n;
    if (count >= 32) {
      const uint32_t low = static_cast<uint32_t>(bits);
      p[0] = static_cast<uint8_t>(low);
      p[1] = static_cast<uint8_t>(low >> 8);
      p[2] = static_cast<uint8_t>(low >> 16);
      p[3] = static_cast<uint8_t>(low >> 24);
      p += 4;
      bits >>= 32;
      count -= 32;
    }
  }
  // Whole bytes out; fewer than 8 bits stay.
  void Drain() {
    while (count >= 8) {
      *p++ = static_cast<uint8_t>(bits);
      bits >>= 8;
      count -= 8;
    }
  }
};

// Makes room for `bits` more bits in z.out and returns a writer at its end.
BitSink OpenSink(ZlibWriter& z, uint64_t bits) {
  const size_t used = z.out.size();
  z.out.resize(used + static_cast<size_t>(bits / 8) + 16);
  return BitSink{z.out.data() + used, z.bits, z.bitCount};
}

void CloseSink(ZlibWriter& z, BitSink& s) {
  s.Drain();
  z.out.resize(static_cast<size_t>(s.p - z.out.data()));
  z.bits = s.bits;
  z.bitCount = s.count;
}

void WriteTokens(BitSink& s, const std::vector<uint32_t>& tokens, const HuffmanCode& lit,
                 const HuffmanCode& dist) {
  const SymbolTables& t = Tables();
  for (uint32_t token : tokens) {
    if (!(token & kMatchFlag)) {
      s.Put(lit.codes[token], lit.lengths[token]);
      continue;
    }
    const uint32_t len = (token >> 16) & 0x1FF, d = token & 0xFFFF;
    const int lc = t.lengthCode[len];
    s.Put(lit.codes[257 + lc] | ((len - kLengthBase[lc]) << lit.lengths[257 + lc]),
          lit.lengths[257 + lc] + kLengthExtra[lc]);
    const int dc = t.DistCode(d);
    s.Put(dist.codes[dc] | ((d - kDistBase[dc]) << dist.lengths[dc]),
          dist.lengths[dc] + kDistExtra[dc]);
  }
  s.Put(lit.codes[kEndOfBlock], lit.lengths[kEndOfBlock]);
}

void FixedCode(HuffmanCode& lit, HuffmanCode& dist) {
  for (int s = 0; s < kFixedLitLenCodes; ++s) {
    lit.lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  }
  BuildCodes(lit.lengths, kFixedLitLenCodes, lit.codes);
  for (int s = 0; s < kDistCodes; ++s) dist.lengths[s] = 5;
  BuildCodes(dist.lengths, kDistCodes, dist.codes);
}

void WriteStored(ZlibWriter& z, const uint8_t* data, size_t size, bool last) {
  BitSink s = OpenSink(z, 8 * (size + 5 * (size / kMaxStoredBlock + 1)) + 16);
  size_t done = 0;
  do {
    const size_t n = std::min(size - done, kMaxStoredBlock);
    const bool final = last && done + n == size;
    s.Put(final ? 1 : 0, 3);  // BFINAL, BTYPE 00
    s.Put(0, (8 - s.count % 8) % 8);
    s.Drain();
    const uint16_t len = static_cast<uint16_t>(n), nlen = static_cast<uint16_t>(~n);
    const uint8_t header[4] = {static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8),
                               static_cast<uint8_t>(nlen), static_cast<uint8_t>(nlen >> 8)};
    std::memcpy(s.p, header, 4);
    std::memcpy(s.p + 4, data + done, n);
    s.p += 4 + n;
    done += n;
  } while (done < size);
  CloseSink(z, s);
}

void WriteBlock(ZlibWriter& z, const uint8_t* data, size_t size, const Frequencies& freq,
                bool last) {
  HuffmanCode lit, dist;
  BuildLengths(freq.litLen, kLitLenCodes, kMaxCodeBits, lit.lengths);
  BuildLengths(freq.dist, kDistCodes, kMaxCodeBits, dist.lengths);
  LengthHeader header;
  MakeLengthHeader(lit.lengths, dist.lengths, header);
  const uint64_t dynamicBits = 3 + HeaderBits(header) + DataBits(freq, lit.lengths, dist.lengths);
  HuffmanCode fixedLit, fixedDist;
  FixedCode(fixedLit, fixedDist);
  const uint64_t fixedBits = 3 + DataBits(freq, fixedLit.lengths, fixedDist.lengths);
  const uint64_t storedBits = 8 * (size + 5 * (size / kMaxStoredBlock + 1)) + 7;
  if (storedBits <= dynamicBits && storedBits <= fixedBits) {
    WriteStored(z, data, size, last);
    return;
  }
  const bool fixed = fixedBits <= dynamicBits;
  BitSink s = OpenSink(z, (fixed ? fixedBits : dynamicBits) + 64);
  s.Put(last ? 1 : 0, 1);
  s.Put(fixed ? 1 : 2, 2);
  if (fixed) {
    WriteTokens(s, z.tokens, fixedLit, fixedDist);
  } else {
    BuildCodes(lit.lengths, kLitLenCodes, lit.codes);
    BuildCodes(dist.lengths, kDistCodes, dist.codes);
    s.Put(static_cast<uint32_t>(header.litLenCount - 257), 5);
    s.Put(static_cast<uint32_t>(header.distCount - 1), 5);
    s.Put(static_cast<uint32_t>(header.codeLengthCount - 4), 4);
    for (int k = 0; k < header.codeLengthCount; ++k) {
      s.Put(header.code.lengths[kCodeLengthOrder[k]], 3);
    }
    static const int kExtraBits[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
    for (int k = 0; k < header.size; ++k) {
      const uint8_t sym = header.symbols[k];
      s.Put(header.code.codes[sym], header.code.lengths[sym]);
      if (kExtraBits[sym]) s.Put(header.extra[k], kExtraBits[sym]);
    }
    WriteTokens(s, z.tokens, lit, dist);
  }
  CloseSink(z, s);
}

// Moves every stream position back so that they stay far from overflowing.
void Rebase(ZlibWriter& z) {
  const uint32_t shift = z.windowStart - kFirstPosition;
  for (uint32_t& p : z.hashTable) p = p > shift ? p - shift : 0;
  z.windowStart -= shift;
}

}  // namespace

void Adler32Update(uint32_t& a, uint32_t& b, const uint8_t* data, size_t size) {
  constexpr uint32_t kMod = 65521;
  constexpr size_t kMaxRun = 5552;  // the most bytes before b could overflow
  while (size) {
    size_t n = std::min(size, kMaxRun);
    size -= n;
    while (n >= 8) {
      a += data[0];
      b += a;
      a += data[1];
      b += a;
      a += data[2];
      b += a;
      a += data[3];
      b += a;
      a += data[4];
      b += a;
      a += data[5];
      b += a;
      a += data[6];
      b += a;
      a += data[7];
      b += a;
      data += 8;
      n -= 8;
    }
    while (n--) {
      a += *data++;
      b += a;
    }
    a %= kMod;
    b %= kMod;
  }
}

uint8_t* ZlibPieceBuffer(ZlibWriter& z, size_t size) {
  // Eight spare bytes: the match search reads whole words near the end.
  if (z.window.size() < z.historySize + size + 8) z.window.resize(z.historySize + size + 8);
  return z.window.data() + z.historySize;
}

void ZlibCompressPiece(ZlibWriter& z, size_t size, bool last) {
  if (z.finished) return;
  if (!z.started) {
    z.out.push_back(0x78);  // deflate, 32 KiB window
    z.out.push_back(0x01);  // no dictionary; check bits
    z.hashTable.assign(size_t{1} << kHashBits, 0);
    z.windowStart = kFirstPosition;
    z.started = true;
  }
  ZlibPieceBuffer(z, size);
  const uint8_t* data = z.window.data() + z.historySize;
  Adler32Update(z.adlerA, z.adlerB, data, size);
  z.tokens.resize(size + 1);
  Frequencies freq{};
  FindMatches(z, z.historySize, z.historySize + size, freq);
  freq.litLen[kEndOfBlock] = 1;
  WriteBlock(z, data, size, freq, last);
  if (last) {
    BitSink s = OpenSink(z, 64);
    s.Put(0, (8 - s.count % 8) % 8);
    CloseSink(z, s);
    const uint32_t adler = (z.adlerB << 16) | z.adlerA;
    for (int shift = 24; shift >= 0; shift -= 8)
      z.out.push_back(static_cast<uint8_t>(adler >> shift));
    z.finished = true;
    return;
  }
  // What the next piece may refer to moves to the front.
  const size_t total = z.historySize + size;
  const size_t keep = std::min<size_t>(kWindowSize, total);
  std::memmove(z.window.data(), z.window.data() + total - keep, keep);
  z.windowStart += static_cast<uint32_t>(total - keep);
  z.historySize = keep;
  if (z.windowStart > kRebaseAbove) Rebase(z);
}

}  // namespace kv
