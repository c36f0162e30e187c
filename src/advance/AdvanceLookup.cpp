// Finding files by name, by hashes or by block index, and the queries that
// report what a lookup found.
#include "advance/VrkAdvance.h"
#include "archive/HashChain.h"
#include "frame/ErrorCode.h"

namespace orvel {

unsigned int CVrkAdvance::FindHashIndex(unsigned int hash0, unsigned int hash1,
                                        unsigned int hash2) {
  if (!m_pHashTable) return SetError(VRKERR_NO_HASH_TABLE), kNone;
  const uint32_t hash[3] = {hash0, hash1, hash2};
  const uint32_t i = FindInChains(m_pHashTable, m_nTableSize, hash);
  return SetError(i == kNone ? VRKERR_ADV_NOT_FOUND : VRKERR_OK), i;
}

unsigned int CVrkAdvance::FindHashIndexByName(const char* name) {
  unsigned int hash[3];
  if (!HashLowerName(name, hash)) return kNone;
  return FindHashIndex(hash[0], hash[1], hash[2]);
}

HashEntry* CVrkAdvance::FindHashEntry(unsigned int hash0, unsigned int hash1,
                                      unsigned int hash2) {
  uint32_t i = FindHashIndex(hash0, hash1, hash2);
  return i == kNone ? nullptr : &m_pHashTable[i];
}

HashEntry* CVrkAdvance::FindHashEntryByName(const char* name) {
  if (!m_pHashTable) return SetError(VRKERR_NO_HASH_TABLE), nullptr;
  unsigned int hash[3];
  if (!HashLowerName(name, hash)) return nullptr;
  return FindHashEntry(hash[0], hash[1], hash[2]);
}

AdvanceBlockEntry* CVrkAdvance::FindBlockByHash(unsigned int hash0,
                                                unsigned int hash1,
                                                unsigned int hash2,
                                                unsigned int blockIndex) {
  if (!m_pHashTable) return SetError(VRKERR_NO_HASH_TABLE), nullptr;
  if (!m_pBlockTable) return SetError(VRKERR_NO_BLOCK_TABLE), nullptr;
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), nullptr;
  if (blockIndex == kNone) {
    uint32_t i = FindHashIndex(hash0, hash1, hash2);
    if (i == kNone) return nullptr;
    blockIndex = m_pHashTable[i].blockIndex;
  }
  if (blockIndex >= m_pHeader->blockCount)
    return SetError(VRKERR_ADV_NOT_FOUND), nullptr;
  SetError(VRKERR_OK);
  return &m_pBlockTable[blockIndex];
}

AdvanceBlockEntry* CVrkAdvance::FindBlock(const char* name,
                                          unsigned int blockIndex) {
  if (!name) {
    if (blockIndex == kNone) return SetError(VRKERR_ADV_NOT_FOUND), nullptr;
    if (!m_pBlockTable) return SetError(VRKERR_NO_BLOCK_TABLE), nullptr;
    if (!m_pHeader || blockIndex >= m_pHeader->blockCount)
      return SetError(VRKERR_ADV_NOT_FOUND), nullptr;
    SetError(VRKERR_OK);
    return &m_pBlockTable[blockIndex];
  }
  unsigned int hash[3];
  if (!HashLowerName(name, hash)) return nullptr;
  return FindBlockByHash(hash[0], hash[1], hash[2], blockIndex);
}

unsigned int CVrkAdvance::GetOriginalSize(const char* name,
                                          unsigned int blockIndex) {
  Refresh();
  const AdvanceBlockEntry* e = FindBlock(name, blockIndex);
  return e ? e->originalSize : 0;
}

unsigned int CVrkAdvance::GetStoredSize(const char* name, unsigned int blockIndex) {
  Refresh();
  const AdvanceBlockEntry* e = FindBlock(name, blockIndex);
  return e ? e->storedSize : 0;
}

int CVrkAdvance::GetFileBlockIndex(const char* name) {
  Refresh();
  const HashEntry* e = FindHashEntryByName(name);
  return e ? static_cast<int>(e->blockIndex) : -1;
}

void CVrkAdvance::GetFileVersion(const char* name, unsigned int* versionHigh,
                                 unsigned int* versionLow) {
  Refresh();
  if (!name) return (void)SetError(VRKERR_NULL_NAME);
  const AdvanceBlockEntry* e = FindBlock(name, kNone);
  if (!e) return;
  if (versionHigh) *versionHigh = e->versionHigh;
  if (versionLow) *versionLow = e->versionLow;
}

unsigned int CVrkAdvance::GetFileStoredSize(const char* name) {
  Refresh();
  if (!name) return SetError(VRKERR_NULL_NAME), 0;
  const AdvanceBlockEntry* e = FindBlock(name, kNone);
  return e ? e->storedSize : 0;
}

unsigned int CVrkAdvance::GetFileOriginalSize(const char* name) {
  Refresh();
  if (!name) return SetError(VRKERR_NULL_NAME), 0;
  const AdvanceBlockEntry* e = FindBlock(name, kNone);
  return e ? e->originalSize : 0;
}

unsigned int CVrkAdvance::GetFileFlags(const char* name) {
  Refresh();
  if (!name) return SetError(VRKERR_NULL_NAME), 0;
  const AdvanceBlockEntry* e = FindBlock(name, kNone);
  return e ? e->flags : 0;
}

int CVrkAdvance::IsFileCompressed(const char* name) {
  return (GetFileFlags(name) & kFileCompressed) ? 1 : 0;
}

void CVrkAdvance::GetFileHash(const char* name, unsigned int* hash0,
                              unsigned int* hash1, unsigned int* hash2) {
  Refresh();
  if (!name) return (void)SetError(VRKERR_NULL_NAME);
  const HashEntry* e = FindHashEntryByName(name);
  if (!e) return;
  if (hash0) *hash0 = e->hash0;
  if (hash1) *hash1 = e->hash1;
  if (hash2) *hash2 = e->hash2;
}

bool CVrkAdvance::FindFileEntry(const char* name, AdvanceBlockEntry* entry,
                                unsigned int hash[3]) {
  if (!name) return SetError(VRKERR_NULL_NAME), false;
  if (!HashLowerName(name, hash)) return false;
  const AdvanceBlockEntry* e = FindBlockByHash(hash[0], hash[1], hash[2], kNone);
  if (!e) return false;
  *entry = *e;
  return true;
}

void CVrkAdvance::SetFileVersion(const char* name, unsigned int versionHigh,
                                 unsigned int versionLow) {
  if (!name) return (void)SetError(VRKERR_NULL_NAME);
  if (m_nUpdateCount > 0 && m_nBracketError != VRKERR_OK)
    return (void)SetError(m_nBracketError);
  AdvanceBlockEntry* e = FindBlock(name, kNone);
  if (!e) return;
  e->versionHigh = versionHigh;
  e->versionLow = versionLow;
  TouchBlock(static_cast<uint32_t>(e - m_pBlockTable));
  SetError(VRKERR_OK);
}

}  // namespace orvel
