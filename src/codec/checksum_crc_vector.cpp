// CRC-32 folding with 256- and 512-bit carry-less multiplies (VPCLMULQDQ).
//
// The same folding as the 128-bit engine, with two or four 128-bit lanes per
// register and four registers in flight: the multiplies of one round do not
// depend on each other, so they fill the multiplier's pipeline. The folded
// state is brought down to one 128-bit lane, whose 16 bytes stand for the
// whole prefix (a CRC from zero over them equals the CRC of the prefix), and
// the short remainder is left to the caller.
#include "codec/checksum_crc_vector.h"

#include "codec/checksum_crc.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define ORVEL_CRC_VECTOR 1
#endif

namespace orvel {
namespace {

#if ORVEL_CRC_VECTOR
// x^n mod P in the bit-reflected order the folding uses, shifted left by one
// (the product of two reflected 32-bit values lands one bit low).
constexpr uint64_t FoldConstant(unsigned n) {
  uint32_t r = 1;
  for (unsigned i = 0; i < n; ++i) r = (r << 1) ^ ((r >> 31) ? 0x04C11DB7u : 0u);
  uint32_t reflected = 0;
  for (int i = 0; i < 32; ++i)
    if ((r >> i) & 1) reflected |= 1u << (31 - i);
  return uint64_t{reflected} << 1;
}

// Moving a 128-bit lane forward by `bits` multiplies its low half by
// x^(bits+32) and its high half by x^(bits-32). The pairs are constexpr
// variables so that they are computed by the compiler, not on each call.
struct FoldPair {
  long long low, high;
};
constexpr FoldPair PairFor(unsigned bits) {
  return {static_cast<long long>(FoldConstant(bits + 32)),
          static_cast<long long>(FoldConstant(bits - 32))};
}
constexpr FoldPair kBy128 = PairFor(128);
constexpr FoldPair kBy256 = PairFor(256);
constexpr FoldPair kBy512 = PairFor(512);
constexpr FoldPair kBy1024 = PairFor(1024);
constexpr FoldPair kBy2048 = PairFor(2048);

#define ORVEL_VPCLMUL_256 __attribute__((target("avx2,vpclmulqdq,pclmul")))
#define ORVEL_VPCLMUL_512 \
  __attribute__((target("avx512f,avx512vl,vpclmulqdq,pclmul")))

ORVEL_VPCLMUL_256 inline __m128i Fold128(__m128i x, __m128i k, __m128i next) {
  const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

ORVEL_VPCLMUL_256 inline __m256i Fold256(__m256i x, __m256i k, __m256i next) {
  const __m256i lo = _mm256_clmulepi64_epi128(x, k, 0x00);
  const __m256i hi = _mm256_clmulepi64_epi128(x, k, 0x11);
  return _mm256_xor_si256(_mm256_xor_si256(lo, hi), next);
}

ORVEL_VPCLMUL_256 inline __m256i Constants256(FoldPair k) {
  return _mm256_set_epi64x(k.high, k.low, k.high, k.low);
}

ORVEL_VPCLMUL_256 inline __m256i Load256(const unsigned char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Two lanes of one register into one 128-bit value.
ORVEL_VPCLMUL_256 inline __m128i Narrow256(__m256i y) {
  const __m128i k = _mm_set_epi64x(kBy128.high, kBy128.low);
  return Fold128(_mm256_castsi256_si128(y), k, _mm256_extracti128_si256(y, 1));
}

// The CRC from zero over the 16 bytes of the folded state.
inline uint32_t StateCrc(const unsigned char (&state)[16]) {
  return Crc32UpdateSlicing(0, state, sizeof state);
}

ORVEL_VPCLMUL_256 uint32_t Fold256Engine(uint32_t crc, const unsigned char* p,
                                         size_t len) {
  const __m256i k4 = Constants256(kBy1024);
  const __m256i k1 = Constants256(kBy256);
  __m256i y1 = _mm256_xor_si256(Load256(p),
                                _mm256_zextsi128_si256(_mm_cvtsi32_si128(
                                    static_cast<int>(crc))));
  __m256i y2 = Load256(p + 32);
  __m256i y3 = Load256(p + 64);
  __m256i y4 = Load256(p + 96);
  p += 128;
  len -= 128;
  while (len >= 128) {
    y1 = Fold256(y1, k4, Load256(p));
    y2 = Fold256(y2, k4, Load256(p + 32));
    y3 = Fold256(y3, k4, Load256(p + 64));
    y4 = Fold256(y4, k4, Load256(p + 96));
    p += 128;
    len -= 128;
  }
  y1 = Fold256(y1, k1, y2);
  y1 = Fold256(y1, k1, y3);
  y1 = Fold256(y1, k1, y4);
  while (len >= 32) {
    y1 = Fold256(y1, k1, Load256(p));
    p += 32;
    len -= 32;
  }
  unsigned char state[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), Narrow256(y1));
  return StateCrc(state);
}

ORVEL_VPCLMUL_512 inline __m512i Fold512(__m512i x, __m512i k, __m512i next) {
  const __m512i lo = _mm512_clmulepi64_epi128(x, k, 0x00);
  const __m512i hi = _mm512_clmulepi64_epi128(x, k, 0x11);
  return _mm512_ternarylogic_epi64(lo, hi, next, 0x96);  // three-way xor
}

ORVEL_VPCLMUL_512 inline __m512i Constants512(FoldPair k) {
  return _mm512_set_epi64(k.high, k.low, k.high, k.low, k.high, k.low, k.high,
                          k.low);
}

ORVEL_VPCLMUL_512 inline __m512i Load512(const unsigned char* p) {
  return _mm512_loadu_si512(p);
}

ORVEL_VPCLMUL_512 uint32_t Fold512Engine(uint32_t crc, const unsigned char* p,
                                         size_t len) {
  const __m512i k4 = Constants512(kBy2048);
  const __m512i k1 = Constants512(kBy512);
  __m512i z1 = _mm512_xor_si512(
      Load512(p), _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc))));
  __m512i z2 = Load512(p + 64);
  __m512i z3 = Load512(p + 128);
  __m512i z4 = Load512(p + 192);
  p += 256;
  len -= 256;
  while (len >= 256) {
    z1 = Fold512(z1, k4, Load512(p));
    z2 = Fold512(z2, k4, Load512(p + 64));
    z3 = Fold512(z3, k4, Load512(p + 128));
    z4 = Fold512(z4, k4, Load512(p + 192));
    p += 256;
    len -= 256;
  }
  z1 = Fold512(z1, k1, z2);
  z1 = Fold512(z1, k1, z3);
  z1 = Fold512(z1, k1, z4);
  while (len >= 64) {
    z1 = Fold512(z1, k1, Load512(p));
    p += 64;
    len -= 64;
  }
  // 512 bits to 256: the low half moves forward by 256 bits onto the high.
  const __m256i k256 = Constants256(kBy256);
  // The zero-masked extracts: the plain ones trip -Wuninitialized in GCC 12.
  const __m256i low = _mm512_maskz_extracti64x4_epi64(0xF, z1, 0);
  const __m256i y = _mm256_xor_si256(
      _mm256_xor_si256(_mm256_clmulepi64_epi128(low, k256, 0x00),
                       _mm256_clmulepi64_epi128(low, k256, 0x11)),
      _mm512_maskz_extracti64x4_epi64(0xF, z1, 1));
  unsigned char state[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), Narrow256(y));
  return StateCrc(state);
}

int DetectWidth() {
  __builtin_cpu_init();
  if (!__builtin_cpu_supports("vpclmulqdq") || !__builtin_cpu_supports("pclmul"))
    return 0;
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl"))
    return 512;
  return __builtin_cpu_supports("avx2") ? 256 : 0;
}
#else
int DetectWidth() { return 0; }
#endif

}  // namespace

int Crc32VectorWidth() {
  // A function-local static: callers during other files' start-up get the
  // detected value too.
  static const int width = DetectWidth();
  return width;
}

size_t Crc32FoldVector(int width, uint32_t* crc, const void* data,
                         size_t size) {
#if ORVEL_CRC_VECTOR
  const unsigned char* p = static_cast<const unsigned char*>(data);
  if (width == 512 && size >= 256) {
    const size_t folded = size & ~static_cast<size_t>(63);
    *crc = Fold512Engine(*crc, p, folded);
    return folded;
  }
  if ((width == 512 || width == 256) && size >= 128) {
    const size_t folded = size & ~static_cast<size_t>(31);
    *crc = Fold256Engine(*crc, p, folded);
    return folded;
  }
#else
  (void)width, (void)crc, (void)data, (void)size;
#endif
  return 0;
}

}  // namespace orvel
