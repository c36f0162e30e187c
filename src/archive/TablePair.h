// The hash and block tables of either archive variant come as a pair of equal
// length, allocated and doubled together. `Block` is the variant's block entry.
#ifndef ORVEL_ARCHIVE_TABLE_PAIR_H
#define ORVEL_ARCHIVE_TABLE_PAIR_H

#include <cstdint>
#include <cstring>

#include "archive/HashChain.h"
#include "frame/Allocation.h"
#include "frame/Callbacks.h"
#include "orvel/VrkErrors.h"

namespace orvel {

// Hash entries free, block entries zero.
template <typename Block>
void ClearTablePair(uint32_t n, HashEntry* hashes, Block* blocks) {
  std::memset(hashes, 0xFF, size_t{n} * sizeof(HashEntry));
  std::memset(blocks, 0, size_t{n} * sizeof(Block));
}

// Both tables with `n` entries, cleared when `clear` is set (a loader
// overwrites them). False, with both null, without memory.
template <typename Block>
bool NewTablePair(uint32_t n, bool clear, HashEntry** hashes, Block** blocks) {
  *hashes = static_cast<HashEntry*>(VrkAlloc(size_t{n} * sizeof(HashEntry)));
  *blocks = static_cast<Block*>(VrkAlloc(size_t{n} * sizeof(Block)));
  if (*hashes && *blocks) {
    if (clear) ClearTablePair(n, *hashes, *blocks);
    return true;
  }
  VrkFree(*hashes);
  VrkFree(*blocks);
  *hashes = nullptr;
  *blocks = nullptr;
  return false;
}

// Doubles a pair of `n` entries, inserting every hash entry again in old index
// order: new block entry i is a copy of old hash entry i's block entry, and
// the growth callback reports (packet, countBefore, i) after each insertion.
// An entry without a valid block, or that cannot be inserted, fails the growth
// when `strict` (the old tables stay) and is left out otherwise. On success
// the old tables are freed and *freeHint fits the new hash table.
template <typename Block>
int DoubleTablePair(HashEntry** hashes, Block** blocks, uint32_t n, bool strict,
                    uint32_t* freeHint, IOrvelPacket* packet, int countBefore) {
  const uint32_t size = n * 2;
  HashEntry* newHashes = nullptr;
  Block* newBlocks = nullptr;
  if (!NewTablePair(size, true, &newHashes, &newBlocks)) return VRKERR_NO_MEMORY;
  uint32_t hint = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const HashEntry& old = (*hashes)[i];
    int rc = VRKERR_TABLE_FULL;
    uint32_t at = 0;
    if (old.blockIndex < n) {
      newBlocks[i] = (*blocks)[old.blockIndex];
      const uint32_t hash[3] = {old.hash0, old.hash1, old.hash2};
      rc = InsertIntoChains(newHashes, newBlocks, size - 1, size, hash, &hint, &at);
    }
    if (rc != VRKERR_OK && !strict) continue;
    if (rc != VRKERR_OK) {
      VrkFree(newHashes);
      VrkFree(newBlocks);
      return rc;
    }
    newHashes[at].blockIndex = i;
    newBlocks[i].hashIndex = at;
    FireCallback(VRKCB_GROW_TABLES, packet, countBefore, static_cast<int>(i));
  }
  VrkFree(*hashes);
  VrkFree(*blocks);
  *hashes = newHashes;
  *blocks = newBlocks;
  *freeHint = hint;
  return VRKERR_OK;
}

}  // namespace orvel

#endif
