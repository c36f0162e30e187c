// Removing files and compacting the archive. Removal only changes the tables
// (the data stays as a hole and the holes flag is set); compaction copies
// every stored file into a fresh file and puts it in the archive's place.
#include <cstring>
#include <memory>

#include "archive/BasicPacket.h"
#include "frame/Callbacks.h"
#include "frame/ErrorCode.h"

namespace orvel {

// Takes the file with these hashes out of both tables. The ring head fills
// the freed block entry so the ring stays contiguous.
int COrvelPacket::RemoveFile(const uint32_t hash[3]) {
  const uint32_t index = FindHashIndex(hash);
  if (index == kNone) return SetError(VRKERR_HASH_NOT_FOUND);
  basic::PacketHeader& h = *m_pHeader;
  const uint32_t block = m_pHashTable[index].blockIndex;
  if (h.ringFirst != block) {
    m_pBlockTable[block] = m_pBlockTable[h.ringFirst];
    m_pHashTable[m_pBlockTable[block].hashIndex].blockIndex = block;
    m_pBlockTable[h.ringFirst] = BlockEntry{};
  } else {
    m_pBlockTable[block] = BlockEntry{};
  }
  RemoveHashEntry(index);
  h.ringFirst = (h.ringFirst + 1) & m_nTableMask;
  --h.fileCount;
  h.flags |= basic::kFlagHoles;
  return SetError(VRKERR_OK);
}

int COrvelPacket::DeleteFileByHash(const unsigned int* hash) {
  if (CheckWritable() != VRKERR_OK) return VRKERR_READ_ONLY;
  if (BracketError() != VRKERR_OK) return GlobalError();
  if (!hash || IsListFileHash(hash)) return SetError(VRKERR_NULL_HASH);
  if (!m_pBlockTable) return SetError(VRKERR_NO_BLOCK_TABLE);
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER);
  if (!m_pHashTable) return SetError(VRKERR_NO_HASH_TABLE);
  return RemoveFile(hash);
}

int COrvelPacket::DeleteFile(const char* name) {
  if (CheckWritable() != VRKERR_OK) return VRKERR_READ_ONLY;
  if (BracketError() != VRKERR_OK) return GlobalError();
  char lower[kMaxNameLength + 1];
  uint32_t hash[3];
  if (!HashLookupName(name, lower, hash)) return VRKERR_NULL_NAME;
  if (IsListFileName(lower)) return SetError(VRKERR_NULL_NAME);
  const int rc = DeleteFileByHash(hash);
  if (rc != VRKERR_OK) return rc;
  ListFileRemove(lower);
  return SetError(VRKERR_OK);
}

int COrvelPacket::CompactPacket() {
  if (CheckWritable() != VRKERR_OK) return VRKERR_READ_ONLY;
  // Outside a bracket a compaction is a commit of its own.
  const bool own = m_nUpdateCount == 0;
  const int held = own ? StartBracket() : m_nBracketError;
  if (held != VRKERR_OK) return SetError(held);
  int rc = CompactLocked();
  if (own) m_guard.EndBracket();
  return SetError(rc);
}

int COrvelPacket::CompactLocked() {
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER);
  if (m_hFile == kInvalidFile) return SetError(VRKERR_NOT_OPEN);
  if (!m_pHashTable) return SetError(VRKERR_NO_HASH_TABLE);
  if (!(m_pHeader->flags & basic::kFlagHoles)) return SetError(VRKERR_OK);

  // The temporary file is the archive path with "temp" appended; the
  // journal knows it by that name and deletes it on a rollback.
  const size_t length = std::strlen(m_szPath);
  const FileHandle temp = m_guard.CreateTemporary();
  if (temp == kInvalidFile) return GlobalError();
  int rc = WriteSignature(temp) ? CopyFilesInto(temp) : GlobalError();
  CloseDiskFile(temp);
  if (rc == VRKERR_OK) rc = ReplaceArchiveFile();
  if (rc == VRKERR_OK && !m_guard.Commit()) rc = VRKERR_OPEN_FILE;
  char path[basic::kMaxPath];
  std::memcpy(path, m_szPath, length + 1);
  if (rc != VRKERR_OK) {
    // The copy changed offsets in memory; the journal puts the archive file
    // back as it was and deletes the temporary file, so reading it again
    // makes memory and disk agree.
    CloseHandles();
    m_guard.RollBack();
    OpenPacket(path);
    return SetError(rc);
  }
  OpenPacket(path);
  if (GlobalError() == VRKERR_OK) m_guard.Remember(DiskFingerprint(), ReadGeneration());
  return GlobalError();
}

// Copies the named files in list order, then the files stored by hashes alone
// in ring order, then the list file, and writes the tables and the header
// behind them. Each stored file is copied once. 0 or an error code.
int COrvelPacket::CopyFilesInto(FileHandle target) {
  const uint32_t size = m_nTableSize;
  std::unique_ptr<unsigned char, VrkFreeDeleter> copied(
      static_cast<unsigned char*>(VrkAlloc(size)));
  if (!copied || !m_pBlockTable) return SetError(VRKERR_NO_MEMORY);
  std::memset(copied.get(), 0, size);
  const BlockEntry* list = ListFileBlock();
  if (!list) return SetError(VRKERR_NO_LIST_FILE);
  const uint32_t listIndex = static_cast<uint32_t>(list - m_pBlockTable);
  copied.get()[listIndex] = 1;  // written last, from the list text

  const int total = static_cast<int>(GetFileCount());
  int position = 0;
  uint32_t write = basic::kDataStart;
  auto copy = [&](uint32_t index) -> int {
    BlockEntry& b = m_pBlockTable[index];
    unsigned char* bytes = m_readScratch.For(b.storedSize, b.offset);
    if (!bytes) return VRKERR_NO_MEMORY;
    if (ReadDiskFileAt(m_hFile, bytes, b.storedSize, b.offset) != b.storedSize ||
        uint64_t{write} + b.storedSize >= kFileFailure ||
        WriteDiskFileAt(target, bytes, b.storedSize, write) != b.storedSize)
      return VRKERR_DATA_IO;
    b.offset = write;
    write += b.storedSize;
    copied.get()[index] = 1;
    return VRKERR_OK;
  };

  if (total >= 2 && m_nListLength > 0) {
    bool firstLine = true;
    for (uint32_t start = 0; start < m_nListLength;) {
      const char* text = m_szListText + start;
      const void* feed = std::memchr(text, '\n', m_nListLength - start);
      const uint32_t length = feed ? static_cast<uint32_t>(static_cast<const char*>(feed) - text)
                                   : m_nListLength - start;
      start += length + 1;
      if (length == 0) continue;
      if (firstLine) {
        firstLine = false;
        continue;
      }
      FireCallback(VRKCB_COMPACT, this, total, ++position);
      if (length > kMaxNameLength) continue;
      char name[kMaxNameLength + 1];
      std::memcpy(name, text, length);
      name[length] = '\0';
      const BlockEntry* b = FindBlock(name, kNone);
      if (!b) continue;
      const uint32_t index = static_cast<uint32_t>(b - m_pBlockTable);
      if (copied.get()[index]) continue;
      const int rc = copy(index);
      if (rc != VRKERR_OK) return SetError(rc);
    }
  }
  // Progress counts positions in the name list only: the files known by
  // their hashes alone follow unreported.
  const basic::PacketHeader& h = *m_pHeader;
  for (uint32_t k = 0, index = h.ringFirst; k < h.fileCount;
       ++k, index = (index + 1) & m_nTableMask) {
    if (copied.get()[index]) continue;
    const int rc = copy(index);
    if (rc != VRKERR_OK) return SetError(rc);
  }

  if (!WriteListFile(target, write)) return GlobalError();
  list = ListFileBlock();
  m_pHeader->blockTableOffset = write + list->storedSize;
  const uint32_t hashOffset = WriteBlockTable(target);
  if (hashOffset == 0) return GlobalError();
  m_pHeader->hashTableOffset = hashOffset;
  if (!WriteHashTable(target, hashOffset)) return GlobalError();
  m_pHeader->flags &= ~basic::kFlagHoles;
  if (!WriteHeader(target)) return GlobalError();
  if (!FlushDiskFile(target)) return SetError(VRKERR_HEADER_IO);
  return VRKERR_OK;
}

// Puts the compacted file in the archive's place by exchanging the two under
// the journal (see ArchiveGuard::SwapArchive).
int COrvelPacket::ReplaceArchiveFile() {
  // The new file is durable (its tables were flushed) before it takes the
  // archive's place.
  CloseDiskFile(m_hFile);
  m_hFile = kInvalidFile;
  return m_guard.SwapArchive() ? VRKERR_OK : VRKERR_OPEN_FILE;
}

}  // namespace orvel
