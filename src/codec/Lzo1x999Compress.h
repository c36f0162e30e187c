// Our LZO1X-999 compressor. For every input and level it writes the very
// stream the reference library's lzo1x_999_compress_level writes (level 8 is
// its lzo1x_999_compress), so archives stay byte for byte as they were.
#ifndef ORVEL_CODEC_LZO1X_999_COMPRESS_H
#define ORVEL_CODEC_LZO1X_999_COMPRESS_H

#include <cstddef>
#include <cstdint>

namespace orvel {

// The level the reference's plain entry point uses.
constexpr int kLzo999DefaultLevel = 8;

// Output room the compressor may need for n input bytes (LZO1X's documented
// worst case); the compressor does not check the room it writes into.
inline size_t Lzo1x999Bound(size_t n) { return n + n / 16 + 64 + 3; }

// Told the input bytes done so far, now and then during a long compression.
using Lzo999Progress = void (*)(void* user, size_t done);

// Holds the match finder's tables between calls, so that compressing many
// files allocates once. One compressor per thread.
class Lzo1x999Compressor {
 public:
  Lzo1x999Compressor() = default;
  ~Lzo1x999Compressor();
  Lzo1x999Compressor(const Lzo1x999Compressor&) = delete;
  Lzo1x999Compressor& operator=(const Lzo1x999Compressor&) = delete;

  // Compresses in[0, n) into out, which has room for Lzo1x999Bound(n) bytes,
  // and sets *outSize. False for a level outside 1..9 or a failed
  // allocation. `progress` (may be null) hears from it about every 256 KiB.
  bool Compress(const unsigned char* in, size_t n, unsigned char* out, size_t* outSize,
                int level = kLzo999DefaultLevel, Lzo999Progress progress = nullptr,
                void* user = nullptr);

 private:
  bool Reserve(size_t positions);

  // Scratch of the match finder (Lzo1x999Compress.cpp): positions grouped by
  // their 3-byte hash, each position's index in that order, the hash groups'
  // starts, the latest position of each 2-byte pair, and the best length
  // found at each recent position.
  uint32_t* byHash_ = nullptr;
  uint32_t* rank_ = nullptr;
  uint32_t* groupStart_ = nullptr;
  uint32_t* lastPair_ = nullptr;
  uint16_t* bestFound_ = nullptr;
  size_t capacity_ = 0;
};

}  // namespace orvel

#endif
