// Life cycle of the advanced archive object, its tables, and the queries
// that need no lookup.
#include "advance/VrkAdvance.h"

#include "advance/AdvancePaths.h"
#include "archive/TablePair.h"

#include <cstring>
#include <initializer_list>

#include "codec/CompressBuffer.h"
#include "codec/FileNameList.h"
#include "codec/IceCipher.h"
#include "frame/ErrorCode.h"

namespace orvel {

CVrkAdvance::CVrkAdvance()
    : m_pNameList(nullptr),
      m_nUpdateCount(0),
      m_nBracketError(0),
      m_aCryptTable(),
      m_szPath(),
      m_pHashTable(nullptr),
      m_pBlockTable(nullptr),
      m_nTableSize(0),
      m_nTableMask(0),
      m_pHeader(nullptr),
      m_hPacket(kInvalidFile),
      m_hTableFile(kInvalidFile),
      m_hListFile(kInvalidFile),
      m_pCompressor(nullptr),
      m_bTablesEnciphered(0),
      m_bReadOnly(0),
      m_bVerifyCheckSum(1),
      m_aListFileHash(),
      m_nFreeScan(0),
      m_nStoredFileFlags(kFileCompressed),
      m_pKnownCrc(nullptr),
      m_bNamesPending(0) {
  InitCryptTable();
  HashNameAll(kListFileName, m_aCryptTable, m_aListFileHash);
  m_pNameList = new CFileNameList();
  m_pCompressor = new CCompressBuffer();
  KeyArchiveCipher();
}

CVrkAdvance::~CVrkAdvance() {
  ClosePacket();
  delete m_pNameList;
  delete m_pCompressor;
}

void CVrkAdvance::InitCryptTable() { orvel::InitCryptTable(m_aCryptTable); }

unsigned int CVrkAdvance::SetTableSize(unsigned int requested) {
  m_nTableSize = RoundTableSize(requested, m_nTableSize);
  m_nTableMask = m_nTableSize - 1;
  return m_nTableMask;
}

int CVrkAdvance::AllocTables() {
  if (!AllocTablesUnfilled()) return 0;
  ClearTablePair(m_nTableSize, m_pHashTable, m_pBlockTable);
  return 1;
}

int CVrkAdvance::AllocTablesUnfilled() {
  VrkFree(m_pHashTable);
  VrkFree(m_pBlockTable);
  m_pHashTable = nullptr;
  m_pBlockTable = nullptr;
  m_nFreeScan = 0;
  ForgetTablePieces();
  if (m_nTableSize == 0) return 0;
  const bool ok =
      NewTablePair(m_nTableSize, false, &m_pHashTable, &m_pBlockTable);
  return ok ? 1 : 0;
}

void CVrkAdvance::ClosePacket() {
  if (m_pNameList) m_pNameList->Clear();
  m_listCache.Clear();
  m_bNamesPending = 0;
  m_bListOnDisk = false;
  VrkFree(m_pBlockTable);
  VrkFree(m_pHashTable);
  VrkFree(m_pHeader);
  m_pBlockTable = nullptr;
  m_pHashTable = nullptr;
  m_pHeader = nullptr;
  m_nFreeScan = 0;
  ForgetTablePieces();
  for (FileHandle* h : {&m_hPacket, &m_hTableFile, &m_hListFile}) {
    if (*h != kInvalidFile) CloseDiskFile(*h);
    *h = kInvalidFile;
  }
  m_bReadOnly = 0;
}

int CVrkAdvance::CheckWritable() const {
  return m_bReadOnly ? VRKERR_READ_ONLY : VRKERR_OK;
}

bool CVrkAdvance::HashLowerName(const char* name, unsigned int hash[3]) const {
  char lower[kMaxNameLength + 1];
  if (!LowerCaseName(name, lower)) {
    SetError(VRKERR_NULL_NAME);
    return false;
  }
  HashNameAll(lower, m_aCryptTable, hash);
  return true;
}

bool CVrkAdvance::IsListFileHash(const unsigned int* hash) const {
  return hash[0] == m_aListFileHash[0] && hash[1] == m_aListFileHash[1] &&
         hash[2] == m_aListFileHash[2];
}

int CVrkAdvance::CheckNamedChange(const char* name, unsigned int hash[3]) const {
  if (m_bReadOnly) return VRKERR_READ_ONLY;
  if (m_nUpdateCount == 0) return VRKERR_NOT_UPDATING;
  if (m_nBracketError != VRKERR_OK) return m_nBracketError;
  // The list file belongs to the archive; a host never adds or removes it.
  if (!HashLowerName(name, hash) || IsListFileHash(hash)) return VRKERR_NULL_NAME;
  return VRKERR_OK;
}

int CVrkAdvance::CheckNamedAdd(const char* name, unsigned int hash[3]) const {
  const int rc = CheckNamedChange(name, hash);
  if (rc != VRKERR_OK) return rc;
  return HasLineBreak(name) ? VRKERR_NULL_NAME : VRKERR_OK;
}

int CVrkAdvance::CheckHashedChange(const unsigned int* hash) const {
  if (m_bReadOnly) return VRKERR_READ_ONLY;
  if (m_nUpdateCount == 0) return VRKERR_NOT_UPDATING;
  if (m_nBracketError != VRKERR_OK) return m_nBracketError;
  if (!hash || IsListFileHash(hash)) return VRKERR_NULL_HASH;
  return VRKERR_OK;
}

void CVrkAdvance::SidePath(const char* extension, char* out) const {
  SideFilePath(m_szPath, extension, out);
}

bool CVrkAdvance::SetVerifyCheckSum(bool enable) {
  m_bVerifyCheckSum = enable ? 1 : 0;
  return enable;
}

void CVrkAdvance::FreeBuffer(void* p) { VrkFree(p); }

void CVrkAdvance::BeginUpdate() {
  // The outermost bracket holds the archive against other writers.
  if (m_nUpdateCount++ == 0) m_nBracketError = StartBracket();
}

unsigned int CVrkAdvance::GetFileCount() {
  Refresh();
  return m_pHeader ? m_pHeader->fileCount : 0;
}

int CVrkAdvance::GetFileName(unsigned int index, char* buffer, int bufferSize) {
  Refresh();
  if (!m_pNameList) return SetError(VRKERR_NO_LIST_FILE);
  if (const int rc = EnsureNames()) return rc;
  if (index > 0x7FFFFFFFu ||
      !m_pNameList->GetName(static_cast<int>(index), buffer, bufferSize))
    return SetError(VRKERR_NULL_NAME);
  return SetError(VRKERR_OK);
}

unsigned int CVrkAdvance::GetPacketFlags() {
  Refresh();
  return m_pHeader ? m_pHeader->flags : 0;
}

void CVrkAdvance::GetPacketVersion(unsigned int* versionHigh,
                                   unsigned int* versionLow,
                                   unsigned int* baseVersion) {
  Refresh();
  if (versionHigh) *versionHigh = m_pHeader ? m_pHeader->versionHigh : 0;
  if (versionLow) *versionLow = m_pHeader ? m_pHeader->versionLow : 0;
  if (baseVersion) *baseVersion = m_pHeader ? m_pHeader->baseVersion : 0;
}

const char* CVrkAdvance::GetPacketPath() { return m_szPath; }

unsigned int CVrkAdvance::NameCount() {
  if (EnsureNames() != VRKERR_OK) return 0;
  return m_pNameList && m_pNameList->m_nKeyNameCount > 0
             ? static_cast<unsigned>(m_pNameList->m_nKeyNameCount)
             : 0;
}

}  // namespace orvel
