// Hash-table maintenance: inserting with chains kept inside the table,
// growing both tables, and taking an entry out of its chain.
#include <cstring>

#include "advance/VrkAdvance.h"
#include "frame/Callbacks.h"
#include "frame/ErrorCode.h"

namespace orvel {

namespace {

constexpr int kNoFreeSlot = 1;  // InsertInto: the table is full

bool SameHashes(const HashEntry& e, uint32_t h0, uint32_t h1, uint32_t h2) {
  return e.hash0 == h0 && e.hash1 == h1 && e.hash2 == h2;
}

void FreeSlot(HashEntry& e) { std::memset(&e, 0xFF, sizeof(e)); }

// The entry whose `next` is `target` on the chain starting at `home`, or
// kNone.
uint32_t ChainPredecessor(const HashEntry* table, uint32_t size, uint32_t home,
                          uint32_t target) {
  uint32_t p = home;
  for (uint32_t steps = 0; steps < size && p < size; ++steps) {
    if (table[p].next == target) return p;
    p = table[p].next;
  }
  return kNone;
}

}  // namespace

int CVrkAdvance::InsertInto(unsigned int hash0, unsigned int hash1,
                            unsigned int hash2, HashEntry* table,
                            AdvanceBlockEntry* blocks, unsigned int mask,
                            unsigned int size, uint32_t* freeScan,
                            HashEntry** entry, unsigned int* index) {
  if (entry) *entry = nullptr;
  if (index) *index = 0;
  if (size == 0 || !table) return VRKERR_TABLE_FULL;
  const uint32_t h = hash0 & mask;
  HashEntry& home = table[h];
  if (home.blockIndex == kNone) {
    home.hash0 = hash0;
    home.hash1 = hash1;
    home.hash2 = hash2;
    if (entry) *entry = &home;
    if (index) *index = h;
    return VRKERR_OK;
  }
  const bool foreign = (home.hash0 & mask) != h;
  // Only entries of home h sit on its chain, so an equal name is found there.
  uint32_t last = h;
  if (!foreign) {
    for (uint32_t steps = 0; steps < size; ++steps) {
      if (SameHashes(table[last], hash0, hash1, hash2)) return VRKERR_EXISTS;
      const uint32_t n = table[last].next;
      if (n == kNone || n >= size) break;
      last = n;
    }
  }
  // The first free slot; every slot below *freeScan is known to be taken.
  uint32_t f = *freeScan;
  while (f < size && table[f].blockIndex != kNone) ++f;
  *freeScan = f;
  if (f >= size) return kNoFreeSlot;
  if (foreign) {
    // Move the occupant out of the way and relink its chain.
    table[f] = home;
    if (table[f].blockIndex < size) blocks[table[f].blockIndex].hashIndex = f;
    const uint32_t p = ChainPredecessor(table, size, table[f].hash0 & mask, h);
    if (p != kNone) table[p].next = f;
    home.hash0 = hash0;
    home.hash1 = hash1;
    home.hash2 = hash2;
    home.next = kNone;
    if (entry) *entry = &home;
    if (index) *index = h;
  } else {
    table[f].hash0 = hash0;
    table[f].hash1 = hash1;
    table[f].hash2 = hash2;
    table[last].next = f;
    if (entry) *entry = &table[f];
    if (index) *index = f;
  }
  return VRKERR_OK;
}

int CVrkAdvance::InsertIntoTables(unsigned int hash0, unsigned int hash1,
                                  unsigned int hash2, HashEntry* table,
                                  AdvanceBlockEntry* blocks, unsigned int mask,
                                  unsigned int size, HashEntry** entry,
                                  unsigned int* index) {
  uint32_t scan = 0;
  int rc = InsertInto(hash0, hash1, hash2, table, blocks, mask, size, &scan,
                      entry, index);
  return SetError(rc == kNoFreeSlot ? VRKERR_TABLE_FULL : rc);
}

int CVrkAdvance::InsertHashEntry(unsigned int hash0, unsigned int hash1,
                                 unsigned int hash2, HashEntry** entry,
                                 unsigned int* index) {
  for (;;) {
    if (!m_pHashTable) return SetError(VRKERR_NO_HASH_TABLE);
    int rc = InsertInto(hash0, hash1, hash2, m_pHashTable, m_pBlockTable,
                        m_nTableMask, m_nTableSize, &m_nFreeScan, entry, index);
    if (rc != kNoFreeSlot) return SetError(rc);
    const uint32_t before = m_nTableSize;
    GrowTables();
    if (m_nTableSize == before) return g_nVrkErrCode;
  }
}

int CVrkAdvance::InsertHashEntryByName(const char* name, HashEntry** entry,
                                       unsigned int* index) {
  if (!m_pHashTable) return SetError(VRKERR_NO_HASH_TABLE);
  unsigned int hash[3];
  if (!HashLowerName(name, hash)) return VRKERR_NULL_NAME;
  return InsertHashEntry(hash[0], hash[1], hash[2], entry, index);
}

int CVrkAdvance::GrowTables() {
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), 0;
  if (!m_pHashTable || !m_pBlockTable) return SetError(VRKERR_NO_HASH_TABLE), 0;
  const uint32_t n = m_nTableSize;
  if (n >= kMaxTableSize) return SetError(VRKERR_TABLE_FULL), 0;
  const uint32_t size = n * 2;
  auto* hashes = static_cast<HashEntry*>(VrkAlloc(size_t{size} * sizeof(HashEntry)));
  auto* blocks = static_cast<AdvanceBlockEntry*>(
      VrkAlloc(size_t{size} * sizeof(AdvanceBlockEntry)));
  if (!hashes || !blocks) {
    VrkFree(hashes);
    VrkFree(blocks);
    return SetError(VRKERR_NO_MEMORY), 0;
  }
  std::memset(hashes, 0xFF, size_t{size} * sizeof(HashEntry));
  std::memset(blocks, 0, size_t{size} * sizeof(AdvanceBlockEntry));
  const int oldCount = static_cast<int>(m_pHeader->fileCount);
  uint32_t scan = 0;
  // Block entries are renumbered in the order of the old hash slots.
  for (uint32_t i = 0; i < n; ++i) {
    const HashEntry& old = m_pHashTable[i];
    if (old.blockIndex >= n) continue;
    blocks[i] = m_pBlockTable[old.blockIndex];
    HashEntry* placed = nullptr;
    unsigned int at = 0;
    if (InsertInto(old.hash0, old.hash1, old.hash2, hashes, blocks, size - 1,
                   size, &scan, &placed, &at) != VRKERR_OK)
      continue;
    placed->blockIndex = i;
    blocks[i].hashIndex = at;
    FireCallback(VRKCB_GROW_TABLES, this, oldCount, static_cast<int>(i));
  }
  m_pHeader->firstBlock = 0;
  m_pHeader->blockCount = n;
  m_pHeader->fileCount = n;
  m_pHeader->tableSize = size;
  VrkFree(m_pHashTable);
  VrkFree(m_pBlockTable);
  m_pHashTable = hashes;
  m_pBlockTable = blocks;
  m_nTableSize = size;
  m_nTableMask = size - 1;
  m_nFreeScan = scan;
  return WriteHeader(m_hPacket);
}

void CVrkAdvance::RemoveHashSlot(uint32_t slot) {
  HashEntry& e = m_pHashTable[slot];
  const uint32_t home = e.hash0 & m_nTableMask;
  uint32_t freed = slot;
  if (home == slot) {
    const uint32_t n = e.next;
    if (n != kNone && n < m_nTableSize) {
      // The second entry of the chain becomes its head.
      e = m_pHashTable[n];
      if (e.blockIndex < m_nTableSize) m_pBlockTable[e.blockIndex].hashIndex = slot;
      freed = n;
    }
  } else {
    const uint32_t p = ChainPredecessor(m_pHashTable, m_nTableSize, home, slot);
    if (p != kNone) m_pHashTable[p].next = e.next;
  }
  FreeSlot(m_pHashTable[freed]);
  if (freed < m_nFreeScan) m_nFreeScan = freed;
}

void CVrkAdvance::AbandonInsertion(uint32_t slot) {
  RemoveHashSlot(slot);
  std::memset(&m_pBlockTable[m_pHeader->blockCount], 0, sizeof(AdvanceBlockEntry));
}

}  // namespace orvel
