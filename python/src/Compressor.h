// Compression for Archive.add: LZO1X-999, kept only when it makes the file
// smaller, so that incompressible files are stored as they are and read back
// without decoding (vrk decides the same way).
#ifndef ORVELPY_COMPRESSOR_H
#define ORVELPY_COMPRESSOR_H

#include <cstddef>
#include <vector>

#include "Lzo1x999Compress.h"

namespace orvelpy {

// Work memory and output of one thread; reused from call to call.
class Compressor {
 public:
  Compressor();
  // True when the LZO1X stream of `data` is smaller than `size` bytes; it is
  // then in Stream() until the next call.
  bool Compress(const void* data, size_t size);
  const unsigned char* Stream() const { return stream_.data(); }
  size_t StreamSize() const { return streamSize_; }

 private:
  // An LZO1X-1 pass costs little beside LZO1X-999 and tells data that will
  // not shrink: first on the head of the file, then on all of it.
  bool MayShrink(const unsigned char* data, size_t size);

  orvel::Lzo1x999Compressor compressor_;
  std::vector<unsigned char> work1_, stream_;
  size_t streamSize_ = 0;
};

}  // namespace orvelpy

#endif
