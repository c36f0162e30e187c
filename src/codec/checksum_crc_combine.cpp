// Combining CRC-32s without the data: the CRC of A followed by B is the CRC
// of A multiplied by x^(8 * length of B) modulo the polynomial, added to the
// CRC of B. Values are reflected: bit 31 holds the coefficient of x^0.
#include "codec/checksum_crc.h"

namespace orvel {
namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr uint32_t kOne = 1u << 31;  // x^0

// a * b modulo the polynomial.
uint32_t MultiplyModP(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t m = kOne; m != 0; m >>= 1) {
    if (a & m) {
      product ^= b;
      if ((a & (m - 1)) == 0) break;
    }
    b = (b & 1) ? (b >> 1) ^ kPolynomial : b >> 1;
  }
  return product;
}

// x^(8 * bytes) modulo the polynomial, by repeated squaring.
uint32_t ShiftByBytes(uint64_t bytes) {
  uint32_t result = kOne;
  uint32_t power = kOne >> 8;  // x^8
  for (; bytes != 0; bytes >>= 1) {
    if (bytes & 1) result = MultiplyModP(power, result);
    power = MultiplyModP(power, power);
  }
  return result;
}

}  // namespace

uint32_t Crc32Combine(uint32_t crcA, uint32_t crcB, uint64_t lengthB) {
  return MultiplyModP(ShiftByBytes(lengthB), crcA) ^ crcB;
}

Crc32Append::Crc32Append(uint64_t lengthB) {
  // The shift is linear in crcA: one table per byte of it.
  const uint32_t shift = ShiftByBytes(lengthB);
  for (uint32_t k = 0; k < 4; ++k)
    for (uint32_t v = 0; v < 256; ++v) m_shift[k][v] = MultiplyModP(shift, v << (8 * k));
}

}  // namespace orvel
