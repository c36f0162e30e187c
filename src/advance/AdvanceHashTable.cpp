// Hash-table maintenance: inserting with chains kept inside the table,
// growing both tables, and taking an entry out of its chain.
#include <cstring>

#include "advance/VrkAdvance.h"
#include "archive/HashChain.h"
#include "archive/TablePair.h"
#include "frame/ErrorCode.h"

namespace orvel {

namespace {

constexpr int kNoFreeSlot = 1;  // InsertInto: the table is full

}  // namespace

int CVrkAdvance::InsertInto(unsigned int hash0, unsigned int hash1,
                            unsigned int hash2, HashEntry* table,
                            AdvanceBlockEntry* blocks, unsigned int mask,
                            unsigned int size, uint32_t* freeScan,
                            HashEntry** entry, unsigned int* index) {
  if (entry) *entry = nullptr;
  if (index) *index = 0;
  // An empty table cannot grow, so it is not reported as merely full.
  if (size == 0 || !table) return VRKERR_TABLE_FULL;
  const uint32_t hash[3] = {hash0, hash1, hash2};
  uint32_t at = 0;
  MovedEntry edit;
  const int rc =
      InsertIntoChains(table, blocks, mask, size, hash, freeScan, &at, &edit);
  if (rc == VRKERR_TABLE_FULL) return kNoFreeSlot;
  if (rc != VRKERR_OK) return rc;
  if (table == m_pHashTable) {
    TouchHash(at);
    TouchChainEdit(edit);
  }
  // The new entry's blockIndex is the caller's to set.
  if (entry) *entry = &table[at];
  if (index) *index = at;
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
    if (m_nTableSize == before) return GlobalError();
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
  // Block entries are renumbered in the order of the old hash slots.
  const int rc =
      DoubleTablePair(&m_pHashTable, &m_pBlockTable, n, false, &m_nFreeScan,
                      this, static_cast<int>(m_pHeader->fileCount));
  if (rc != VRKERR_OK) return SetError(rc), 0;
  // Every entry moved: the next commit writes both tables whole.
  ForgetTablePieces();
  m_pHeader->firstBlock = 0;
  m_pHeader->blockCount = n;
  m_pHeader->fileCount = n;
  m_pHeader->tableSize = size;
  m_nTableSize = size;
  m_nTableMask = size - 1;
  return WriteHeader(m_hPacket);
}

void CVrkAdvance::TouchChainEdit(const MovedEntry& edit) {
  if (edit.index != kNone) TouchHash(edit.index);
  if (edit.relinked != kNone) TouchHash(edit.relinked);
  if (edit.block != kNone) TouchBlock(edit.block);
}

void CVrkAdvance::RemoveHashSlot(uint32_t slot) {
  MovedEntry edit;
  TouchHash(slot);
  TouchHash(UnlinkFromChain(m_pHashTable, m_pBlockTable, m_nTableSize, slot,
                            &m_nFreeScan, &edit));
  TouchChainEdit(edit);
}

void CVrkAdvance::AbandonInsertion(uint32_t slot) {
  RemoveHashSlot(slot);
  TouchBlock(m_pHeader->blockCount);
  std::memset(&m_pBlockTable[m_pHeader->blockCount], 0, sizeof(AdvanceBlockEntry));
}

}  // namespace orvel
