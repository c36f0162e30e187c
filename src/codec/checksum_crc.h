// CRC-32 (reflected polynomial 0xEDB88320, the one of zlib and PNG).
#ifndef ORVEL_CODEC_CHECKSUM_CRC_H
#define ORVEL_CODEC_CHECKSUM_CRC_H

#include <cstddef>
#include <cstdint>

namespace orvel {

// Running-CRC interface; preconditions are reported as failed assertions and
// the routine then returns without reading the bad pointer.
void InitCRC(unsigned long* pulCRC);
void UpdateCRC(unsigned long* pulCRC, const void* pBuffer, int nBuffer);
void FinishCRC(unsigned long* pulCRC);
// 1 when the CRC-32 of the `size` bytes equals `crc`.
int VerifyCRC(const void* buffer, unsigned long size, unsigned long crc);

// Fast paths without precondition reports, for internal callers. `crc` is
// the running (non-inverted) value: start with 0xFFFFFFFF, end with ~crc.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);
// The finished CRC-32 of a buffer (0 for size 0).
uint32_t Crc32(const void* data, size_t size);

// The CRC-32 of A followed by B, from the finished CRC-32s of A and B and
// the length of B, without the data (GF(2) polynomial arithmetic).
uint32_t Crc32Combine(uint32_t crcA, uint32_t crcB, uint64_t lengthB);

// Crc32Combine for one fixed length of B, by table lookups: for combining
// the checksums of many pieces of equal length.
class Crc32Append {
 public:
  explicit Crc32Append(uint64_t lengthB);
  uint32_t operator()(uint32_t crcA, uint32_t crcB) const {
    return m_shift[0][crcA & 0xFF] ^ m_shift[1][(crcA >> 8) & 0xFF] ^
           m_shift[2][(crcA >> 16) & 0xFF] ^ m_shift[3][crcA >> 24] ^ crcB;
  }

 private:
  uint32_t m_shift[4][256];
};

// The implementations behind Crc32Update, for tests and benches.
uint32_t Crc32UpdateSlicing(uint32_t crc, const void* data, size_t size);
// Carry-less-multiply folding; only valid when Crc32HasClmul().
uint32_t Crc32UpdateClmul(uint32_t crc, const void* data, size_t size);
bool Crc32HasClmul();
// Folding with `width`-bit registers (256 or 512, see Crc32VectorWidth() in
// checksum_crc_vector.h), the 128-bit engine and the tables for the rest.
uint32_t Crc32UpdateVector(int width, uint32_t crc, const void* data,
                           size_t size);

}  // namespace orvel

#endif
