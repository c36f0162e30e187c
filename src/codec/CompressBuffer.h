// Whole-file compression with LZO1X-999 (ours, Lzo1x999Compress.h) and
// decompression with LZO1X.
#ifndef ORVEL_CODEC_COMPRESS_BUFFER_H
#define ORVEL_CODEC_COMPRESS_BUFFER_H

#include <cstdint>

#include "frame/Allocation.h"

namespace orvel {

// Output bound of one stream for n input bytes: n + n/64 + 19.
inline uint64_t CompressBound(uint64_t n) { return n + n / 64 + 19; }

// An LZO1X stream cannot decode to more than about 255 bytes per input byte;
// a stream claiming a larger original size is damaged, and is refused before
// anything is sized from that claim.
inline bool IsPlausibleExpansion(uint64_t storedSize, uint64_t originalSize) {
  return originalSize <= storedSize * 256 + 4096;
}

// Each archive owns one. Keeps a growing output buffer (never shrunk) and,
// from the first compression on, the compressor's work memory in the same
// block, so compression allocates nothing once the buffer is large enough
// and readers never pay for the work memory. Create with `new` (allocation
// rule).
class CCompressBuffer : public VrkHeapObject {
 public:
  CCompressBuffer();
  ~CCompressBuffer();
  CCompressBuffer(const CCompressBuffer&) = delete;
  CCompressBuffer& operator=(const CCompressBuffer&) = delete;

  // Compresses `size` bytes; returns m_pBuffer holding m_nStoredSize bytes
  // (valid until the next call), or null on failure.
  const unsigned char* CompressBuffer(const void* data, unsigned int size);
  // Compresses a whole disk file; null if it is missing, cannot be opened,
  // measured or read whole, or on any failed allocation.
  const unsigned char* CompressDiskFile(const char* path);
  // Decodes `storedSize` bytes into `out` (room for `originalSize` bytes).
  // Never writes past originalSize nor reads past storedSize. Returns true
  // only when the stream decoded cleanly to exactly `originalSize` bytes;
  // m_nOriginalSize then holds the bytes produced (unchanged on failure).
  // On failure the bytes decoded before the damage are kept and the rest of
  // the `originalSize` bytes are zero.
  bool Decompress(const void* stored, unsigned int storedSize,
                  unsigned int originalSize, void* out);

  unsigned char* m_pBuffer;
  unsigned int m_nCapacity;
  unsigned int m_nOriginalSize;
  unsigned int m_nStoredSize;

 private:
  bool Reserve(unsigned int bound, bool forCompression);
  bool CompressInto(const void* data, unsigned int size);

  // Inside m_pBuffer's block after the output room; null until a compression
  // needed it. Sized for inputs up to m_nCapacity bytes.
  unsigned char* m_pWorkMem;
};

}  // namespace orvel

#endif
