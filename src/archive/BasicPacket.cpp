// The basic archive object: construction, the internal slots, lookups and the
// queries that need no file access.
#include "archive/BasicPacket.h"

#include <cstring>

#include "archive/HashChain.h"
#include "archive/TablePair.h"
#include "frame/ErrorCode.h"

namespace orvel {

COrvelPacket::COrvelPacket()
    : m_nUpdateCount(0),
      m_nBracketError(0),
      m_szListText(nullptr),
      m_nListLength(0),
      m_nListCapacity(0),
      m_nListCursorIndex(0),
      m_nListCursorOffset(0),
      m_bListCursorSet(false),
      m_pHashTable(nullptr),
      m_pBlockTable(nullptr),
      m_nTableSize(0),
      m_nTableMask(0),
      m_nFreeHint(0),
      m_pHeader(nullptr),
      m_hFile(kInvalidFile),
      m_pCompressor(nullptr),
      m_bScramble(0),
      m_pPatchList(nullptr),
      m_nPatchListWord(0),
      m_nPatchListCapacity(4096),
      m_pScrambledBlocks(nullptr),
      m_nScrambledEntries(0),
      m_bVerifyCheckSum(true),
      m_bReadOnly(false) {
  InitCryptTable();
  std::memset(m_szPath, 0, sizeof m_szPath);
  std::memset(m_szDir, 0, sizeof m_szDir);
  m_pCompressor = new CCompressBuffer;
  m_pPatchList = static_cast<unsigned char*>(VrkAlloc(m_nPatchListCapacity + 16));
  if (m_pPatchList) std::memset(m_pPatchList, 0, m_nPatchListCapacity + 16);
  HashNameAll(basic::kListFileName, m_aCryptTable, m_aListFileHash);
}

COrvelPacket::~COrvelPacket() {
  ClosePacket();
  VrkFree(m_pPatchList);
  m_pPatchList = nullptr;
  delete m_pCompressor;
  m_pCompressor = nullptr;
}

unsigned int COrvelPacket::SetTableSize(unsigned int requested) {
  m_nTableSize = RoundTableSize(requested, m_nTableSize);
  m_nTableMask = m_nTableSize - 1;
  return m_nTableMask;
}

bool COrvelPacket::AllocTables() {
  VrkFree(m_pHashTable);
  VrkFree(m_pBlockTable);
  m_pHashTable = nullptr;
  m_pBlockTable = nullptr;
  m_nFreeHint = 0;
  const uint32_t n = m_nTableSize;
  if (n == 0 || n > basic::kMaxTableSize) return false;
  return NewTablePair(n, true, &m_pHashTable, &m_pBlockTable);
}

void COrvelPacket::InitCryptTable() { orvel::InitCryptTable(m_aCryptTable); }

void COrvelPacket::ClosePacket() {
  ReleaseListText();
  m_listCache.Clear();
  VrkFree(m_pBlockTable);
  m_pBlockTable = nullptr;
  VrkFree(m_pScrambledBlocks);
  m_pScrambledBlocks = nullptr;
  m_nScrambledEntries = 0;
  VrkFree(m_pHashTable);
  m_pHashTable = nullptr;
  VrkFree(m_pHeader);
  m_pHeader = nullptr;
  m_nFreeHint = 0;
  if (m_hFile != kInvalidFile) CloseDiskFile(m_hFile);
  m_hFile = kInvalidFile;
  m_bReadOnly = false;
}

// ---- lookups ---------------------------------------------------------------

bool COrvelPacket::HashLookupName(const char* name, char* lower, uint32_t hash[3]) {
  if (!LowerCaseName(name, lower)) {
    SetError(VRKERR_NULL_NAME);
    return false;
  }
  HashNameAll(lower, m_aCryptTable, hash);
  return true;
}

uint32_t COrvelPacket::FindHashIndex(const uint32_t hash[3]) {
  if (!m_pHashTable) {
    SetError(VRKERR_NO_HASH_TABLE);
    return kNone;
  }
  const uint32_t index = FindInChains(m_pHashTable, m_nTableSize, hash);
  SetError(index == kNone ? VRKERR_NOT_FOUND : VRKERR_OK);
  return index;
}

basic::HashEntry* COrvelPacket::FindHashEntryByName(const char* name) {
  char lower[kMaxNameLength + 1];
  uint32_t hash[3];
  if (!HashLookupName(name, lower, hash)) return nullptr;
  const uint32_t index = FindHashIndex(hash);
  return index == kNone ? nullptr : &m_pHashTable[index];
}

bool COrvelPacket::IsUsedBlock(uint32_t index) const {
  if (!m_pHeader || !m_pBlockTable || index >= m_nTableSize) return false;
  return ((index - m_pHeader->ringFirst) & m_nTableMask) < m_pHeader->fileCount;
}

basic::BlockEntry* COrvelPacket::FindBlockByHash(const uint32_t hash[3], uint32_t blockIndex) {
  if (blockIndex != kNone) {
    if (!m_pBlockTable) {
      SetError(VRKERR_NO_BLOCK_TABLE);
      return nullptr;
    }
    // An index that names no used entry finds nothing.
    if (!IsUsedBlock(blockIndex)) {
      SetError(VRKERR_NOT_FOUND);
      return nullptr;
    }
    SetError(VRKERR_OK);
    return &m_pBlockTable[blockIndex];
  }
  if (!m_pHashTable) {
    SetError(VRKERR_NO_HASH_TABLE);
    return nullptr;
  }
  if (!m_pBlockTable) {
    SetError(VRKERR_NO_BLOCK_TABLE);
    return nullptr;
  }
  const uint32_t index = FindHashIndex(hash);
  if (index == kNone) return nullptr;
  const uint32_t block = m_pHashTable[index].blockIndex;
  if (block >= m_nTableSize) {
    SetError(VRKERR_NOT_FOUND);
    return nullptr;
  }
  return &m_pBlockTable[block];
}

basic::BlockEntry* COrvelPacket::FindBlock(const char* name, uint32_t blockIndex) {
  if (name) {
    char lower[kMaxNameLength + 1];
    uint32_t hash[3];
    if (!HashLookupName(name, lower, hash)) return nullptr;
    return FindBlockByHash(hash, blockIndex);
  }
  if (blockIndex == kNone) {
    SetError(VRKERR_NO_KEY);
    return nullptr;
  }
  static const uint32_t kNoHash[3] = {0, 0, 0};
  return FindBlockByHash(kNoHash, blockIndex);
}

basic::BlockEntry* COrvelPacket::ListFileBlock() { return FindBlockByHash(m_aListFileHash, kNone); }

bool COrvelPacket::IsListFileName(const char* lowerName) const {
  return std::strcmp(lowerName, basic::kListFileName) == 0;
}

bool COrvelPacket::IsListFileHash(const uint32_t hash[3]) const {
  return hash[0] == m_aListFileHash[0] && hash[1] == m_aListFileHash[1] &&
         hash[2] == m_aListFileHash[2];
}

// ---- queries ---------------------------------------------------------------

bool COrvelPacket::SetVerifyCheckSum(bool enable) {
  m_bVerifyCheckSum = enable;
  return enable;
}

unsigned int COrvelPacket::GetOriginalSize(const char* name, unsigned int blockIndex) {
  Refresh();
  const BlockEntry* b = FindBlock(name, blockIndex);
  return b ? b->originalSize : 0;
}

unsigned int COrvelPacket::GetStoredSize(const char* name, unsigned int blockIndex) {
  Refresh();
  const BlockEntry* b = FindBlock(name, blockIndex);
  return b ? b->storedSize : 0;
}

unsigned int COrvelPacket::GetFileCount() {
  Refresh();
  return m_pHeader ? m_pHeader->fileCount : 0;
}

unsigned int COrvelPacket::GetPacketFlags() {
  Refresh();
  return m_pHeader ? m_pHeader->flags : 0;
}

void COrvelPacket::GetPacketVersion(unsigned int* versionHigh, unsigned int* versionLow,
                                    unsigned int* baseVersion) {
  Refresh();
  if (baseVersion) *baseVersion = 0;
  if (versionHigh) *versionHigh = m_pHeader ? m_pHeader->versionHigh : 0;
  if (versionLow) *versionLow = m_pHeader ? m_pHeader->versionLow : 0;
}

const char* COrvelPacket::GetPacketPath() { return m_szPath; }

int COrvelPacket::GetFileBlockIndex(const char* name) {
  Refresh();
  const HashEntry* e = FindHashEntryByName(name);
  return e ? static_cast<int>(e->blockIndex) : -1;
}

// The block entry of a name for the by-name queries; a null name is -11.
basic::BlockEntry* COrvelPacket::FindNamedBlock(const char* name) {
  if (!name) {
    SetError(VRKERR_NULL_NAME);
    return nullptr;
  }
  return FindBlock(name, kNone);
}

void COrvelPacket::GetFileVersion(const char* name, unsigned int* versionHigh,
                                  unsigned int* versionLow) {
  Refresh();
  const BlockEntry* b = FindNamedBlock(name);
  if (!b) return;
  if (versionHigh) *versionHigh = b->versionHigh;
  if (versionLow) *versionLow = b->versionLow;
}

unsigned int COrvelPacket::GetFileStoredSize(const char* name) {
  Refresh();
  const BlockEntry* b = FindNamedBlock(name);
  return b ? b->storedSize : 0;
}

unsigned int COrvelPacket::GetFileOriginalSize(const char* name) {
  Refresh();
  const BlockEntry* b = FindNamedBlock(name);
  return b ? b->originalSize : 0;
}

unsigned int COrvelPacket::GetFileFlags(const char* name) {
  Refresh();
  const BlockEntry* b = FindNamedBlock(name);
  return b ? b->flags : 0;
}

int COrvelPacket::IsFileCompressed(const char* name) {
  Refresh();
  const BlockEntry* b = FindNamedBlock(name);
  return b ? static_cast<int>(b->flags & basic::kFileCompressed) : 0;
}

void COrvelPacket::GetFileHash(const char* name, unsigned int* hash0, unsigned int* hash1,
                               unsigned int* hash2) {
  Refresh();
  if (!name) {
    SetError(VRKERR_NULL_NAME);
    return;
  }
  const HashEntry* e = FindHashEntryByName(name);
  if (!e) return;
  if (hash0) *hash0 = e->hash0;
  if (hash1) *hash1 = e->hash1;
  if (hash2) *hash2 = e->hash2;
}

}  // namespace orvel
