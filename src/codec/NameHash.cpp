// Name hashing: the crypt table generator, the three-way name hash, name
// preparation for lookups and hash-table sizing. Every value here is part of
// the on-disk format: stored hashes must be reproduced bit for bit.
#include "codec/NameHash.h"

#include <cstring>

namespace orvel {

void InitCryptTable(unsigned int* table) {
  if (!table) return;
  unsigned int seed = 0x00100001;
  // Columns outermost, rows fastest: the generator's sequence fills the five
  // rows of one column before moving to the next.
  for (unsigned column = 0; column < 256; ++column) {
    for (unsigned row = 0; row < 5; ++row) {
      seed = (seed * 125 + 3) % 0x2AAAAB;
      const unsigned int high = seed & 0xFFFF;
      seed = (seed * 125 + 3) % 0x2AAAAB;
      const unsigned int low = seed & 0xFFFF;
      table[row * 256 + column] = (high << 16) | low;
    }
  }
}

unsigned int HashName(const char* name, const unsigned int* cryptTable,
                      unsigned int hashType) {
  unsigned int h = 0x7FED7FED;
  unsigned int s = 0xEEEEEEEE;
  if (!name || !cryptTable) return h;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
       *p; ++p) {
    unsigned int ch = *p;
    if (ch >= 'a' && ch <= 'z') ch -= 32;  // only ASCII letters fold
    h = cryptTable[hashType + ch] ^ (h + s);
    s = ch + h + s + (s << 5) + 3;
  }
  return h;
}

void HashNameAll(const char* name, const unsigned int* cryptTable,
                 unsigned int out[3]) {
  out[0] = HashName(name, cryptTable, kHashType0);
  out[1] = HashName(name, cryptTable, kHashType1);
  out[2] = HashName(name, cryptTable, kHashType2);
}

bool LowerCaseName(const char* name, char* out) {
  if (!name || !out) return false;
  // The scan stops at the limit, so an over-long name is never read whole.
  const size_t length = strnlen(name, kMaxNameLength + 1);
  if (length > kMaxNameLength) return false;
  for (size_t i = 0; i < length; ++i) {
    const char ch = name[i];
    out[i] = (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch + 32) : ch;
  }
  out[length] = '\0';
  return true;
}

bool HasLineBreak(const char* name) {
  return name && std::strpbrk(name, "\n\r") != nullptr;
}

unsigned int RoundTableSize(unsigned int requested, unsigned int previousSize) {
  const unsigned int m = requested - 1;
  unsigned int size = previousSize;
  for (int bit = 30; bit >= 0; --bit) {
    if (m & (1u << bit)) {
      size = 1u << bit;
      break;
    }
  }
  return size * 2;
}

}  // namespace orvel
