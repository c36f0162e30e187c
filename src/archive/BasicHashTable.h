// Hash-table procedures of the basic archive on tables given by the caller:
// lookup along a chain, insertion that keeps every chain pure (a chain that
// starts at a home index holds only names of that home index), and removal.
#ifndef ORVEL_ARCHIVE_BASIC_HASH_TABLE_H
#define ORVEL_ARCHIVE_BASIC_HASH_TABLE_H

#include <cstdint>

#include "archive/BasicFormat.h"

namespace orvel {
namespace basic {

inline bool IsFreeEntry(const HashEntry& e) { return e.blockIndex == kNone; }

inline bool HasHashes(const HashEntry& e, const uint32_t hash[3]) {
  return e.hash0 == hash[0] && e.hash1 == hash[1] && e.hash2 == hash[2];
}

inline void FreeEntry(HashEntry& e) { e = HashEntry{kNone, kNone, kNone, kNone, kNone}; }

// Index of the used entry carrying the three hashes, or kNone. The walk
// starts at the home index and never takes more than `size` steps.
uint32_t FindHashIndex(const HashEntry* table, uint32_t size, const uint32_t hash[3]);

// Puts the hashes with `blockIndex` into the tables (`size` a power of two),
// taking the home index when it is free, moving a foreign occupant out of it,
// or appending to the home chain. Free entries are taken lowest first; every
// entry below *freeHint must be in use, and the hint moves past what the
// insertion takes. Returns 0 with *outIndex, VRKERR_EXISTS, or
// VRKERR_TABLE_FULL (nothing changed) when the table has no free entry.
int InsertIntoTables(const uint32_t hash[3], uint32_t blockIndex, HashEntry* hashTable,
                     BlockEntry* blockTable, uint32_t size, uint32_t* freeHint, uint32_t* outIndex);

// Takes the used entry at `index` out of its chain; a successor that moves
// into a home index takes its block entry's hashIndex along. Returns the index
// that became free.
uint32_t UnlinkHashEntry(HashEntry* hashTable, BlockEntry* blockTable, uint32_t size,
                         uint32_t index);

}  // namespace basic
}  // namespace orvel

#endif
