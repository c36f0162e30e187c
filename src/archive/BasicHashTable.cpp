#include "archive/BasicHashTable.h"

#include "orvel/VrkErrors.h"

namespace orvel {
namespace basic {
namespace {

void Fill(HashEntry& e, const uint32_t hash[3], uint32_t blockIndex) {
  e = HashEntry{hash[0], hash[1], hash[2], blockIndex, kNone};
}

// The entry of the chain through `start` whose `next` is `target`, or kNone.
uint32_t FindPredecessor(const HashEntry* table, uint32_t size, uint32_t start, uint32_t target) {
  uint32_t j = start;
  for (uint32_t steps = 0; j < size && steps <= size; ++steps) {
    if (table[j].next == target) return j;
    j = table[j].next;
  }
  return kNone;
}

}  // namespace

uint32_t FindHashIndex(const HashEntry* table, uint32_t size, const uint32_t hash[3]) {
  if (!table || size == 0) return kNone;
  uint32_t j = hash[0] & (size - 1);
  for (uint32_t steps = 0; j < size && steps < size; ++steps) {
    const HashEntry& e = table[j];
    if (!IsFreeEntry(e) && HasHashes(e, hash)) return j;
    j = e.next;
  }
  return kNone;
}

int InsertIntoTables(const uint32_t hash[3], uint32_t blockIndex, HashEntry* hashTable,
                     BlockEntry* blockTable, uint32_t size, uint32_t* freeHint,
                     uint32_t* outIndex) {
  if (size == 0 || !hashTable) return VRKERR_TABLE_FULL;
  const uint32_t mask = size - 1;
  const uint32_t home = hash[0] & mask;
  HashEntry& occupant = hashTable[home];
  if (IsFreeEntry(occupant)) {
    Fill(occupant, hash, blockIndex);
    *outIndex = home;
    return VRKERR_OK;
  }
  if (HasHashes(occupant, hash)) return VRKERR_EXISTS;
  const bool foreign = (occupant.hash0 & mask) != home;

  // The home chain's last entry; a name already on the chain is refused.
  uint32_t last = home;
  if (!foreign) {
    for (uint32_t steps = 0; steps < size; ++steps) {
      const uint32_t next = hashTable[last].next;
      if (next >= size) break;
      last = next;
      if (HasHashes(hashTable[last], hash)) return VRKERR_EXISTS;
    }
  }

  uint32_t f = *freeHint;
  while (f < size && !IsFreeEntry(hashTable[f])) ++f;
  *freeHint = f;
  if (f == size) return VRKERR_TABLE_FULL;

  if (foreign) {
    // The occupant belongs to another chain: it moves to the free entry and
    // the new name takes its own home index.
    const uint32_t predecessor = FindPredecessor(hashTable, size, occupant.hash0 & mask, home);
    hashTable[f] = occupant;
    if (blockTable && occupant.blockIndex < size) blockTable[occupant.blockIndex].hashIndex = f;
    if (predecessor != kNone) hashTable[predecessor].next = f;
    Fill(occupant, hash, blockIndex);
    *outIndex = home;
  } else {
    Fill(hashTable[f], hash, blockIndex);
    hashTable[last].next = f;
    *outIndex = f;
  }
  return VRKERR_OK;
}

uint32_t UnlinkHashEntry(HashEntry* hashTable, BlockEntry* blockTable, uint32_t size,
                         uint32_t index) {
  HashEntry& e = hashTable[index];
  const uint32_t home = e.hash0 & (size - 1);
  if (home != index) {
    const uint32_t predecessor = FindPredecessor(hashTable, size, home, index);
    if (predecessor != kNone) hashTable[predecessor].next = e.next;
    FreeEntry(e);
    return index;
  }
  const uint32_t successor = e.next;
  if (successor < size) {
    // The successor moves into the home index so the chain keeps its head.
    e = hashTable[successor];
    FreeEntry(hashTable[successor]);
    if (blockTable && e.blockIndex < size) blockTable[e.blockIndex].hashIndex = index;
    return successor;
  }
  FreeEntry(e);
  return index;
}

}  // namespace basic
}  // namespace orvel
