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

// Two lanes of one register into one 128-bit value.
ORVEL_VPCLMUL_256 inline __m128i Narrow256(__m256i y) {
  const __m128i k = _mm_set_epi64x(kBy128.high, kBy128.low);
  return Fold128(_mm256_castsi256_si128(y), k, _mm256_extracti128_si256(y, 1));
}

// The register operations of each width, for the folding loop below. They
// take and give registers by reference: the loop itself is compiled without
// the wide instruction sets, and passing a wide vector by value there would
// change the calling convention.
struct Lanes256 {
  using Reg = __m256i;
  static constexpr size_t kBytes = 32;
  static constexpr FoldPair kByOne = kBy256;
  static constexpr FoldPair kByFour = kBy1024;

  ORVEL_VPCLMUL_256 static void Load(Reg* x, const unsigned char* p) {
    *x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
  ORVEL_VPCLMUL_256 static void AddCrc(Reg* x, uint32_t crc) {
    *x = _mm256_xor_si256(*x, _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(crc))));
  }
  ORVEL_VPCLMUL_256 static void Constants(Reg* k, FoldPair pair) {
    *k = _mm256_set_epi64x(pair.high, pair.low, pair.high, pair.low);
  }
  // x moved forward by the distance of k, plus next.
  ORVEL_VPCLMUL_256 static void Fold(Reg* x, const Reg& k, const Reg& next) {
    const __m256i lo = _mm256_clmulepi64_epi128(*x, k, 0x00);
    const __m256i hi = _mm256_clmulepi64_epi128(*x, k, 0x11);
    *x = _mm256_xor_si256(_mm256_xor_si256(lo, hi), next);
  }
  // The same with the next register read from p.
  ORVEL_VPCLMUL_256 static void FoldFrom(Reg* x, const Reg& k, const unsigned char* p) {
    Fold(x, k, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
  }
  ORVEL_VPCLMUL_256 static __m128i Narrow(const Reg& y) { return Narrow256(y); }
};

struct Lanes512 {
  using Reg = __m512i;
  static constexpr size_t kBytes = 64;
  static constexpr FoldPair kByOne = kBy512;
  static constexpr FoldPair kByFour = kBy2048;

  ORVEL_VPCLMUL_512 static void Load(Reg* x, const unsigned char* p) {
    *x = _mm512_loadu_si512(p);
  }
  ORVEL_VPCLMUL_512 static void AddCrc(Reg* x, uint32_t crc) {
    *x = _mm512_xor_si512(*x, _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc))));
  }
  ORVEL_VPCLMUL_512 static void Constants(Reg* k, FoldPair pair) {
    *k = _mm512_set_epi64(pair.high, pair.low, pair.high, pair.low, pair.high, pair.low,
                          pair.high, pair.low);
  }
  ORVEL_VPCLMUL_512 static void Fold(Reg* x, const Reg& k, const Reg& next) {
    const __m512i lo = _mm512_clmulepi64_epi128(*x, k, 0x00);
    const __m512i hi = _mm512_clmulepi64_epi128(*x, k, 0x11);
    *x = _mm512_ternarylogic_epi64(lo, hi, next, 0x96);  // three-way xor
  }
  ORVEL_VPCLMUL_512 static void FoldFrom(Reg* x, const Reg& k, const unsigned char* p) {
    Fold(x, k, _mm512_loadu_si512(p));
  }
  // 512 bits to 256: the low half moves forward by 256 bits onto the high.
  ORVEL_VPCLMUL_512 static __m128i Narrow(const Reg& z) {
    __m256i k256;
    Lanes256::Constants(&k256, kBy256);
    // The zero-masked extracts: the plain ones trip -Wuninitialized in GCC 12.
    const __m256i low = _mm512_maskz_extracti64x4_epi64(0xF, z, 0);
    const __m256i y = _mm256_xor_si256(
        _mm256_xor_si256(_mm256_clmulepi64_epi128(low, k256, 0x00),
                         _mm256_clmulepi64_epi128(low, k256, 0x11)),
        _mm512_maskz_extracti64x4_epi64(0xF, z, 1));
    return Narrow256(y);
  }
};

// The CRC from zero over the 16 bytes of the folded state.
inline uint32_t StateCrc(__m128i lane) {
  unsigned char state[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), lane);
  return Crc32UpdateSlicing(0, state, sizeof state);
}

// The folding loop of both widths, over `len` bytes (whole registers, at
// least four): four registers in flight, each moved forward by four
// registers' width per round, then folded into one, then the remaining
// registers one by one. The engines below compile it under their own
// instruction sets: their flatten attribute inlines it and every register
// operation into them.
template <class Lanes>
inline uint32_t FoldRegisters(uint32_t crc, const unsigned char* p, size_t len) {
  using Reg = typename Lanes::Reg;
  constexpr size_t w = Lanes::kBytes;
  // Four named registers, not an array: the compiler kept an array in
  // memory, a tenth slower.
  Reg k4, k1, r1, r2, r3, r4;
  Lanes::Constants(&k4, Lanes::kByFour);
  Lanes::Constants(&k1, Lanes::kByOne);
  Lanes::Load(&r1, p);
  Lanes::Load(&r2, p + w);
  Lanes::Load(&r3, p + 2 * w);
  Lanes::Load(&r4, p + 3 * w);
  Lanes::AddCrc(&r1, crc);
  p += 4 * w;
  len -= 4 * w;
  while (len >= 4 * w) {
    Lanes::FoldFrom(&r1, k4, p);
    Lanes::FoldFrom(&r2, k4, p + w);
    Lanes::FoldFrom(&r3, k4, p + 2 * w);
    Lanes::FoldFrom(&r4, k4, p + 3 * w);
    p += 4 * w;
    len -= 4 * w;
  }
  Lanes::Fold(&r1, k1, r2);
  Lanes::Fold(&r1, k1, r3);
  Lanes::Fold(&r1, k1, r4);
  while (len >= w) {
    Lanes::FoldFrom(&r1, k1, p);
    p += w;
    len -= w;
  }
  return StateCrc(Lanes::Narrow(r1));
}

ORVEL_VPCLMUL_256 __attribute__((flatten)) uint32_t Fold256Engine(uint32_t crc,
                                                                  const unsigned char* p,
                                                                  size_t len) {
  return FoldRegisters<Lanes256>(crc, p, len);
}

ORVEL_VPCLMUL_512 __attribute__((flatten)) uint32_t Fold512Engine(uint32_t crc,
                                                                  const unsigned char* p,
                                                                  size_t len) {
  return FoldRegisters<Lanes512>(crc, p, len);
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
