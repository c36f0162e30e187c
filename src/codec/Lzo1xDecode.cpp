// LZO1X decoding with every bound checked.
//
// The stream is a sequence of instructions; what a token byte below 16 means
// depends on what came before it:
//   - at the start and after an instruction that ended with no trailing
//     literals, it starts a literal run (3 or more bytes);
//   - right after a literal run, it is a 3-byte match 2049 to 3072 back;
//   - after 1 to 3 trailing literals, it is a 2-byte match 1 to 1024 back.
// Tokens from 16 up are matches (64+: short-distance, 32+: up to 16 KiB,
// 16+: up to 48 KiB, also the end marker); the low two bits of the byte two
// before the next token give the literals (0 to 3) that follow the match.
//
// The checks are made in the order, and with the outcome, of the reference
// safe decoder, so that a damaged stream is refused at the same point with
// the same count. The copies are wide where both buffers have room for the
// overshoot and exact near their ends.
#include "codec/Lzo1xDecode.h"

#include <cstdint>
#include <cstring>

namespace orvel {
namespace {

// The steps below are lambdas over the decoder's positions; inlined, the
// positions stay in registers.
#define ORVEL_INLINE __attribute__((always_inline))

// Wide copies move this many bytes per step.
constexpr size_t kChunk = 16;

// A run length counter that would wrap is refused like the reference does.
constexpr size_t kLengthLimit = ~size_t{0} - 511;

inline void Copy16(unsigned char* dst, const unsigned char* src) {
  unsigned char chunk[kChunk];
  std::memcpy(chunk, src, kChunk);
  std::memcpy(dst, chunk, kChunk);
}

inline void Copy8(unsigned char* dst, const unsigned char* src) {
  uint64_t word;
  std::memcpy(&word, src, 8);
  std::memcpy(dst, &word, 8);
}

// Copies n literal bytes; `inRoom` and `outRoom` are the bytes readable at
// src and writable at dst.
inline void CopyLiterals(unsigned char* dst, const unsigned char* src, size_t n,
                         size_t inRoom, size_t outRoom) {
  if (n <= 2 * kChunk && inRoom >= 2 * kChunk && outRoom >= 2 * kChunk) {
    Copy16(dst, src);
    if (n > kChunk) Copy16(dst + kChunk, src + kChunk);
    return;
  }
  std::memcpy(dst, src, n);
}

// Copies n bytes from `distance` back in the output (overlap allowed: a
// short distance repeats the pattern); `outRoom` is the room at dst.
inline void CopyMatch(unsigned char* dst, size_t distance, size_t n,
                      size_t outRoom) {
  const unsigned char* src = dst - distance;
  if (distance >= kChunk && outRoom >= n + kChunk) {
    // Each chunk reads only bytes already final: they lie a whole chunk or
    // more behind the write position.
    for (size_t done = 0; done < n; done += kChunk) Copy16(dst + done, src + done);
    return;
  }
  if (distance >= 8 && outRoom >= n + 8) {
    for (size_t done = 0; done < n; done += 8) Copy8(dst + done, src + done);
    return;
  }
  if (distance == 1) {
    std::memset(dst, *src, n);
    return;
  }
  if (outRoom >= n + 8) {
    // A short distance repeats a pattern: the first 8 bytes one by one,
    // then 8 at a time from a whole number of periods back (at least 8).
    for (size_t i = 0; i < 8; ++i) dst[i] = src[i];
    // The smallest multiple of the distance (2 to 7) that is at least 8.
    static constexpr unsigned char kStep[8] = {0, 0, 8, 9, 8, 10, 12, 14};
    const size_t step = kStep[distance];
    for (size_t done = 8; done < n; done += 8) Copy8(dst + done, dst + done - step);
    return;
  }
  for (size_t i = 0; i < n; ++i) dst[i] = src[i];
}

inline size_t Le16(const unsigned char* p) {
  return static_cast<size_t>(p[0]) | (static_cast<size_t>(p[1]) << 8);
}

}  // namespace

int Lzo1xDecodeSafe(const unsigned char* in, size_t inSize, unsigned char* out,
                    size_t* outSize) {
  const unsigned char* ip = in;
  const unsigned char* const inEnd = in + inSize;
  unsigned char* op = out;
  unsigned char* const outEnd = out + *outSize;
  int status = kLzoOk;
  size_t t = 0;

  const auto inLeft = [&]() ORVEL_INLINE { return static_cast<size_t>(inEnd - ip); };
  const auto outLeft = [&]() ORVEL_INLINE { return static_cast<size_t>(outEnd - op); };
  const auto written = [&]() ORVEL_INLINE { return static_cast<size_t>(op - out); };

  // The bytes after a literal run of n: a length check on both sides, in the
  // reference's order (output first), then the copy. `extra` is what must be
  // readable beyond the literals for the next token.
  const auto literals = [&](size_t n, size_t extra) ORVEL_INLINE -> bool {
    if (outLeft() < n) {
      status = kLzoOutputOverrun;
      return false;
    }
    if (inLeft() < n + extra) {
      status = kLzoInputOverrun;
      return false;
    }
    CopyLiterals(op, ip, n, inLeft(), outLeft());
    op += n;
    ip += n;
    return true;
  };
  // A match of n bytes, `distance` back: the look-behind check, then the room.
  const auto match = [&](size_t distance, size_t n) ORVEL_INLINE -> bool {
    if (distance > written()) {
      status = kLzoLookbehindOverrun;
      return false;
    }
    if (outLeft() < n) {
      status = kLzoOutputOverrun;
      return false;
    }
    CopyMatch(op, distance, n, outLeft());
    op += n;
    return true;
  };
  // The zero bytes of a long length: each adds 255; `onWrap` is the status
  // the reference gives a counter about to wrap.
  const auto longLength = [&](size_t base, int onWrap) ORVEL_INLINE -> bool {
    t = 0;
    while (*ip == 0) {
      t += 255;
      ++ip;
      if (t > kLengthLimit) {
        status = onWrap;
        return false;
      }
      if (inLeft() < 1) {
        status = kLzoInputOverrun;
        return false;
      }
    }
    t += base + *ip++;
    return true;
  };

  // Where a token is read: `afterRun` when it follows a literal run,
  // otherwise `trailing` holds the literals that followed the last match.
  bool afterRun = false;
  size_t trailing = 0;

  if (inLeft() < 1) {
    status = kLzoInputOverrun;
    goto done;
  }
  if (*ip > 17) {
    // A stream may start with a literal run of 1 to 238 bytes coded in one.
    const size_t n = static_cast<size_t>(*ip++) - 17;
    if (!literals(n, 3)) goto done;
    if (n < 4) {
      trailing = n;
    } else {
      afterRun = true;
    }
  }

  for (;;) {
    if (!afterRun && trailing == 0) {
      if (inLeft() < 3) {
        status = kLzoInputOverrun;
        goto done;
      }
      t = *ip++;
      if (t < 16) {
        if (t == 0 && !longLength(15, kLzoInputOverrun)) goto done;
        if (!literals(t + 3, 3)) goto done;
        afterRun = true;
        continue;
      }
    } else {
      t = *ip++;
    }

    if (t < 16) {
      // The short matches that only follow literals.
      if (afterRun) {
        const size_t distance = 2049 + (t >> 2) + (static_cast<size_t>(*ip++) << 2);
        if (!match(distance, 3)) goto done;
      } else {
        const size_t distance = 1 + (t >> 2) + (static_cast<size_t>(*ip++) << 2);
        if (!match(distance, 2)) goto done;
      }
    } else if (t >= 64) {
      const size_t distance = 1 + ((t >> 2) & 7) + (static_cast<size_t>(*ip++) << 3);
      if (!match(distance, (t >> 5) + 1)) goto done;
    } else if (t >= 32) {
      t &= 31;
      if (t == 0) {
        if (!longLength(31, kLzoOutputOverrun)) goto done;
        if (inLeft() < 2) {
          status = kLzoInputOverrun;
          goto done;
        }
      }
      const size_t distance = 1 + (Le16(ip) >> 2);
      ip += 2;
      if (!match(distance, t + 2)) goto done;
    } else {
      const size_t far = (t & 8) << 11;
      t &= 7;
      if (t == 0) {
        if (!longLength(7, kLzoOutputOverrun)) goto done;
        if (inLeft() < 2) {
          status = kLzoInputOverrun;
          goto done;
        }
      }
      const size_t distance = far + (Le16(ip) >> 2);
      ip += 2;
      if (distance == 0) {
        // The end marker: the stream must end right here.
        status = ip == inEnd ? kLzoOk : kLzoInputNotConsumed;
        goto done;
      }
      if (!match(distance + 0x4000, t + 2)) goto done;
    }

    afterRun = false;
    trailing = ip[-2] & 3;
    if (trailing != 0 && !literals(trailing, 3)) goto done;
  }

done:
  *outSize = written();
  return status;
}

}  // namespace orvel
