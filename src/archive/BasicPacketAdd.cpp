// Adding and replacing files, hash-table insertion and table growth. New data
// always goes to the end of the data area (the list file's offset); a
// replacement removes the old file, whose bytes become a hole.
#include <cstring>
#include <memory>

#include "archive/BasicPacket.h"
#include "archive/HashChain.h"
#include "archive/TablePair.h"
#include "frame/ErrorCode.h"

namespace orvel {

namespace {

struct SourceFile {
  FileHandle file = kInvalidFile;
  ~SourceFile() {
    if (file != kInvalidFile) CloseDiskFile(file);
  }
};

// Mode word for a disk source: read, others may read and write.
constexpr unsigned kModeReadShareAll = 0x40;

}  // namespace

bool COrvelPacket::ReplacementAllowed(uint32_t flags, const BlockEntry& old, uint32_t versionHigh,
                                      uint32_t versionLow) const {
  if (flags & basic::kAddForce) return true;
  if (versionHigh != old.versionHigh) return versionHigh > old.versionHigh;
  return versionLow > old.versionLow;
}

// -42 (error code set) when the archive was opened read-only, else 0. Every
// change tests it first.
int COrvelPacket::CheckWritable() {
  return m_bReadOnly ? SetError(VRKERR_READ_ONLY) : VRKERR_OK;
}

// The checks every add by name starts with: a writable archive, the bracket,
// the name, and the list file's own name, which no add may take; a name with
// a line break would split the list text. 0 or the error code.
int COrvelPacket::CheckNamedAdd(const char* name, char* lower, uint32_t hash[3]) {
  if (CheckWritable() != VRKERR_OK) return VRKERR_READ_ONLY;
  if (BracketError() != VRKERR_OK) return GlobalError();
  if (!HashLookupName(name, lower, hash)) return VRKERR_NULL_NAME;
  if (IsListFileName(lower) || HasLineBreak(lower)) return SetError(VRKERR_NULL_NAME);
  return VRKERR_OK;
}

// True when a file with these hashes exists and the replacement rule keeps it.
bool COrvelPacket::KeepsExisting(const uint32_t hash[3], uint32_t flags, uint32_t versionHigh,
                                 uint32_t versionLow) {
  const BlockEntry* old = FindBlockByHash(hash, kNone);
  return old && !ReplacementAllowed(flags, *old, versionHigh, versionLow);
}

// The checks every store makes before it touches the tables.
int COrvelPacket::CheckStoreTarget() {
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER);
  if (!m_pBlockTable) return SetError(VRKERR_NO_BLOCK_TABLE);
  if (m_hFile == kInvalidFile) return SetError(VRKERR_NOT_OPEN);
  return VRKERR_OK;
}

// False when `storedSize` more bytes at the end of the data area would pass
// the 32-bit offset range.
bool COrvelPacket::HasRoomFor(uint32_t storedSize) {
  const BlockEntry* list = ListFileBlock();
  return !list || uint64_t{list->offset} + storedSize < kFileFailure;
}

int COrvelPacket::StoreNewFile(const uint32_t hash[3], const void* data, uint32_t storedSize,
                               uint32_t originalSize, uint32_t fileFlags, uint32_t versionHigh,
                               uint32_t versionLow, const char* listName) {
  int rc = CheckStoreTarget();
  if (rc != VRKERR_OK) return rc;
  // Room for the name line first, so nothing can fail after the data is in.
  if (listName && !ReserveListText(static_cast<uint32_t>(std::strlen(listName)) + 1))
    return SetError(VRKERR_NO_MEMORY);
  uint32_t index = 0;
  rc = InsertHashEntry(hash, &index);
  if (rc != VRKERR_OK) return rc;

  // From here a failure takes the new hash entry out again.
  BlockEntry* list = ListFileBlock();
  if (!list)
    rc = VRKERR_NO_LIST_FILE;
  else if (uint64_t{list->offset} + storedSize >= kFileFailure)
    rc = VRKERR_DATA_IO;
  else if (WriteDiskFileAt(m_hFile, data, storedSize, list->offset) != storedSize)
    rc = VRKERR_DATA_IO;
  if (rc != VRKERR_OK) {
    RemoveHashEntry(index);
    return SetError(rc);
  }

  basic::PacketHeader& h = *m_pHeader;
  BlockEntry& b = m_pBlockTable[h.ringNext];
  b.offset = list->offset;
  b.storedSize = storedSize;
  b.originalSize = originalSize;
  b.flags = fileFlags;
  b.hashIndex = index;
  const bool useArchiveStamp = versionHigh == 0 && versionLow == 0;
  b.versionHigh = useArchiveStamp ? h.versionHigh : versionHigh;
  b.versionLow = useArchiveStamp ? h.versionLow : versionLow;
  list->offset += storedSize;
  h.ringNext = (h.ringNext + 1) & m_nTableMask;
  ++h.fileCount;
  if (listName) ListFileAdd(listName);
  return SetError(VRKERR_OK);
}

// Adds under a lower-cased name whose replacement rule has been applied: an
// existing file is removed first, and the name's list line moves to the end.
int COrvelPacket::AddByName(const char* lowerName, const uint32_t hash[3], const void* data,
                            uint32_t storedSize, uint32_t originalSize, uint32_t fileFlags,
                            uint32_t versionHigh, uint32_t versionLow) {
  if (FindHashIndex(hash) != kNone) {
    if (!HasRoomFor(storedSize)) return SetError(VRKERR_DATA_IO);
    const int rc = RemoveFile(hash);
    if (rc != VRKERR_OK) return rc;
    ListFileRemove(lowerName);
  }
  return StoreNewFile(hash, data, storedSize, originalSize, fileFlags, versionHigh, versionLow,
                      lowerName);
}

int COrvelPacket::AddFileFromDisk(const char* name, unsigned int flags, const char* diskPath,
                                  unsigned int versionHigh, unsigned int versionLow) {
  char lower[kMaxNameLength + 1];
  uint32_t hash[3];
  const int checked = CheckNamedAdd(name, lower, hash);
  if (checked != VRKERR_OK) return checked;
  if (!diskPath) return SetError(VRKERR_NULL_PATH);
  if (KeepsExisting(hash, flags, versionHigh, versionLow)) return SetError(VRKERR_OK);

  if (m_hFile == kInvalidFile) return SetError(VRKERR_NOT_OPEN);
  if (!DiskFileExists(diskPath)) return SetError(VRKERR_NO_SOURCE);
  const int rc = CheckStoreTarget();
  if (rc != VRKERR_OK) return rc;

  if ((flags & basic::kAddCompress) && m_pCompressor) {
    const unsigned char* out = m_pCompressor->CompressDiskFile(diskPath);
    if (!out) return SetError(VRKERR_DATA_IO);
    return AddByName(lower, hash, out, m_pCompressor->m_nStoredSize, m_pCompressor->m_nOriginalSize,
                     basic::kFileCompressed, versionHigh, versionLow);
  }
  SourceFile source;
  source.file = OpenDiskFileEx(diskPath, kModeReadShareAll, kAttrNormal);
  if (source.file == kInvalidFile) return SetError(VRKERR_CREATE_FILE);
  const uint32_t size = GetDiskFileSize(source.file);
  if (size == kFileFailure) return SetError(VRKERR_DATA_IO);
  std::unique_ptr<unsigned char, VrkFreeDeleter> buffer(
      static_cast<unsigned char*>(VrkAlloc(uint64_t{size} + 4)));
  if (!buffer) return SetError(VRKERR_NO_MEMORY);
  if (ReadDiskFileAt(source.file, buffer.get(), size, 0) != size) return SetError(VRKERR_DATA_IO);
  return AddByName(lower, hash, buffer.get(), size, size, 0, versionHigh, versionLow);
}

int COrvelPacket::AddFileFromMemory(const char* name, unsigned int flags, const void* data,
                                    unsigned int size, unsigned int versionHigh,
                                    unsigned int versionLow) {
  char lower[kMaxNameLength + 1];
  uint32_t hash[3];
  const int checked = CheckNamedAdd(name, lower, hash);
  if (checked != VRKERR_OK) return checked;
  if (!data) return SetError(VRKERR_NULL_BUFFER);
  if (KeepsExisting(hash, flags, versionHigh, versionLow)) return SetError(VRKERR_OK);
  const int rc = CheckStoreTarget();
  if (rc != VRKERR_OK) return rc;

  if ((flags & basic::kAddCompress) && m_pCompressor) {
    const unsigned char* out = m_pCompressor->CompressBuffer(data, size);
    if (!out) return SetError(VRKERR_NULL_BUFFER);
    return AddByName(lower, hash, out, m_pCompressor->m_nStoredSize, size, basic::kFileCompressed,
                     versionHigh, versionLow);
  }
  return AddByName(lower, hash, data, size, size, 0, versionHigh, versionLow);
}

int COrvelPacket::AddCompressedFile(const char* name, unsigned int flags, const void* data,
                                    unsigned int storedSize, unsigned int originalSize,
                                    unsigned int versionHigh, unsigned int versionLow) {
  char lower[kMaxNameLength + 1];
  uint32_t hash[3];
  const int checked = CheckNamedAdd(name, lower, hash);
  if (checked != VRKERR_OK) return checked;
  if (!data) return SetError(VRKERR_NULL_BUFFER);
  if (KeepsExisting(hash, flags, versionHigh, versionLow)) return SetError(VRKERR_OK);
  return AddByName(lower, hash, data, storedSize, originalSize, basic::kFileCompressed, versionHigh,
                   versionLow);
}

int COrvelPacket::AddCompressedFileByHash(const unsigned int* hash, unsigned int flags,
                                          const void* data, unsigned int storedSize,
                                          unsigned int originalSize, unsigned int versionHigh,
                                          unsigned int versionLow) {
  if (CheckWritable() != VRKERR_OK) return VRKERR_READ_ONLY;
  if (BracketError() != VRKERR_OK) return GlobalError();
  if (!hash || IsListFileHash(hash)) return SetError(VRKERR_NULL_HASH);
  if (!data) return SetError(VRKERR_NULL_BUFFER);
  const int rc = CheckStoreTarget();
  if (rc != VRKERR_OK) return rc;
  if (FindHashIndex(hash) != kNone) {
    // A file stored by hashes keeps whatever list line it had.
    if (KeepsExisting(hash, flags, versionHigh, versionLow)) return SetError(VRKERR_OK);
    if (!HasRoomFor(storedSize)) return SetError(VRKERR_DATA_IO);
    const int removed = RemoveFile(hash);
    if (removed != VRKERR_OK) return removed;
  }
  return StoreNewFile(hash, data, storedSize, originalSize, basic::kFileCompressed, versionHigh,
                      versionLow, nullptr);
}

// ---- hash table -------------------------------------------------------------

// Inserts the hashes for a new file whose block entry will be ringNext,
// doubling the tables when the hash table is full.
int COrvelPacket::InsertHashEntry(const uint32_t hash[3], uint32_t* outIndex) {
  if (!m_pHashTable) return SetError(VRKERR_NO_HASH_TABLE);
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER);
  for (;;) {
    const int rc = InsertIntoChains(m_pHashTable, m_pBlockTable, m_nTableMask, m_nTableSize, hash,
                                    &m_nFreeHint, outIndex);
    if (rc == VRKERR_OK) m_pHashTable[*outIndex].blockIndex = m_pHeader->ringNext;
    if (rc != VRKERR_TABLE_FULL) return SetError(rc);
    const int grown = GrowTables();
    if (grown != VRKERR_OK) return grown;
  }
}

void COrvelPacket::RemoveHashEntry(uint32_t index) {
  UnlinkFromChain(m_pHashTable, m_pBlockTable, m_nTableSize, index, &m_nFreeHint);
}

// Doubles both tables and re-inserts every entry in old hash-table order; the
// block entries end up packed from 0 in that order.
int COrvelPacket::GrowTables() {
  const uint32_t oldSize = m_nTableSize;
  if (oldSize >= basic::kMaxTableSize) return SetError(VRKERR_TABLE_FULL);
  const uint32_t newSize = oldSize * 2;
  const int rc = DoubleTablePair(&m_pHashTable, &m_pBlockTable, oldSize, true, &m_nFreeHint, this,
                                 static_cast<int>(m_pHeader->fileCount));
  if (rc != VRKERR_OK) return SetError(rc);

  basic::PacketHeader& h = *m_pHeader;
  h.ringFirst = 0;
  h.ringNext = oldSize;
  h.tableSize = newSize;
  h.fileCount = oldSize;
  m_nTableSize = newSize;
  m_nTableMask = newSize - 1;
  return WriteHeader(m_hFile) ? SetError(VRKERR_OK) : GlobalError();
}

}  // namespace orvel
