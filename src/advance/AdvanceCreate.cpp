// Creating an advanced archive, and the update bracket whose outermost end
// writes the tables, both header copies and the list side file.
#include <cstring>
#include <initializer_list>

#include "advance/AdvancePaths.h"
#include "advance/VrkAdvance.h"
#include "codec/CompressBuffer.h"
#include "codec/FileNameList.h"
#include "frame/ErrorCode.h"

namespace orvel {

int CVrkAdvance::CreatePacket(const char* path, unsigned int flags,
                              unsigned int tableSize, unsigned int versionHigh,
                              unsigned int versionLow) {
  if (!path) return SetError(VRKERR_NULL_PATH), 0;
  if (!m_pCompressor) return SetError(VRKERR_NO_COMPRESSOR), 0;
  m_bTablesEnciphered = (flags & kAdvFlagCipherMask) != 0;
  if (std::strlen(path) >= kMaxPath) return SetError(VRKERR_CREATE_FILE), 0;
  std::strcpy(m_szPath, path);
  if (!HasArchiveExtension(m_szPath)) return SetError(VRKERR_BAD_EXTENSION), 0;
  // Larger tables would overflow 32-bit byte counts.
  if (tableSize > kMaxTableSize) return SetError(VRKERR_NO_MEMORY), 0;
  if (tableSize < 2) tableSize = 2;

  ClosePacket();
  SetTableSize(tableSize);
  m_pHeader = static_cast<AdvanceHeader*>(VrkAlloc(sizeof(AdvanceHeader)));
  if (!AllocTables() || !m_pHeader) {
    ClosePacket();
    return SetError(VRKERR_NO_MEMORY), 0;
  }
  std::memset(m_pHeader, 0, sizeof(AdvanceHeader));
  m_pHeader->tableSize = m_nTableSize;
  m_pHeader->flags = kAdvFlagAdvanced | (m_bTablesEnciphered ? kAdvFlagEnciphered : 0);
  m_pHeader->versionHigh = versionHigh;
  m_pHeader->versionLow = versionLow;
  m_pHeader->baseVersion = versionLow;

  char tablePath[kMaxPath];
  char listPath[kMaxPath];
  SidePath(kTableFileExtension, tablePath);
  SidePath(kListFileExtension, listPath);
  // Changes of a bracket open on the old archive are dropped with it.
  if (m_guard.InBracket()) m_guard.EndBracket();
  int rc = NameGuardedFiles() ? m_guard.BeginCreate() : VRKERR_CREATE_FILE;
  if (rc != VRKERR_OK) {
    m_guard.EndBracket();
    ClosePacket();
    return SetError(rc), 0;
  }
  m_hPacket = CreateDiskFile(m_szPath, kAttrWriteThrough);
  if (m_hPacket != kInvalidFile) m_hTableFile = CreateDiskFile(tablePath, kAttrWriteThrough);
  if (m_hTableFile != kInvalidFile) m_hListFile = CreateDiskFile(listPath, kAttrWriteThrough);
  if (m_hListFile == kInvalidFile) {
    rc = VRKERR_CREATE_FILE;
  } else if (!WriteSignature(m_hPacket)) {
    rc = GlobalError();
  } else {
    ListFileAdd(kListFileName);
    if (!CreateListFileEntry()) {
      rc = GlobalError();
    } else {
      // The first flush commits on its own, whatever brackets the object
      // had open before.
      const int flushed = WriteCommit();
      if (flushed < 0) rc = flushed;
    }
  }
  if (rc == VRKERR_OK) {
    for (FileHandle* h : {&m_hPacket, &m_hTableFile, &m_hListFile}) {
      CloseDiskFile(*h);
      *h = kInvalidFile;
    }
    m_hTableFile = OpenDiskFileEx(tablePath, kModeReadWriteShared, kAttrWriteThrough);
    m_hListFile = OpenDiskFileEx(listPath, kModeReadWriteShared, kAttrWriteThrough);
    m_hPacket = OpenDiskFileEx(m_szPath, kModeReadWriteShared, kAttrWriteThrough);
    if (m_hPacket == kInvalidFile || m_hTableFile == kInvalidFile) rc = VRKERR_OPEN_FILE;
  }
  if (rc == VRKERR_OK && !m_guard.Commit()) rc = VRKERR_CREATE_FILE;
  if (rc != VRKERR_OK) {
    // Nothing of a failed creation stays: the files are as they were.
    ClosePacket();
    m_guard.RollBack();
    m_guard.EndBracket();
    return SetError(rc), 0;
  }
  m_guard.Remember(DiskFingerprint(), ReadGeneration());
  m_guard.EndBracket();
  // A bracket still open goes on with the new archive, holding it.
  if (m_nUpdateCount > 0) m_nBracketError = StartBracket();
  return SetError(VRKERR_OK), 1;
}

int CVrkAdvance::CreateListFileEntry() {
  if (!m_pCompressor) return SetError(VRKERR_NO_COMPRESSOR), 0;
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), 0;
  if (!m_pBlockTable) return SetError(VRKERR_NO_BLOCK_TABLE), 0;
  if (!m_pHashTable) return SetError(VRKERR_NO_HASH_TABLE), 0;
  const uint32_t slot = m_aListFileHash[0] & m_nTableMask;
  const uint32_t index = m_pHeader->blockCount;
  if (m_pHashTable[slot].blockIndex != kNone || index >= m_nTableSize)
    return SetError(VRKERR_EXISTS), 0;
  // The list text of a new archive: the name and its terminating NUL.
  const unsigned char* packed =
      m_pCompressor->CompressBuffer(kListFileName, sizeof(kListFileName));
  if (!packed) return SetError(VRKERR_NO_MEMORY), 0;
  HashEntry& h = m_pHashTable[slot];
  h.hash0 = m_aListFileHash[0];
  h.hash1 = m_aListFileHash[1];
  h.hash2 = m_aListFileHash[2];
  h.blockIndex = index;
  AdvanceBlockEntry& b = m_pBlockTable[index];
  std::memset(&b, 0, sizeof(b));
  b.hashIndex = slot;
  b.flags = kFileCompressed;
  b.offset = 0;
  b.originalSize = sizeof(kListFileName);
  b.storedSize = m_pCompressor->m_nStoredSize;
  b.versionHigh = m_pHeader->versionHigh;
  b.versionLow = m_pHeader->versionLow;
  ++m_pHeader->blockCount;
  ++m_pHeader->fileCount;
  return SetError(VRKERR_OK), 1;
}

int CVrkAdvance::EndUpdate() {
  if (m_bReadOnly) return SetError(VRKERR_READ_ONLY);
  if (m_nUpdateCount == 0) return SetError(VRKERR_NOT_UPDATING);
  if (--m_nUpdateCount > 0) return SetError(VRKERR_OK);
  if (m_nBracketError != VRKERR_OK) {
    const int rc = m_nBracketError;
    m_nBracketError = VRKERR_OK;
    return SetError(rc);
  }
  return FinishBracket(WriteCommit());
}

int CVrkAdvance::WriteCommit() {
  // Names still on disk stay there when the commit would write them again
  // unchanged; otherwise they are read now, before anything is written.
  if (const int rc = SettleUnreadList()) return SetError(rc);
  // Commit point: the data records are durable before the tables that
  // reference them.
  if (m_hPacket != kInvalidFile && !FlushDiskFile(m_hPacket))
    return SetError(VRKERR_DATA_IO);
  if (!WriteTables(m_hPacket)) return GlobalError();
  if (!FlushDiskFile(m_hTableFile)) return SetError(VRKERR_BLOCK_TABLE_IO);
  // The header copy written with the tables must outlive a power loss too.
  if (m_hPacket != kInvalidFile && !FlushDiskFile(m_hPacket)) return SetError(VRKERR_HEADER_IO);

  if (!NamesLoaded()) {
    // Still unread: the list side file holds what the commit would write
    // (or there is no list entry to write it under).
    if (AdvanceBlockEntry* entry = FindBlockByHash(m_aListFileHash[0], m_aListFileHash[1],
                                                   m_aListFileHash[2], kNone))
      KeepListFile(entry);
    return SetError(VRKERR_OK);
  }
  // The list side file is written whenever the name list is the archive's
  // own (it starts with "(listfile)" and that entry exists), even when files
  // added by hashes alone make it shorter than the file count.
  char first[sizeof(kListFileName) + 1];
  const bool ownList =
      m_pNameList && m_pNameList->m_nKeyNameCount > 0 &&
      m_pNameList->GetName(0, first, sizeof(first)) &&
      std::strcmp(first, kListFileName) == 0 &&
      FindBlockByHash(m_aListFileHash[0], m_aListFileHash[1], m_aListFileHash[2],
                      kNone) != nullptr;
  if (!ownList) return SetError(VRKERR_OK);
  char listPath[kMaxPath];
  SidePath(kListFileExtension, listPath);
  if (!WriteListFile(listPath)) return GlobalError();
  // A list side file left as it was is durable already.
  if (!m_bListUntouched && !FlushDiskFile(m_hListFile)) return SetError(VRKERR_LIST_FILE_IO);
  return SetError(VRKERR_OK);
}

}  // namespace orvel
