#include "Compressor.h"

#include <lzo/lzo1x.h>

#include <algorithm>

namespace orvelpy {
namespace {

// Smaller files go straight to LZO1X-999; larger ones are tried on their
// first kTrialHead bytes, and on the whole when the head does not shrink.
constexpr size_t kTrialFrom = 512;
constexpr size_t kTrialHead = 4096;

}  // namespace

Compressor::Compressor() : work1_(LZO1X_1_MEM_COMPRESS) {}

bool Compressor::MayShrink(const unsigned char* data, size_t size) {
  if (size < kTrialFrom) return true;
  for (size_t part : {std::min(size, kTrialHead), size}) {
    lzo_uint out = stream_.size();
    if (lzo1x_1_compress(data, part, stream_.data(), &out, work1_.data()) == LZO_E_OK &&
        out < part)
      return true;
    if (part == size) break;
  }
  return false;
}

bool Compressor::Compress(const void* data, size_t size) {
  const auto* in = static_cast<const unsigned char*>(data);
  // LZO1X's worst case for `size` bytes of input.
  stream_.resize(size + size / 16 + 67);
  if (size == 0 || !MayShrink(in, size)) return false;
  // Ours writes liblzo2's lzo1x_999_compress bytes.
  size_t out = 0;
  if (!compressor_.Compress(in, size, stream_.data(), &out) || out >= size) return false;
  streamSize_ = out;
  return true;
}

}  // namespace orvelpy
