// Name hashing with the crypt table, name preparation and table sizing.
#ifndef ORVEL_CODEC_NAME_HASH_H
#define ORVEL_CODEC_NAME_HASH_H

namespace orvel {

constexpr unsigned kCryptTableWords = 1280;
constexpr unsigned kHashType0 = 0;
constexpr unsigned kHashType1 = 256;
constexpr unsigned kHashType2 = 512;
// Longest name a lookup accepts (its buffer holds this plus the NUL).
constexpr unsigned kMaxNameLength = 255;

// Fills the 1280 words of a crypt table.
void InitCryptTable(unsigned int* table);

// The name hash of one type (0, 256 or 512); ASCII letters fold to capitals.
unsigned int HashName(const char* name, const unsigned int* cryptTable,
                      unsigned int hashType);
// All three hashes in order hash0, hash1, hash2.
void HashNameAll(const char* name, const unsigned int* cryptTable,
                 unsigned int out[3]);

// Copies `name` into `out` (256 bytes) with ASCII capitals lowered. False,
// with nothing copied, for a null name or one of 256 bytes or more.
bool LowerCaseName(const char* name, char* out);

// True when `name` holds a line feed or a carriage return: such a name would
// split a name list, whose lines it could never be found by again.
bool HasLineBreak(const char* name);

// Table sizing: the smallest power of two not below `requested` for requests
// from 2 to 2^31; returns the new size. A request whose bits give no result
// (0 or 1) keeps `previousSize` and doubles it, as the rule does.
unsigned int RoundTableSize(unsigned int requested, unsigned int previousSize);

}  // namespace orvel

#endif
