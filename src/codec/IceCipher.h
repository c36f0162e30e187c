// Thin-ICE (ICE at level 0): 64-bit blocks, 64-bit key, 8 rounds, each
// 8-byte block enciphered by itself.
#ifndef ORVEL_CODEC_ICE_CIPHER_H
#define ORVEL_CODEC_ICE_CIPHER_H

namespace orvel {

struct IceSubkey {
  unsigned int val[3];
};

struct IceKey {
  int size = 0;
  int rounds = 0;
  IceSubkey* keysched = nullptr;  // from the allocation rule
};

// level < 1: size 1, rounds 8. Builds the S-boxes on first use. False if the
// schedule cannot be allocated.
bool IceKeyCreate(IceKey* key, int level);
void IceKeyDestroy(IceKey* key);
void IceKeySet(IceKey* key, const unsigned char* keyBytes);
void IceEncrypt(const IceKey* key, const unsigned char* plain,
                unsigned char* cipher);
void IceDecrypt(const IceKey* key, const unsigned char* cipher,
                unsigned char* plain);

// The fixed 8-byte archive key.
extern const unsigned char kArchiveKey[8];

// The process-wide key object (level 0), created at load.
IceKey* ArchiveIceKey();
// Keys the process-wide object with the archive key, once per process
// (every construction of an advanced archive calls this; safe from several
// threads).
void KeyArchiveCipher();

// Transform the floor(n/8) whole blocks of `buffer` in place with the
// process-wide key; the last n % 8 bytes stay as they are.
void EncipherBuffer(void* buffer, unsigned int n);
void DecipherBuffer(void* buffer, unsigned int n);

}  // namespace orvel

#endif
