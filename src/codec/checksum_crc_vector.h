// The wide CRC-32 folding engines (VPCLMULQDQ on 256- and 512-bit registers).
#ifndef ORVEL_CODEC_CHECKSUM_CRC_VECTOR_H
#define ORVEL_CODEC_CHECKSUM_CRC_VECTOR_H

#include <cstddef>
#include <cstdint>

namespace orvel {

// The widest engine this processor runs: 512, 256, or 0 for none.
int Crc32VectorWidth();

// Folds the longest prefix of whole 32-byte (width 256) or 64-byte (width
// 512) blocks into the running value `*crc`, when `size` is long enough for
// the engine (128 or 256 bytes; the 512-bit one falls back to the 256-bit
// one below that). Returns the bytes consumed, 0 when nothing was done.
// `width` must not exceed Crc32VectorWidth().
size_t Crc32FoldVector(int width, uint32_t* crc, const void* data, size_t size);

}  // namespace orvel

#endif
