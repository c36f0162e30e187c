// Compaction: copies every live record into a fresh archive file, rewrites
// the tables, then swaps the files. Any failure leaves the old archive file
// in place and described by the side files.
#include <cstring>
#include <initializer_list>
#include <memory>

#include "advance/AdvancePaths.h"
#include "advance/VrkAdvance.h"
#include "codec/FileNameList.h"
#include "frame/Callbacks.h"
#include "frame/ErrorCode.h"

namespace orvel {

namespace {

using Block = std::unique_ptr<unsigned char, VrkFreeDeleter>;

// Copies one record (stored bytes and checksum word) from `from` at its
// offset to `to` at *position, through `scratch`, and moves the entry.
int CopyRecord(FileHandle from, FileHandle to, AdvanceBlockEntry* e, ScratchBuffer* scratch,
               uint32_t* position) {
  const uint64_t size = uint64_t{e->storedSize} + kChecksumSize;
  if (size > 0xFFFFFFFFu || *position + size > 0xFFFFFFFFu) return VRKERR_DATA_IO;
  const uint32_t n = static_cast<uint32_t>(size);
  unsigned char* bytes = scratch->For(n, e->offset);
  if (!bytes) return VRKERR_NO_MEMORY;
  if (ReadDiskFileAt(from, bytes, n, e->offset) != n) return VRKERR_DATA_IO;
  if (WriteDiskFileAt(to, bytes, n, *position) != n) return VRKERR_DATA_IO;
  e->offset = *position;
  *position += n;
  return VRKERR_OK;
}

}  // namespace

int CVrkAdvance::CompactInto(FileHandle temp, uint32_t* savedOffsets) {
  const uint32_t count = m_pHeader->blockCount;
  for (uint32_t i = 0; i < count; ++i) savedOffsets[i] = m_pBlockTable[i].offset;
  const AdvanceBlockEntry* list =
      FindBlockByHash(m_aListFileHash[0], m_aListFileHash[1], m_aListFileHash[2], kNone);
  const uint32_t listIndex = list ? static_cast<uint32_t>(list - m_pBlockTable) : kNone;
  Block copied(static_cast<unsigned char*>(VrkAlloc(uint64_t{count} + 1)));
  if (!copied) return VRKERR_NO_MEMORY;
  std::memset(copied.get(), 0, count + 1);
  uint32_t position = kDataStart;

  // Named files in list order first, each once even when listed twice.
  const int total = static_cast<int>(GetFileCount());
  char name[1024];
  if (m_pNameList && GetFileCount() > 1 && m_pNameList->GetName(0, name, sizeof(name))) {
    for (int i = 1; m_pNameList->GetName(i, name, sizeof(name)); ++i) {
      FireCallback(VRKCB_COMPACT, this, total, i);
      const AdvanceBlockEntry* e = FindBlock(name, kNone);
      if (!e) continue;
      const uint32_t b = static_cast<uint32_t>(e - m_pBlockTable);
      if (b == listIndex || copied.get()[b]) continue;
      int rc = CopyRecord(m_hPacket, temp, &m_pBlockTable[b], &m_readScratch, &position);
      if (rc != VRKERR_OK) return rc;
      copied.get()[b] = 1;
    }
  }
  // Then the files known by their hashes alone, in block order.
  for (uint32_t b = 0; b < count; ++b) {
    if (b == listIndex || copied.get()[b]) continue;
    int rc = CopyRecord(m_hPacket, temp, &m_pBlockTable[b], &m_readScratch, &position);
    if (rc != VRKERR_OK) return rc;
  }
  return VRKERR_OK;
}

void CVrkAdvance::RestoreAfterFailedCompaction() {
  const int rc = GlobalError();
  CloseHandles();
  // The journal puts back the side files the new tables overwrote, and the
  // old archive file if the swap had begun; the temporary file goes.
  m_guard.RollBack();
  OpenPacket(m_szPath);
  SetError(rc);
}

int CVrkAdvance::CompactPacket() {
  if (m_bReadOnly) return SetError(VRKERR_READ_ONLY);
  // Outside a bracket a compaction is a commit of its own.
  const bool own = m_nUpdateCount == 0;
  const int held = own ? StartBracket() : m_nBracketError;
  if (held != VRKERR_OK) return SetError(held);
  const int rc = CompactLocked();
  if (own) m_guard.EndBracket();
  return SetError(rc);
}

int CVrkAdvance::CompactLocked() {
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER);
  if (m_hPacket == kInvalidFile) return SetError(VRKERR_NOT_OPEN);
  if (!m_pHashTable) return SetError(VRKERR_NO_HASH_TABLE);
  if (!m_pBlockTable) return SetError(VRKERR_NO_BLOCK_TABLE);
  if (m_pHeader->wastedBytes == 0) return SetError(VRKERR_OK);
  // Records are copied in the order of the name list.
  if (const int rc = EnsureNames()) return rc;

  Block saved(static_cast<unsigned char*>(
      VrkAlloc((uint64_t{m_pHeader->blockCount} + 1) * sizeof(uint32_t))));
  if (!saved) return SetError(VRKERR_NO_MEMORY);
  // The archive path with kCompactTempSuffix appended, made under the
  // journal, which deletes it on a rollback.
  FileHandle temp = m_guard.CreateTemporary();
  if (temp == kInvalidFile) return GlobalError();
  uint32_t* offsets = reinterpret_cast<uint32_t*>(saved.get());

  int rc = WriteSignature(temp) ? CompactInto(temp, offsets) : GlobalError();
  if (rc != VRKERR_OK) {
    CloseDiskFile(temp);
    SetError(rc);
    RestoreAfterFailedCompaction();
    return GlobalError();
  }
  m_pHeader->wastedBytes = 0;
  m_pHeader->flags &= ~kAdvFlagHoles;
  // Every record moved: the new tables go out whole.
  ForgetTablePieces();
  // The new file is durable, with its header copy, before the side files
  // point into it.
  if (!FlushDiskFile(temp) || !WriteTables(temp) || !FlushDiskFile(temp) ||
      !FlushDiskFile(m_hTableFile)) {
    if (GlobalError() == VRKERR_OK) SetError(VRKERR_DATA_IO);
    CloseDiskFile(temp);
    RestoreAfterFailedCompaction();
    return GlobalError();
  }
  CloseDiskFile(temp);
  CloseDiskFile(m_hPacket);
  m_hPacket = kInvalidFile;
  // The swap and the side files commit together: until the journal goes,
  // a crash brings back the old archive file and the tables describing it.
  if (!m_guard.SwapArchive() || !m_guard.Commit()) {
    SetError(VRKERR_OPEN_FILE);
    RestoreAfterFailedCompaction();
    return GlobalError();
  }
  OpenPacket(m_szPath);
  if (GlobalError() == VRKERR_OK) m_guard.Remember(DiskFingerprint(), ReadGeneration());
  return GlobalError();
}

}  // namespace orvel
