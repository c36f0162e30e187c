// The stream's instructions: a literal run, or a match (2-byte M1, M2, M3,
// M4) followed by 0 to 3 literals named in its last distance byte. What a
// byte below 16 means depends on what came before it, hence the state.
#include "codec/LzoStreamLength.h"

namespace orvel {
namespace {

// Most distance an M2 match reaches; the 3-byte M1 after a literal run
// starts beyond it.
constexpr uint64_t kM2MaxOffset = 0x0800;
// Longest match M2 holds.
constexpr uint64_t kM2MaxLength = 8;
// M4 distances start beyond the M3 range.
constexpr uint64_t kM4Base = 0x4000;

enum class After {
  kMatch,     // a byte below 16 starts a literal run
  kLiterals,  // a byte below 16 is a 3-byte match reaching past M2's range
  kTrailing,  // a byte below 16 is a 2-byte near match
};

class Walker {
 public:
  Walker(const unsigned char* in, size_t available, uint64_t maxDecoded)
      : in_(in), end_(available), max_(maxDecoded) {}

  bool Byte(unsigned* b) {
    if (at_ >= end_) return false;
    *b = in_[at_++];
    return true;
  }
  // A length that a run of zero bytes extends by 255 each, then one byte.
  bool Extended(uint64_t base, uint64_t* length) {
    uint64_t zeros = 0;
    unsigned b = 0;
    for (;;) {
      if (!Byte(&b)) return false;
      if (b != 0) break;
      // No stream holds a length beyond what is left to decode.
      if (++zeros * 255 > max_) return false;
    }
    *length = base + zeros * 255 + b;
    return true;
  }
  bool Literals(uint64_t n) {
    if (n > end_ - at_ || n > max_ - out_) return false;
    at_ += static_cast<size_t>(n);
    out_ += n;
    return true;
  }
  bool Match(uint64_t distance, uint64_t length) {
    if (distance > out_ || length > max_ - out_) return false;
    out_ += length;
    return true;
  }
  size_t at() const { return at_; }
  uint64_t out() const { return out_; }

 private:
  const unsigned char* in_;
  size_t end_;
  uint64_t max_;
  size_t at_ = 0;
  uint64_t out_ = 0;
};

}  // namespace

bool MeasureLzoStream(const unsigned char* in, size_t available, uint64_t maxDecoded,
                      bool canonical, LzoStreamLength* out, uint64_t* work) {
  Walker w(in, available, maxDecoded);
  struct Count {
    const Walker& w;
    uint64_t* work;
    ~Count() { *work += w.at(); }
  } count{w, work};

  After state = After::kMatch;
  unsigned t = 0;
  if (!w.Byte(&t)) return false;
  if (t > 17) {
    // A first literal run of 1 to 238 bytes.
    if (!w.Literals(t - 17)) return false;
    state = t - 17 < 4 ? After::kTrailing : After::kLiterals;
    if (!w.Byte(&t)) return false;
  }
  for (;;) {
    unsigned trailing = 0;
    if (t < 16 && state == After::kMatch) {
      uint64_t n = t;
      if (t == 0 && !w.Extended(15, &n)) return false;
      if (!w.Literals(n + 3)) return false;
      state = After::kLiterals;
      if (!w.Byte(&t)) return false;
      continue;
    }
    if (t < 16) {
      unsigned d = 0;
      if (!w.Byte(&d)) return false;
      const bool far = state == After::kLiterals;
      const uint64_t distance = 1 + (far ? kM2MaxOffset : 0) + (t >> 2) + (uint64_t{d} << 2);
      if (!w.Match(distance, far ? 3 : 2)) return false;
      trailing = t & 3;
    } else if (t >= 64) {
      unsigned d = 0;
      if (!w.Byte(&d)) return false;
      if (!w.Match(1 + ((t >> 2) & 7) + (uint64_t{d} << 3), (t >> 5) + 1)) return false;
      trailing = t & 3;
    } else {
      const bool m3 = t >= 32;
      uint64_t length = t & (m3 ? 31u : 7u);
      if (length == 0 && !w.Extended(m3 ? 31 : 7, &length)) return false;
      unsigned d0 = 0, d1 = 0;
      if (!w.Byte(&d0) || !w.Byte(&d1)) return false;
      const uint64_t near = (d0 >> 2) + (uint64_t{d1} << 6);
      if (m3) {
        // A compressor writes a match this short and near as the shorter M2.
        if (canonical && length + 2 <= kM2MaxLength && 1 + near <= kM2MaxOffset) return false;
        if (!w.Match(1 + near, length + 2)) return false;
      } else {
        const uint64_t base = uint64_t{t & 8u} << 11;
        if (base + near == 0) {
          out->consumed = w.at();
          out->decoded = w.out();
          return true;
        }
        if (!w.Match(base + near + kM4Base, length + 2)) return false;
      }
      trailing = d0 & 3;
    }
    if (trailing == 0) {
      state = After::kMatch;
    } else {
      if (!w.Literals(trailing)) return false;
      state = After::kTrailing;
    }
    if (!w.Byte(&t)) return false;
  }
}

}  // namespace orvel
