// The ICE block cipher at level 0 (Thin-ICE): 64-bit blocks, a 64-bit key,
// 8 rounds. Each 8-byte block is enciphered on its own, in place; the
// advanced archive uses it for its tables with one fixed archive key.
#include "codec/IceCipher.h"

#include <cstdint>
#include <cstddef>
#include <cstring>
#include <mutex>

#include "frame/Allocation.h"

namespace orvel {

const unsigned char kArchiveKey[8] = {0x5A, 0xC1, 0x09, 0x7E,
                                      0x22, 0xB4, 0xE8, 0x31};

namespace {

// The published ICE constants.
constexpr int kSMod[4][4] = {{333, 313, 505, 369},
                             {379, 375, 319, 391},
                             {361, 445, 451, 397},
                             {397, 425, 395, 505}};
constexpr int kSXor[4][4] = {{0x83, 0x85, 0x9b, 0xcd},
                             {0xcc, 0xa7, 0xad, 0x41},
                             {0x4b, 0x2e, 0xd4, 0x33},
                             {0xea, 0xcb, 0x2e, 0x04}};
constexpr uint32_t kPBox[32] = {
    0x00000001, 0x00000080, 0x00000400, 0x00002000, 0x00080000, 0x00200000,
    0x01000000, 0x40000000, 0x00000008, 0x00000020, 0x00000100, 0x00004000,
    0x00010000, 0x00800000, 0x04000000, 0x20000000, 0x00000004, 0x00000010,
    0x00000200, 0x00008000, 0x00020000, 0x00400000, 0x08000000, 0x10000000,
    0x00000002, 0x00000040, 0x00000800, 0x00001000, 0x00040000, 0x00100000,
    0x02000000, 0x80000000};
constexpr int kKeyRot[16] = {0, 1, 2, 3, 2, 1, 3, 0, 1, 3, 2, 0, 3, 1, 0, 2};

// Multiplication in GF(2^8) modulo the polynomial m (shift and XOR).
constexpr unsigned GfMult(unsigned a, unsigned b, unsigned m) {
  unsigned result = 0;
  while (b) {
    if (b & 1) result ^= a;
    a <<= 1;
    b >>= 1;
    if (a >= 256) a ^= m;
  }
  return result;
}

// b to the seventh power in GF(2^8) modulo m.
constexpr unsigned GfExp7(unsigned b, unsigned m) {
  if (b == 0) return 0;
  unsigned x = GfMult(b, b, m);  // b^2
  x = GfMult(b, x, m);           // b^3
  x = GfMult(x, x, m);           // b^6
  return GfMult(b, x, m);        // b^7
}

constexpr uint32_t Permute(uint32_t x) {
  uint32_t result = 0;
  for (int bit = 0; x; ++bit, x >>= 1)
    if (x & 1) result |= kPBox[bit];
  return result;
}

struct SBoxes {
  uint32_t box[4][1024];
};

// The S-boxes are derived from the constants above; computing them at
// compile time makes them shared, read-only and free of start-up order.
constexpr SBoxes MakeSBoxes() {
  SBoxes s{};
  for (unsigned i = 0; i < 1024; ++i) {
    const unsigned column = (i >> 1) & 0xFF;
    const unsigned row = (i & 1) | ((i & 0x200) >> 8);
    for (unsigned b = 0; b < 4; ++b) {
      const uint32_t x =
          GfExp7(column ^ static_cast<unsigned>(kSXor[b][row]),
                 static_cast<unsigned>(kSMod[b][row]))
          << (24 - 8 * b);
      s.box[b][i] = Permute(x);
    }
  }
  return s;
}

constexpr SBoxes kSBoxes = MakeSBoxes();

inline uint32_t RoundF(uint32_t p, const IceSubkey& sk) {
  const uint32_t tl =
      ((p >> 16) & 0x3FF) | (((p >> 14) | (p << 18)) & 0xFFC00);
  const uint32_t tr = (p & 0x3FF) | ((p << 2) & 0xFFC00);
  uint32_t al = sk.val[2] & (tl ^ tr);
  const uint32_t ar = al ^ tr ^ sk.val[1];
  al ^= tl ^ sk.val[0];
  return kSBoxes.box[0][al >> 10] | kSBoxes.box[1][al & 0x3FF] |
         kSBoxes.box[2][ar >> 10] | kSBoxes.box[3][ar & 0x3FF];
}

inline uint32_t LoadBig(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) |
         (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

inline void StoreBig(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

// Builds eight subkeys from the four 16-bit key words, which it consumes
// (the rotation carries over from one subkey to the next).
void BuildSchedule(IceSubkey* out, uint16_t kb[4], const int* keyrot) {
  for (int i = 0; i < 8; ++i) {
    const int kr = keyrot[i];
    IceSubkey& sk = out[i];
    sk.val[0] = sk.val[1] = sk.val[2] = 0;
    for (int j = 0; j < 15; ++j) {
      unsigned int& word = sk.val[j % 3];
      for (int k = 0; k < 4; ++k) {
        uint16_t& w = kb[(kr + k) & 3];
        const unsigned bit = w & 1;
        word = (word << 1) | bit;
        w = static_cast<uint16_t>((w >> 1) | ((bit ^ 1) << 15));
      }
    }
  }
}

void ReadKeyWords(const unsigned char* key, uint16_t kb[4]) {
  for (int i = 0; i < 4; ++i)
    kb[3 - i] = static_cast<uint16_t>((key[2 * i] << 8) | key[2 * i + 1]);
}

// Runs the rounds over `count` blocks with the subkeys in order of use.
// Each block is a serial chain of table lookups, so four blocks go through
// the rounds side by side to keep the processor busy. The round count of
// level 0 is fixed at compile time so that the rounds unroll.
void RunLevel0Blocks(const IceSubkey* ks, const unsigned char* in,
                     unsigned char* out, size_t count) {
  constexpr int rounds = 8;
  for (; count >= 4; count -= 4, in += 32, out += 32) {
    uint32_t l0 = LoadBig(in), r0 = LoadBig(in + 4);
    uint32_t l1 = LoadBig(in + 8), r1 = LoadBig(in + 12);
    uint32_t l2 = LoadBig(in + 16), r2 = LoadBig(in + 20);
    uint32_t l3 = LoadBig(in + 24), r3 = LoadBig(in + 28);
    for (int i = 0; i < rounds; i += 2) {
      const IceSubkey k0 = ks[i];
      const IceSubkey k1 = ks[i + 1];
      l0 ^= RoundF(r0, k0);
      l1 ^= RoundF(r1, k0);
      l2 ^= RoundF(r2, k0);
      l3 ^= RoundF(r3, k0);
      r0 ^= RoundF(l0, k1);
      r1 ^= RoundF(l1, k1);
      r2 ^= RoundF(l2, k1);
      r3 ^= RoundF(l3, k1);
    }
    // The halves leave swapped.
    StoreBig(out, r0), StoreBig(out + 4, l0);
    StoreBig(out + 8, r1), StoreBig(out + 12, l1);
    StoreBig(out + 16, r2), StoreBig(out + 20, l2);
    StoreBig(out + 24, r3), StoreBig(out + 28, l3);
  }
  for (; count > 0; --count, in += 8, out += 8) {
    uint32_t l = LoadBig(in);
    uint32_t r = LoadBig(in + 4);
    for (int i = 0; i < rounds; i += 2) {
      l ^= RoundF(r, ks[i]);
      r ^= RoundF(l, ks[i + 1]);
    }
    StoreBig(out, r);
    StoreBig(out + 4, l);
  }
}

// Deciphering is enciphering with the subkeys taken from last to first.
void Transform(const IceKey* key, const unsigned char* in, unsigned char* out,
               size_t count, bool decipher) {
  if (!key || !key->keysched || key->rounds <= 0 || count == 0) return;
  const int rounds = key->rounds;
  if (rounds == 8) {
    IceSubkey ordered[8];
    for (int i = 0; i < 8; ++i) ordered[i] = key->keysched[decipher ? 7 - i : i];
    RunLevel0Blocks(ordered, in, out, count);
    return;
  }
  // Higher levels: a block at a time, with the schedule read in place.
  const IceSubkey* ks = key->keysched;
  for (; count > 0; --count, in += 8, out += 8) {
    uint32_t l = LoadBig(in);
    uint32_t r = LoadBig(in + 4);
    for (int i = 0; i < rounds; i += 2) {
      l ^= RoundF(r, ks[decipher ? rounds - 1 - i : i]);
      r ^= RoundF(l, ks[decipher ? rounds - 2 - i : i + 1]);
    }
    StoreBig(out, r);
    StoreBig(out + 4, l);
  }
}

// The process-wide key object: created at load at level 0 (before the host
// could install an allocator, so its schedule comes from the process heap)
// and destroyed at unload.
struct ProcessKey {
  IceKey key;
  ProcessKey() { IceKeyCreate(&key, 0); }
  ~ProcessKey() { IceKeyDestroy(&key); }
};

ProcessKey g_processKey;

}  // namespace

bool IceKeyCreate(IceKey* key, int level) {
  if (!key) return false;
  if (level < 1) {
    key->size = 1;
    key->rounds = 8;
  } else {
    key->size = level;
    key->rounds = level * 16;
  }
  const size_t bytes = sizeof(IceSubkey) * static_cast<size_t>(key->rounds);
  key->keysched = static_cast<IceSubkey*>(VrkAlloc(bytes));
  if (!key->keysched) {
    key->size = 0;
    key->rounds = 0;
    return false;
  }
  std::memset(key->keysched, 0, bytes);
  return true;
}

void IceKeyDestroy(IceKey* key) {
  if (!key) return;
  if (key->keysched) {
    // Subkeys are cleared before the memory goes back.
    volatile unsigned char* p =
        reinterpret_cast<volatile unsigned char*>(key->keysched);
    for (size_t i = 0; i < sizeof(IceSubkey) * static_cast<size_t>(key->rounds);
         ++i)
      p[i] = 0;
    VrkFree(key->keysched);
  }
  key->keysched = nullptr;
  key->size = 0;
  key->rounds = 0;
}

void IceKeySet(IceKey* key, const unsigned char* keyBytes) {
  if (!key || !key->keysched || !keyBytes) return;
  uint16_t kb[4];
  if (key->rounds == 8) {
    ReadKeyWords(keyBytes, kb);
    BuildSchedule(key->keysched, kb, kKeyRot);
    return;
  }
  for (int i = 0; i < key->size; ++i) {
    ReadKeyWords(keyBytes + 8 * i, kb);
    BuildSchedule(key->keysched + 8 * i, kb, kKeyRot);
    BuildSchedule(key->keysched + key->rounds - 8 - 8 * i, kb, kKeyRot + 8);
  }
}

void IceEncrypt(const IceKey* key, const unsigned char* plain,
                unsigned char* cipher) {
  if (!plain || !cipher) return;
  Transform(key, plain, cipher, 1, false);
}

void IceDecrypt(const IceKey* key, const unsigned char* cipher,
                unsigned char* plain) {
  if (!plain || !cipher) return;
  Transform(key, cipher, plain, 1, true);
}

IceKey* ArchiveIceKey() { return &g_processKey.key; }

// The schedule depends on the fixed key alone, so it is built once: archives
// constructed in several threads at once would otherwise rewrite it while
// others decipher with it.
void KeyArchiveCipher() {
  static std::once_flag keyed;
  std::call_once(keyed, [] { IceKeySet(&g_processKey.key, kArchiveKey); });
}

void EncipherBuffer(void* buffer, unsigned int n) {
  if (!buffer) return;
  unsigned char* p = static_cast<unsigned char*>(buffer);
  Transform(&g_processKey.key, p, p, n / 8, false);
}

void DecipherBuffer(void* buffer, unsigned int n) {
  if (!buffer) return;
  unsigned char* p = static_cast<unsigned char*>(buffer);
  Transform(&g_processKey.key, p, p, n / 8, true);
}

}  // namespace orvel
