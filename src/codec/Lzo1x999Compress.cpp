// LZO1X-999: an exhaustive match search with a lazy look one or two bytes
// ahead, producing exactly the reference library's streams.
//
// What fixes the output, and must therefore stay as it is:
//   - candidates for a position are the earlier positions within 49,151
//     bytes whose first three bytes share its 14-bit hash, newest first, at
//     most `maxChain` of them (hash twins included in the count);
//   - a candidate is measured only when it agrees with the position at its
//     first two bytes and at the two bytes that end the best match so far;
//   - the search stops at a match as long as the lookahead (2,048 bytes or
//     what is left), or one longer than the best the candidate itself found
//     when it was searched;
//   - a 2-byte match comes from the newest position with the same two bytes;
//   - the levels that re-choose keep, per length below 34, the distance of
//     the first measured candidate of exactly that length, and trade a
//     byte of length for a cheaper distance class (Rechoose below).
// How the candidates are reached is ours: instead of linked chains walked
// one dependent load at a time, positions are grouped by hash in plain
// arrays, block by block, so the candidates of a position lie side by side
// and their bytes are fetched independently.

// Named without its folder: hosts (vrk, the Python module) compile this file
// in with only this folder on their include path.
#include "Lzo1x999Compress.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace orvel {
namespace {

constexpr size_t kWindow = 49151;     // farthest distance of a match
constexpr size_t kLookahead = 2048;   // longest match
constexpr uint16_t kInsideMatch = kLookahead + 1;  // "best found" of unsearched positions
constexpr size_t kHashGroups = 16384;
constexpr size_t kPairs = 65536;
constexpr size_t kBestRing = 65536;  // more than the window
constexpr size_t kBlock = 256 * 1024;  // positions searched per grouping
constexpr size_t kShortLengths = 34;   // lengths whose nearest distance is kept

// Instruction classes: distance limits and the longest lengths coded
// without extra bytes.
constexpr size_t kNearOff = 0x400;   // 2-byte match after a short run
constexpr size_t kM2Off = 0x800;     // 3 to 8 bytes in two bytes
constexpr size_t kFarNearOff = kNearOff + kM2Off;  // 3-byte match after a long run
constexpr size_t kM3Off = 0x4000;
constexpr size_t kM2Len = 8;
constexpr size_t kM3Len = 33;
constexpr size_t kM4Len = 9;

struct Level {
  size_t lazySteps;   // positions looked ahead for a better match
  size_t goodLength;  // from this length the look ahead searches less
  size_t maxLazy;     // from this length no look ahead
  size_t maxChain;    // candidates per position
  bool rechoose;      // trade length for cheaper distances
};

const Level kLevels[9] = {
    {0, 32, 32, 4, false},    {0, 32, 32, 8, false},       {0, 32, 32, 16, false},
    {1, 4, 4, 16, false},     {1, 8, 16, 32, false},       {1, 8, 16, 128, false},
    {2, 8, 32, 256, false},   {2, 32, 128, 2048, true},    {2, 2048, 2048, 4096, true},
};

inline uint32_t Load16(const unsigned char* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

inline uint64_t Load64(const unsigned char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline uint32_t Hash3(const unsigned char* p) {
  const uint32_t x = (((uint32_t{p[0]} << 5) ^ p[1]) << 5) ^ p[2];
  return ((x * 0x9f5fu) >> 5) & (kHashGroups - 1);
}

// Bytes equal at a and b, at most `limit`.
inline size_t CommonLength(const unsigned char* a, const unsigned char* b, size_t limit) {
  size_t k = 0;
  while (k + 8 <= limit) {
    const uint64_t diff = Load64(a + k) ^ Load64(b + k);
    if (diff) return k + (static_cast<size_t>(__builtin_ctzll(diff)) >> 3);
    k += 8;
  }
  while (k < limit && a[k] == b[k]) ++k;
  return k;
}

struct Match {
  size_t len;
  size_t off;
};

struct FinderTables {
  uint32_t* byHash;
  uint32_t* rank;
  uint32_t* groupStart;
  uint32_t* lastPair;
  uint16_t* bestFound;
};

// Visits every position once, in order: Find searches it, Skip (positions
// inside a coded match) only records it.
class MatchFinder {
 public:
  MatchFinder(const unsigned char* in, size_t n, const FinderTables& t, bool rechoose)
      : in_(in), n_(n), hashEnd_(n >= 3 ? n - 2 : 0), t_(t), rechoose_(rechoose) {}

  // After a Find of a level that re-chooses: the distance of the first
  // measured candidate of length i (0: none).
  size_t Nearest(size_t i) const {
    return (lengthsSeen_ >> i) & 1 ? searched_ - firstOfLength_[i] : 0;
  }

  Match Find(size_t p, size_t maxChain) {
    const size_t look = n_ - p < kLookahead ? n_ - p : kLookahead;
    if (look <= 1) {
      t_.bestFound[p % kBestRing] = kInsideMatch;
      return {1, 0};
    }
    lengthsSeen_ = 0;
    searched_ = p;
    Match m{1, 0};
    const uint32_t pair = Load16(in_ + p);
    const uint32_t last = t_.lastPair[pair];
    if (last != 0 && last - 1 + kWindow >= p) {
      if (rechoose_) Saw(2, last - 1);
      size_t len = 2, pos = last - 1;
      if (look >= 3) Search(p, look, maxChain, &len, &pos);
      m = {len, p - pos};
    }
    t_.bestFound[p % kBestRing] = static_cast<uint16_t>(m.len);
    t_.lastPair[pair] = static_cast<uint32_t>(p + 1);
    return m;
  }

  void Skip(size_t p) {
    t_.bestFound[p % kBestRing] = kInsideMatch;
    if (p + 1 < n_) t_.lastPair[Load16(in_ + p)] = static_cast<uint32_t>(p + 1);
  }

 private:
  // Groups the positions from `from` - window up to a block past `from` by
  // hash, each group in rising position order.
  void Group(size_t from) {
    base_ = from > kWindow ? from - kWindow : 0;
    groupedTo_ = from + kBlock < hashEnd_ ? from + kBlock : hashEnd_;
    uint32_t* const groupEnd = t_.groupStart;
    std::memset(groupEnd, 0, kHashGroups * sizeof(uint32_t));
    for (size_t q = base_; q < groupedTo_; ++q) {
      const uint32_t h = Hash3(in_ + q);
      t_.rank[q - base_] = h;
      ++groupEnd[h];
    }
    uint32_t total = 0;
    for (size_t h = 0; h < kHashGroups; ++h) {
      total += groupEnd[h];
      groupEnd[h] = total;
    }
    // Filled from the top: each group's end counts down to its start.
    for (size_t q = groupedTo_; q-- > base_;) {
      const uint32_t at = --groupEnd[t_.rank[q - base_]];
      t_.byHash[at] = static_cast<uint32_t>(q);
      t_.rank[q - base_] = at;
    }
  }

  void Search(size_t p, size_t look, size_t maxChain, size_t* bestLen, size_t* bestPos) {
    if (p >= groupedTo_) Group(p);
    const size_t at = t_.rank[p - base_];
    const size_t groupStart = t_.groupStart[Hash3(in_ + p)];
    size_t stop = groupStart;
    if (maxChain > 0 && at - groupStart > maxChain) stop = at - maxChain;
    const size_t lowest = p > kWindow ? p - kWindow : 0;
    const unsigned char* const cur = in_ + p;
    const uint32_t head = Load16(cur);
    size_t len = *bestLen;
    uint32_t tail = Load16(cur + len - 1);
    const uint32_t* const byHash = t_.byHash;
    for (size_t j = at; j > stop;) {
      const size_t q = byHash[--j];
      if (q < lowest) break;
      const unsigned char* const cand = in_ + q;
      if (Load16(cand + len - 1) != tail || Load16(cand) != head) continue;
      // Equal first two bytes and hash imply an equal third byte.
      const size_t i = CommonLength(cur, cand, look);
      if (rechoose_ && i < kShortLengths && !((lengthsSeen_ >> i) & 1)) Saw(i, q);
      if (i > len) {
        len = i;
        *bestLen = len;
        *bestPos = q;
        if (len == look || len > t_.bestFound[q % kBestRing]) return;
        tail = Load16(cur + len - 1);
      }
    }
  }

  void Saw(size_t len, size_t pos) {
    lengthsSeen_ |= uint64_t{1} << len;
    firstOfLength_[len] = pos;
  }

  const unsigned char* const in_;
  const size_t n_;
  const size_t hashEnd_;  // positions below have three bytes to hash
  const FinderTables t_;
  const bool rechoose_;
  size_t base_ = 0;       // first position grouped
  size_t groupedTo_ = 0;  // positions below are grouped
  // The position searched last, and the first candidate measured of each
  // length below kShortLengths (those with their bit set in lengthsSeen_).
  size_t searched_ = 0;
  uint64_t lengthsSeen_ = 0;
  size_t firstOfLength_[kShortLengths] = {};
};

// Bytes an instruction for this match takes after `lit` literals; 0 when
// no instruction can code it.
size_t CodedLength(size_t len, size_t off, size_t lit) {
  if (len < 2) return 0;
  if (len == 2) return (off <= kNearOff && lit > 0 && lit < 4) ? 2 : 0;
  if (len <= kM2Len && off <= kM2Off) return 2;
  if (len == 3 && off <= kFarNearOff && lit >= 4) return 2;
  if (off > kWindow) return 0;
  const size_t plain = off <= kM3Off ? kM3Len : kM4Len;
  if (len <= plain) return 3;
  return 4 + (len - plain - 1) / 255;
}

// How much longer a match one or two bytes ahead must be to be worth it.
size_t MinGain(size_t ahead, size_t lit1, size_t lit2, size_t l1, size_t l2, size_t l3) {
  long gain = static_cast<long>(ahead);
  if (lit1 <= 3)
    gain += (lit2 <= 3) ? 0 : 2;
  else if (lit1 <= 18)
    gain += (lit2 <= 18) ? 0 : 1;
  gain += (static_cast<long>(l2) - static_cast<long>(l1)) * 2;
  if (l3) gain -= static_cast<long>(ahead - l3) * 2;
  return gain < 0 ? 0 : static_cast<size_t>(gain);
}

// A byte shorter (two for one length) for a cheaper distance class, when a
// candidate of that length was seen.
void Rechoose(const MatchFinder& finder, size_t* len, size_t* off) {
  const size_t n = *len;
  if (n <= 3 || *off <= kM2Off) return;
  const size_t shorter = n <= kM3Len + 1 ? finder.Nearest(n - 1) : 0;
  if (n <= kM2Len + 1 && shorter && shorter <= kM2Off) {
    *len = n - 1;
    *off = shorter;
    return;
  }
  if (*off <= kM3Off) return;
  if (n == kM4Len + 1) {
    const size_t twoShorter = finder.Nearest(n - 2);
    if (twoShorter && twoShorter <= kM2Off) {
      *len = n - 2;
      *off = twoShorter;
      return;
    }
  }
  if (n >= kM4Len + 1 && n <= kM3Len + 1 && shorter && shorter <= kM3Off) {
    *len = n - 1;
    *off = shorter;
  }
}

class StreamWriter {
 public:
  explicit StreamWriter(unsigned char* out) : start_(out), op_(out) {}
  bool Empty() const { return op_ == start_; }
  size_t Size() const { return static_cast<size_t>(op_ - start_); }

  // A literal run; up to 3 literals ride in the previous match's last bits.
  void Run(const unsigned char* lits, size_t t) {
    if (op_ == start_ && t <= 238) {
      *op_++ = static_cast<unsigned char>(17 + t);
    } else if (t <= 3) {
      op_[-2] = static_cast<unsigned char>(op_[-2] | t);
    } else if (t <= 18) {
      *op_++ = static_cast<unsigned char>(t - 3);
    } else {
      *op_++ = 0;
      Extra(t - 18);
    }
    std::memcpy(op_, lits, t);
    op_ += t;
  }

  // `litsBefore`: the literals coded right before (0 for none).
  void Copy(size_t len, size_t off, size_t litsBefore) {
    if (len == 2) {
      --off;
      *op_++ = static_cast<unsigned char>((off & 3) << 2);
      *op_++ = static_cast<unsigned char>(off >> 2);
    } else if (len <= kM2Len && off <= kM2Off) {
      --off;
      *op_++ = static_cast<unsigned char>(((len - 1) << 5) | ((off & 7) << 2));
      *op_++ = static_cast<unsigned char>(off >> 3);
    } else if (len == 3 && off <= kFarNearOff && litsBefore >= 4) {
      off -= 1 + kM2Off;
      *op_++ = static_cast<unsigned char>((off & 3) << 2);
      *op_++ = static_cast<unsigned char>(off >> 2);
    } else if (off <= kM3Off) {
      --off;
      Head(32, len, kM3Len);
      Distance(off);
    } else {
      off -= 0x4000;
      Head(static_cast<unsigned char>(16 | ((off & 0x4000) >> 11)), len, kM4Len);
      Distance(off);
    }
  }

  void End() {
    *op_++ = 17;
    *op_++ = 0;
    *op_++ = 0;
  }

 private:
  void Head(unsigned char marker, size_t len, size_t plain) {
    if (len <= plain) {
      *op_++ = static_cast<unsigned char>(marker | (len - 2));
      return;
    }
    *op_++ = marker;
    Extra(len - plain);
  }
  // A count above what the token holds: 255 per zero byte, then the rest.
  void Extra(size_t rest) {
    while (rest > 255) {
      rest -= 255;
      *op_++ = 0;
    }
    *op_++ = static_cast<unsigned char>(rest);
  }
  void Distance(size_t off) {
    *op_++ = static_cast<unsigned char>(off << 2);
    *op_++ = static_cast<unsigned char>(off >> 6);
  }

  unsigned char* const start_;
  unsigned char* op_;
};

// Bytes from position p that the lazy step may still consider.
inline size_t Ahead(size_t n, size_t p) { return n - p < kLookahead + 1 ? n - p : kLookahead + 1; }

void Encode(const unsigned char* in, size_t n, StreamWriter* w, const Level& level,
            MatchFinder* finder, Lzo999Progress progress, void* user) {
  constexpr size_t kReportEvery = 256 * 1024;
  size_t nextReport = kReportEvery;
  const size_t maxChain = level.maxChain;
  size_t p = 0;       // the position `cur` belongs to
  size_t lit = 0;     // literals pending before p
  size_t litAt = 0;   // where they start
  Match cur = n > 0 ? finder->Find(0, maxChain) : Match{0, 0};
  while (p < n) {
    if (progress && p >= nextReport) {
      progress(user, p);
      nextReport = p + kReportEvery;
    }
    size_t len = cur.len, off = cur.off;
    if (lit == 0) litAt = p;
    // Streams of old readers never start with a match nor have a 2-byte
    // match right after the first run.
    const bool literal = len < 2 || (len == 2 && (off > kNearOff || lit == 0 || lit >= 4)) ||
                         (len == 2 && w->Empty()) || (w->Empty() && lit == 0) ||
                         (len == 3 && off > kFarNearOff && lit >= 4);
    if (literal) {
      ++lit;
      ++p;
      if (p < n) cur = finder->Find(p, maxChain);
      continue;
    }
    if (level.rechoose) Rechoose(*finder, &len, &off);

    size_t ahead = 0, maxAhead = 0, l1 = 0;
    if (level.lazySteps > 0 && len < level.maxLazy) {
      l1 = CodedLength(len, off, lit);
      maxAhead = level.lazySteps < l1 - 1 ? level.lazySteps : l1 - 1;
    }
    bool movedOn = false;
    while (ahead < maxAhead && Ahead(n, p + ahead) > len) {
      const size_t chain = len >= level.goodLength ? maxChain >> 2 : maxChain;
      ++ahead;
      cur = finder->Find(p + ahead, chain);
      if (cur.len < len || (cur.len == len && cur.off >= off)) continue;
      if (level.rechoose) Rechoose(*finder, &cur.len, &cur.off);
      const size_t l2 = CodedLength(cur.len, cur.off, lit + ahead);
      if (l2 == 0) continue;
      const size_t l3 = w->Empty() ? 0 : CodedLength(ahead, off, lit);
      if (cur.len >= len + MinGain(ahead, lit, lit + ahead, l1, l2, l3)) {
        if (l3) {
          // The first bytes as a 2-byte match, then the better one.
          if (lit > 0) w->Run(in + litAt, lit);
          w->Copy(ahead, off, lit);
          lit = 0;
        } else {
          lit += ahead;
        }
        p += ahead;
        movedOn = true;
        break;
      }
    }
    if (movedOn) continue;

    if (lit > 0) w->Run(in + litAt, lit);
    w->Copy(len, off, lit);
    lit = 0;
    for (size_t q = p + ahead + 1; q < p + len; ++q) finder->Skip(q);
    p += len;
    if (p < n) cur = finder->Find(p, maxChain);
  }
  if (lit > 0) w->Run(in + litAt, lit);
  w->End();
}

// The work memory, in this order (the 32-bit tables first, for alignment).
struct WorkLayout {
  size_t positions;  // grouped at once
  size_t Bytes() const {
    return (kHashGroups + kPairs + 2 * positions) * sizeof(uint32_t) + kBestRing * sizeof(uint16_t);
  }
  FinderTables Tables(void* work) const {
    uint32_t* const words = static_cast<uint32_t*>(work);
    FinderTables t;
    t.groupStart = words;
    t.lastPair = t.groupStart + kHashGroups;
    t.byHash = t.lastPair + kPairs;
    t.rank = t.byHash + positions;
    t.bestFound = reinterpret_cast<uint16_t*>(t.rank + positions);
    return t;
  }
};

WorkLayout LayoutFor(size_t n) {
  const size_t most = kBlock + kWindow;
  return WorkLayout{n < most ? (n > 0 ? n : 1) : most};
}

}  // namespace

size_t Lzo1x999WorkSize(size_t n) { return LayoutFor(n).Bytes(); }

bool Lzo1x999Compress(const unsigned char* in, size_t n, unsigned char* out, size_t* outSize,
                      void* work, int level, Lzo999Progress progress, void* user) {
  // Positions are kept in 32 bits.
  if (level < 1 || level > 9 || !out || !outSize || !work || (!in && n > 0) || n >= 0xFFFFFFF0u)
    return false;
  const FinderTables tables = LayoutFor(n).Tables(work);
  // The pair table tells positions apart from "none" (0); the other tables
  // are written before they are read.
  std::memset(tables.lastPair, 0, kPairs * sizeof(uint32_t));
  const Level& settings = kLevels[level - 1];
  MatchFinder finder(in, n, tables, settings.rechoose);
  StreamWriter writer(out);
  Encode(in, n, &writer, settings, &finder, progress, user);
  *outSize = writer.Size();
  if (progress) progress(user, n);
  return true;
}

Lzo1x999Compressor::~Lzo1x999Compressor() { std::free(work_); }

bool Lzo1x999Compressor::Compress(const unsigned char* in, size_t n, unsigned char* out,
                                  size_t* outSize, int level, Lzo999Progress progress,
                                  void* user) {
  const size_t need = Lzo1x999WorkSize(n);
  if (workSize_ < need) {
    std::free(work_);
    work_ = std::malloc(need);
    workSize_ = work_ ? need : 0;
    if (!work_) return false;
  }
  return Lzo1x999Compress(in, n, out, outSize, work_, level, progress, user);
}

}  // namespace orvel
