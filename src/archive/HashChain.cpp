#include "archive/HashChain.h"

#include "orvel/VrkErrors.h"

namespace orvel {
namespace {

void WriteHashes(HashEntry& e, const uint32_t hash[3]) {
  e.hash0 = hash[0];
  e.hash1 = hash[1];
  e.hash2 = hash[2];
}

void FreeEntry(HashEntry& e) { e = HashEntry{kNone, kNone, kNone, kNone, kNone}; }

// The entry of the chain through `start` whose `next` is `target`, or kNone.
// The step bound keeps the walk finite whatever the table holds.
uint32_t FindPredecessor(const HashEntry* table, uint32_t size, uint32_t start, uint32_t target) {
  uint32_t j = start;
  for (uint32_t steps = 0; j < size && steps < size; ++steps) {
    if (table[j].next == target) return j;
    j = table[j].next;
  }
  return kNone;
}

}  // namespace

uint32_t FindInChains(const HashEntry* table, uint32_t size, const uint32_t hash[3]) {
  if (!table || size == 0) return kNone;
  uint32_t j = hash[0] & (size - 1);
  for (uint32_t steps = 0; j < size && steps < size; ++steps) {
    const HashEntry& e = table[j];
    if (!IsFreeEntry(e) && HasHashes(e, hash)) return j;
    j = e.next;
  }
  return kNone;
}

int PlaceInChains(HashEntry* table, uint32_t mask, uint32_t size, const uint32_t hash[3],
                  uint32_t* freeHint, uint32_t* outIndex, MovedEntry* moved) {
  *moved = MovedEntry{};
  if (!table || size == 0) return VRKERR_TABLE_FULL;
  const uint32_t home = hash[0] & mask;
  if (home >= size) return VRKERR_TABLE_FULL;  // a mask wider than the table
  HashEntry& occupant = table[home];
  if (IsFreeEntry(occupant)) {
    WriteHashes(occupant, hash);
    *outIndex = home;
    return VRKERR_OK;
  }
  if (HasHashes(occupant, hash)) return VRKERR_EXISTS;
  const bool foreign = (occupant.hash0 & mask) != home;

  // The home chain's last entry; only names of this home sit on it, so a
  // name already in the table is found here.
  uint32_t last = home;
  if (!foreign) {
    for (uint32_t steps = 0; steps < size; ++steps) {
      const uint32_t next = table[last].next;
      if (next >= size) break;
      last = next;
      if (HasHashes(table[last], hash)) return VRKERR_EXISTS;
    }
  }

  uint32_t f = *freeHint;
  while (f < size && !IsFreeEntry(table[f])) ++f;
  *freeHint = f;
  if (f >= size) return VRKERR_TABLE_FULL;

  if (foreign) {
    // The occupant belongs to another chain: it moves to the free entry and
    // the new name takes its own home index.
    const uint32_t predecessor = FindPredecessor(table, size, occupant.hash0 & mask, home);
    table[f] = occupant;
    *moved = MovedEntry{occupant.blockIndex, f, predecessor};
    if (predecessor != kNone) table[predecessor].next = f;
    WriteHashes(occupant, hash);
    occupant.next = kNone;
    *outIndex = home;
  } else {
    WriteHashes(table[f], hash);
    table[last].next = f;
    moved->relinked = last;
    *outIndex = f;
  }
  return VRKERR_OK;
}

uint32_t TakeOutOfChain(HashEntry* table, uint32_t size, uint32_t index, uint32_t* freeHint,
                        MovedEntry* moved) {
  *moved = MovedEntry{};
  HashEntry& e = table[index];
  const uint32_t home = e.hash0 & (size - 1);
  uint32_t freed = index;
  if (home != index) {
    const uint32_t predecessor = FindPredecessor(table, size, home, index);
    if (predecessor != kNone) table[predecessor].next = e.next;
    moved->relinked = predecessor;
  } else if (e.next < size) {
    // The successor moves into the home index so the chain keeps its head.
    freed = e.next;
    e = table[freed];
    *moved = MovedEntry{e.blockIndex, index, kNone};
  }
  FreeEntry(table[freed]);
  if (freed < *freeHint) *freeHint = freed;
  return freed;
}

int CheckChains(const HashEntry* table, uint32_t size) {
  ChainCheck chains(table, size);
  for (uint32_t i = 0; i < size; ++i)
    if (!chains.Visit(i)) return VRKERR_BAD_SIGNATURE;
  return chains.Finish() ? VRKERR_OK : VRKERR_BAD_SIGNATURE;
}

}  // namespace orvel
