// Our LZO1X-999 compressor. For every input and level it writes the very
// stream the reference library's lzo1x_999_compress_level writes (level 8 is
// its lzo1x_999_compress), so archives stay byte for byte as they were.
#ifndef ORVEL_CODEC_LZO1X_999_COMPRESS_H
#define ORVEL_CODEC_LZO1X_999_COMPRESS_H

#include <cstddef>

namespace orvel {

// The level the reference's plain entry point uses.
constexpr int kLzo999DefaultLevel = 8;

// Output room the compressor may need for n input bytes (LZO1X's documented
// worst case); the compressor does not check the room it writes into.
inline size_t Lzo1x999Bound(size_t n) { return n + n / 16 + 64 + 3; }

// Told the input bytes done so far, now and then during a long compression.
using Lzo999Progress = void (*)(void* user, size_t done);

// Bytes of work memory the compressor needs for an input of n bytes (at
// most about 3 MiB, whatever n).
size_t Lzo1x999WorkSize(size_t n);

// Compresses in[0, n) into out, which has room for Lzo1x999Bound(n) bytes,
// and sets *outSize. `work` holds Lzo1x999WorkSize(n) bytes, 4-byte aligned,
// of any content. False for a level outside 1..9 or an input of 4 GiB or
// more. `progress` (may be null) hears from it about every 256 KiB.
bool Lzo1x999Compress(const unsigned char* in, size_t n, unsigned char* out, size_t* outSize,
                      void* work, int level = kLzo999DefaultLevel,
                      Lzo999Progress progress = nullptr, void* user = nullptr);

// The compressor with its own work memory, from the process heap, kept and
// grown between calls so that compressing many files allocates seldom. For
// hosts of the library (vrk, the Python module) and tests; the library
// itself provides work memory by its allocation rule. One per thread.
class Lzo1x999Compressor {
 public:
  Lzo1x999Compressor() = default;
  ~Lzo1x999Compressor();
  Lzo1x999Compressor(const Lzo1x999Compressor&) = delete;
  Lzo1x999Compressor& operator=(const Lzo1x999Compressor&) = delete;

  // As Lzo1x999Compress; also false when the work memory cannot be had.
  bool Compress(const unsigned char* in, size_t n, unsigned char* out, size_t* outSize,
                int level = kLzo999DefaultLevel, Lzo999Progress progress = nullptr,
                void* user = nullptr);

 private:
  void* work_ = nullptr;
  size_t workSize_ = 0;
};

}  // namespace orvel

#endif
