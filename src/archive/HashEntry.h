// The hash-table record that both archive variants keep on disk and in
// memory: five unsigned 32-bit little-endian words, the struct being the
// exact bytes.
#ifndef ORVEL_ARCHIVE_HASH_ENTRY_H
#define ORVEL_ARCHIVE_HASH_ENTRY_H

#include <cstdint>

namespace orvel {

// A free entry has all five words 0xFFFFFFFF.
struct HashEntry {
  uint32_t hash0;
  uint32_t hash1;
  uint32_t hash2;
  uint32_t blockIndex;  // kNone: free
  uint32_t next;        // kNone: end of chain
};

static_assert(sizeof(HashEntry) == 20, "hash entry is 5 words");

constexpr uint32_t kNone = 0xFFFFFFFFu;

}  // namespace orvel

#endif
