// CRC-32 with the reflected polynomial 0xEDB88320 (the one of zlib and PNG).
//
// Three engines compute the same running value, the best one chosen once at
// run time: carry-less-multiply folding on 256- or 512-bit registers
// (VPCLMULQDQ, checksum_crc_vector.cpp), the same on 128-bit registers
// (PCLMULQDQ), and slicing-by-8 tables everywhere else and for short tails.
#include "codec/checksum_crc.h"

#include <array>
#include <climits>
#include <cstring>

#include "codec/checksum_crc_vector.h"
#include "frame/AssertReport.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVEL_CRC_CLMUL 1
#endif

namespace orvel {
namespace {

constexpr const char* kSource = "checksum_crc.cpp";

// Table k maps a byte to its CRC contribution k bytes further on; table 0 is
// the classic bytewise table.
struct CrcTables {
  uint32_t t[8][256];
};

constexpr CrcTables MakeTables() {
  CrcTables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ ((c & 1) ? 0xEDB88320u : 0u);
    tables.t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    for (int k = 1; k < 8; ++k) {
      const uint32_t prev = tables.t[k - 1][i];
      tables.t[k][i] = (prev >> 8) ^ tables.t[0][prev & 0xFF];
    }
  }
  return tables;
}

constexpr CrcTables kTables = MakeTables();

inline uint32_t CrcByte(uint32_t crc, unsigned char b) {
  return (crc >> 8) ^ kTables.t[0][(crc ^ b) & 0xFF];
}

inline uint32_t Load32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap32(v);
#endif
  return v;
}

#if ORVEL_CRC_CLMUL
bool DetectClmul() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}
#endif

const bool kHasClmul =
#if ORVEL_CRC_CLMUL
    DetectClmul();
#else
    false;
#endif

// Below this many bytes the folding set-up costs more than it saves.
constexpr size_t kClmulMinimum = 64;

}  // namespace

uint32_t Crc32UpdateSlicing(uint32_t crc, const void* data, size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  // Bytes up to a 4-byte boundary one by one, then 8 per step.
  while (size > 0 && (reinterpret_cast<uintptr_t>(p) & 3) != 0) {
    crc = CrcByte(crc, *p++);
    --size;
  }
  const auto& t = kTables.t;
  while (size >= 8) {
    const uint32_t one = Load32(p) ^ crc;
    const uint32_t two = Load32(p + 4);
    crc = t[7][one & 0xFF] ^ t[6][(one >> 8) & 0xFF] ^
          t[5][(one >> 16) & 0xFF] ^ t[4][one >> 24] ^ t[3][two & 0xFF] ^
          t[2][(two >> 8) & 0xFF] ^ t[1][(two >> 16) & 0xFF] ^ t[0][two >> 24];
    p += 8;
    size -= 8;
  }
  while (size > 0) {
    crc = CrcByte(crc, *p++);
    --size;
  }
  return crc;
}

#if ORVEL_CRC_CLMUL
// Folds the input four 128-bit lanes at a time with carry-less products
// (the constants are x^(k) mod P for the fold distances, bit-reflected),
// then reduces the 128-bit remainder to 32 bits with a Barrett step.
// Handles the multiple-of-16 prefix of at least 64 bytes; the caller does
// the tail.
#define ORVEL_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

ORVEL_CLMUL_TARGET static inline __m128i Load128(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x multiplied by the fold constants k (low and high halves separately),
// plus the next 128 bits of input.
ORVEL_CLMUL_TARGET static inline __m128i Fold(__m128i x, __m128i k,
                                              __m128i next) {
  const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

ORVEL_CLMUL_TARGET static uint32_t ClmulFold(
    uint32_t crc, const unsigned char* buf, size_t len) {
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
  const __m128i k5k0 = _mm_set_epi64x(0x0000000000, 0x0163cd6124);
  const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);

  __m128i x1 = Load128(buf);
  __m128i x2 = Load128(buf + 16);
  __m128i x3 = Load128(buf + 32);
  __m128i x4 = Load128(buf + 48);
  x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(crc)));
  buf += 64;
  len -= 64;

  while (len >= 64) {
    x1 = Fold(x1, k1k2, Load128(buf));
    x2 = Fold(x2, k1k2, Load128(buf + 16));
    x3 = Fold(x3, k1k2, Load128(buf + 32));
    x4 = Fold(x4, k1k2, Load128(buf + 48));
    buf += 64;
    len -= 64;
  }

  // Four lanes into one.
  x1 = Fold(x1, k3k4, x2);
  x1 = Fold(x1, k3k4, x3);
  x1 = Fold(x1, k3k4, x4);
  while (len >= 16) {
    x1 = Fold(x1, k3k4, Load128(buf));
    buf += 16;
    len -= 16;
  }

  // 128 bits to 64.
  __m128i x0 = _mm_clmulepi64_si128(x1, k3k4, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x0);
  x0 = _mm_srli_si128(x1, 4);
  x1 = _mm_and_si128(x1, low32);
  x1 = _mm_clmulepi64_si128(x1, k5k0, 0x00);
  x1 = _mm_xor_si128(x1, x0);

  // Barrett reduction to 32 bits.
  x0 = _mm_and_si128(x1, low32);
  x0 = _mm_clmulepi64_si128(x0, poly, 0x10);
  x0 = _mm_and_si128(x0, low32);
  x0 = _mm_clmulepi64_si128(x0, poly, 0x00);
  x1 = _mm_xor_si128(x1, x0);
  return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}
#endif

uint32_t Crc32UpdateClmul(uint32_t crc, const void* data, size_t size) {
#if ORVEL_CRC_CLMUL
  const unsigned char* p = static_cast<const unsigned char*>(data);
  if (size >= kClmulMinimum) {
    const size_t folded = size & ~static_cast<size_t>(15);
    crc = ClmulFold(crc, p, folded);
    p += folded;
    size -= folded;
  }
  return Crc32UpdateSlicing(crc, p, size);
#else
  return Crc32UpdateSlicing(crc, data, size);
#endif
}

bool Crc32HasClmul() { return kHasClmul; }

uint32_t Crc32UpdateVector(int width, uint32_t crc, const void* data,
                           size_t size) {
  const size_t folded = Crc32FoldVector(width, &crc, data, size);
  return Crc32UpdateClmul(crc, static_cast<const unsigned char*>(data) + folded,
                          size - folded);
}

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size) {
  if (size == 0) return crc;
  // Read once per call: the width is fixed after start-up.
  static const int width = kHasClmul ? Crc32VectorWidth() : 0;
  if (width != 0) return Crc32UpdateVector(width, crc, data, size);
  return kHasClmul ? Crc32UpdateClmul(crc, data, size)
                   : Crc32UpdateSlicing(crc, data, size);
}

uint32_t Crc32(const void* data, size_t size) {
  return ~Crc32Update(0xFFFFFFFFu, data, size);
}

void InitCRC(unsigned long* pulCRC) {
  if (!pulCRC) {
    ReportAssert("pulCRC", kSource, 79);
    return;
  }
  *pulCRC = 0xFFFFFFFFul;
}

void FinishCRC(unsigned long* pulCRC) {
  if (!pulCRC) {
    ReportAssert("pulCRC", kSource, 85);
    return;
  }
  *pulCRC = ~*pulCRC & 0xFFFFFFFFul;
}

void UpdateCRC(unsigned long* pulCRC, const void* pBuffer, int nBuffer) {
  // Every broken precondition is reported; then nothing is read or written.
  bool ok = true;
  if (!pulCRC) {
    ReportAssert("pulCRC", kSource, 100);
    ok = false;
  }
  if (!pBuffer) {
    ReportAssert("pBuffer", kSource, 101);
    ok = false;
  }
  if (nBuffer <= 0) {
    ReportAssert("nBuffer>0", kSource, 102);
    ok = false;
  }
  if (!ok) return;
  const uint32_t crc = static_cast<uint32_t>(*pulCRC);
  *pulCRC = Crc32Update(crc, pBuffer, static_cast<size_t>(nBuffer));
}

int VerifyCRC(const void* buffer, unsigned long size, unsigned long crc) {
  if (!buffer) ReportAssert("buffer", kSource, 185);
  if (size == 0) ReportAssert("size>0", kSource, 186);
  unsigned long value;
  InitCRC(&value);
  const unsigned char* p = static_cast<const unsigned char*>(buffer);
  if (!p || size == 0) {
    // Goes through UpdateCRC once, which reports the broken precondition and
    // reads nothing: the result is the CRC of no data.
    UpdateCRC(&value, p, size > INT_MAX ? INT_MAX : static_cast<int>(size));
  } else {
    // UpdateCRC takes a signed count: sizes of 2 GiB and more go in pieces.
    unsigned long left = size;
    while (left > 0) {
      const int piece = left > static_cast<unsigned long>(INT_MAX)
                            ? (INT_MAX & ~7)
                            : static_cast<int>(left);
      UpdateCRC(&value, p, piece);
      p += piece;
      left -= static_cast<unsigned long>(piece);
    }
  }
  FinishCRC(&value);
  return value == crc ? 1 : 0;
}

}  // namespace orvel
