// Removing files and setting the archive's version stamp.
#include <cstring>

#include "advance/VrkAdvance.h"
#include "frame/ErrorCode.h"

namespace orvel {

int CVrkAdvance::DeleteFileByHash(const unsigned int* hash) {
  if (int rc = CheckHashedChange(hash)) return SetError(rc);
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER);
  if (!m_pBlockTable) return SetError(VRKERR_NO_BLOCK_TABLE);
  if (!m_pHashTable) return SetError(VRKERR_NO_HASH_TABLE);
  const uint32_t slot = FindHashIndex(hash[0], hash[1], hash[2]);
  if (slot == kNone || m_pHeader->blockCount == 0) return SetError(VRKERR_OK);
  const uint32_t b = m_pHashTable[slot].blockIndex;
  if (b >= m_pHeader->blockCount || m_pBlockTable[b].hashIndex == kNone)
    return SetError(VRKERR_ADV_NOT_FOUND);

  m_pHeader->wastedBytes = SaturatingAdd(m_pHeader->wastedBytes, m_pBlockTable[b].storedSize);
  // The last block entry fills the hole, so the block table stays dense.
  const uint32_t last = m_pHeader->blockCount - 1;
  if (b != last) {
    m_pBlockTable[b] = m_pBlockTable[last];
    m_pHashTable[m_pBlockTable[b].hashIndex].blockIndex = b;
    TouchBlock(b);
    TouchHash(m_pBlockTable[b].hashIndex);
  }
  std::memset(&m_pBlockTable[last], 0, sizeof(AdvanceBlockEntry));
  TouchBlock(last);
  RemoveHashSlot(slot);
  --m_pHeader->blockCount;
  --m_pHeader->fileCount;
  m_pHeader->flags |= kAdvFlagHoles;
  return SetError(VRKERR_OK);
}

int CVrkAdvance::DeleteFile(const char* name) {
  unsigned int hash[3];
  if (int rc = CheckNamedChange(name, hash)) return SetError(rc);
  // The name leaves the list: the list is read before anything changes.
  if (int rc = EnsureNames()) return rc;
  int rc = DeleteFileByHash(hash);
  if (rc < 0) return rc;
  ListFileRemove(name);
  return SetError(VRKERR_OK);
}

void CVrkAdvance::SetPacketVersion(unsigned int versionHigh,
                                   unsigned int versionLow) {
  if (m_bReadOnly) return (void)SetError(VRKERR_READ_ONLY);
  if (!m_pHeader) return (void)SetError(VRKERR_NO_HEADER);
  // Outside a bracket the stamp is a commit of its own.
  const bool own = m_nUpdateCount == 0;
  const int held = own ? StartBracket() : m_nBracketError;
  if (held != VRKERR_OK) return (void)SetError(held);
  if (!m_pHeader) return (void)SetError(VRKERR_NO_HEADER);
  m_pHeader->versionHigh = versionHigh;
  m_pHeader->versionLow = versionLow;
  int rc = VRKERR_OK;
  if (!WriteSideHeader() || !WriteHeader(m_hPacket)) {
    rc = GlobalError();
  } else if (!FlushDiskFile(m_hTableFile) || !FlushDiskFile(m_hPacket)) {
    // Commit point: the new stamp is durable before success is reported.
    rc = VRKERR_HEADER_IO;
  }
  if (own && m_guard.InBracket()) {
    FinishBracket(rc);
  } else {
    SetError(rc);
  }
}

int CVrkAdvance::EndUpdateAtVersion(unsigned int versionHigh, unsigned int versionLow) {
  if (m_bReadOnly || m_nUpdateCount == 0 || !m_pHeader) return EndUpdate();
  const uint32_t high = m_pHeader->versionHigh;
  const uint32_t low = m_pHeader->versionLow;
  m_pHeader->versionHigh = versionHigh;
  m_pHeader->versionLow = versionLow;
  const int rc = EndUpdate();
  // Not committed: the stamp in memory goes back to what the disk says (a
  // failed commit has already read the tables again).
  if (rc < 0 && m_pHeader && m_pHeader->versionHigh == versionHigh &&
      m_pHeader->versionLow == versionLow) {
    m_pHeader->versionHigh = high;
    m_pHeader->versionLow = low;
  }
  return rc;
}

void CVrkAdvance::JournalReplacement(const unsigned int* hash, unsigned int storedSize) {
  if (!hash || m_bReadOnly || !m_guard.InBracket() || !JournalingEnabled()) return;
  // A lookup sets the error code; this step must leave it as it was.
  const SavedError kept;
  const AdvanceBlockEntry* found = FindBlockByHash(hash[0], hash[1], hash[2], kNone);
  // A larger record is appended instead: nothing committed is overwritten.
  // A failed copy only costs time: the write journals what is missing.
  if (found && storedSize <= found->storedSize)
    m_guard.Journal().Cover(0, found->offset, uint64_t{storedSize} + 4, m_hPacket);
  kept.Restore();
}

}  // namespace orvel
