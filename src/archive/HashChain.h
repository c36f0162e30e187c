// Hash tables whose collision chains live inside the table, shared by both
// archive variants. A name's home index is hash0 AND mask; every chain starts
// at a home index and holds only names of that home, so a lookup walks one
// chain. Free entries are taken lowest first, as a scan from index 0 would
// take them; a hint remembers that every entry below it is in use.
#ifndef ORVEL_ARCHIVE_HASH_CHAIN_H
#define ORVEL_ARCHIVE_HASH_CHAIN_H

#include <cstdint>

#include "archive/HashEntry.h"

namespace orvel {

inline bool IsFreeEntry(const HashEntry& e) { return e.blockIndex == kNone; }

inline bool HasHashes(const HashEntry& e, const uint32_t hash[3]) {
  return e.hash0 == hash[0] && e.hash1 == hash[1] && e.hash2 == hash[2];
}

// A used entry that changed index; its block entry's hashIndex must follow.
// With the entry whose `next` was relinked, it tells a caller that tracks
// changed entries what an edit touched besides the entry it names.
struct MovedEntry {
  uint32_t block = kNone;  // kNone: nothing moved
  uint32_t index = kNone;
  uint32_t relinked = kNone;  // kNone: no other entry's `next` changed
};

// Index of the used entry carrying the three hashes, or kNone. The walk
// starts at the home index (mask size - 1) and takes at most `size` steps.
uint32_t FindInChains(const HashEntry* table, uint32_t size, const uint32_t hash[3]);

// Writes the three hashes into an entry of the table: the home index when it
// is free (nothing else changes), the home index after moving a foreign
// occupant to the lowest free entry (its predecessor relinked, the new entry's
// next set to kNone, its blockIndex left to the caller), or the lowest free
// entry appended to the home chain. *freeHint moves up to the free entry the
// scan found. Returns VRKERR_OK with *outIndex, VRKERR_EXISTS, or
// VRKERR_TABLE_FULL (nothing changed) when no entry is free, the table is
// empty, or the home index lies outside it.
int PlaceInChains(HashEntry* table, uint32_t mask, uint32_t size, const uint32_t hash[3],
                  uint32_t* freeHint, uint32_t* outIndex, MovedEntry* moved);

// Takes the used entry at `index` out of its chain; at a home index the
// successor moves in so the chain keeps its head. Returns the index that
// became free and lowers *freeHint to it.
uint32_t TakeOutOfChain(HashEntry* table, uint32_t size, uint32_t index, uint32_t* freeHint,
                        MovedEntry* moved);

// The structure every procedure here relies on, checked on tables read from
// a file: free entries are all 0xFFFFFFFF, a used entry's next ends the chain
// or names a used entry, every chain starts at its home index, holds only
// names of that home and ends, and the chains reach every used entry.
// Returns VRKERR_OK or VRKERR_BAD_SIGNATURE.
int CheckChains(const HashEntry* table, uint32_t size);

// CheckChains one slot at a time, in slot order, for callers that look at
// every slot anyway: one pass, nothing allocated. A chain is walked from its
// home index; chains of different homes cannot share an entry, so counting
// the entries the walks reach finds every entry no chain reaches, and a
// bound on that count ends a walk caught in a cycle.
class ChainCheck {
 public:
  ChainCheck(const HashEntry* table, uint32_t size)
      : m_pTable(table), m_nSize(size), m_nMask(size - 1) {}
  // Checks slot `s` (every slot once, in increasing order); false when the
  // structure is broken.
  bool Visit(uint32_t s) {
    const HashEntry& e = m_pTable[s];
    if (IsFreeEntry(e))
      return e.hash0 == kNone && e.hash1 == kNone && e.hash2 == kNone && e.next == kNone;
    ++m_nUsed;
    if ((e.hash0 & m_nMask) != s) return true;  // a chain's later entry
    for (uint32_t j = e.next; j != kNone; j = m_pTable[j].next) {
      if (j >= m_nSize || ++m_nReached > m_nSize) return false;
      const HashEntry& link = m_pTable[j];
      if (IsFreeEntry(link) || (link.hash0 & m_nMask) != s) return false;
    }
    ++m_nReached;
    return m_nReached <= m_nSize;
  }
  // After every slot: whether the chains reached every used entry.
  bool Finish() const { return m_nReached == m_nUsed; }
  uint32_t Used() const { return m_nUsed; }

 private:
  const HashEntry* m_pTable;
  uint32_t m_nSize;
  uint32_t m_nMask;
  uint32_t m_nUsed = 0;
  uint32_t m_nReached = 0;  // entries the walks from home indexes took
};

// The block entry of a moved hash entry learns its new index. `Block` is
// either variant's block entry; both carry `hashIndex`.
template <typename Block>
void FollowMove(Block* blocks, uint32_t size, const MovedEntry& moved) {
  if (blocks && moved.block < size) blocks[moved.block].hashIndex = moved.index;
}

// PlaceInChains with the moved entry's block entry following; *edit, when
// given, receives what moved.
template <typename Block>
int InsertIntoChains(HashEntry* table, Block* blocks, uint32_t mask, uint32_t size,
                     const uint32_t hash[3], uint32_t* freeHint, uint32_t* outIndex,
                     MovedEntry* edit = nullptr) {
  MovedEntry moved;
  const int rc = PlaceInChains(table, mask, size, hash, freeHint, outIndex, &moved);
  FollowMove(blocks, size, moved);
  if (edit) *edit = moved;
  return rc;
}

template <typename Block>
uint32_t UnlinkFromChain(HashEntry* table, Block* blocks, uint32_t size, uint32_t index,
                         uint32_t* freeHint, MovedEntry* edit = nullptr) {
  MovedEntry moved;
  const uint32_t freed = TakeOutOfChain(table, size, index, freeHint, &moved);
  FollowMove(blocks, size, moved);
  if (edit) *edit = moved;
  return freed;
}

}  // namespace orvel

#endif
