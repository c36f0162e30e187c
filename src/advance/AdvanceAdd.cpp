// Adding files from disk, from memory and as stored bytes by name or by
// hashes, and replacing them by file time or version.
#include <cstring>
#include <memory>

#include "advance/VrkAdvance.h"
#include "codec/CompressBuffer.h"
#include "codec/checksum_crc.h"
#include "frame/ErrorCode.h"

namespace orvel {

namespace {

using RawBuffer = std::unique_ptr<void, VrkFreeDeleter>;

void SetFileTime(AdvanceBlockEntry* e, uint64_t time) {
  e->fileTimeLow = static_cast<uint32_t>(time);
  e->fileTimeHigh = static_cast<uint32_t>(time >> 32);
}

// Checks that the disk source exists and can be opened, and takes its
// last-write time. 0 or the error code.
int ProbeDiskSource(const char* diskPath, uint64_t* time) {
  if (!diskPath) return VRKERR_NULL_PATH;
  if (!DiskFileExists(diskPath)) return VRKERR_NO_SOURCE;
  FileHandle probe = OpenDiskFile(diskPath, kModeReadExclusive);
  if (probe == kInvalidFile) return VRKERR_OPEN_FILE;
  CloseDiskFile(probe);
  *time = GetDiskFileWriteTime(diskPath);
  return VRKERR_OK;
}

}  // namespace

uint32_t CVrkAdvance::ArchiveEnd() { return GetDiskFileSize(m_hPacket); }

int CVrkAdvance::WriteRecord(uint32_t offset, const void* data, uint32_t size) {
  // Every record must end at or below the last 32-bit position.
  if (!RecordFits(offset, size)) return VRKERR_DATA_IO;
  if (size && WriteDiskFileAt(m_hPacket, data, size, offset) != size)
    return VRKERR_DATA_IO;
  const uint32_t crc = m_pKnownCrc ? *m_pKnownCrc : Crc32(data, size);
  if (WriteDiskFileAt(m_hPacket, &crc, 4, offset + size) != 4) return VRKERR_CHECKSUM_IO;
  return VRKERR_OK;
}

int CVrkAdvance::AddFileFromDisk(const char* name, unsigned int flags,
                                 const char* diskPath, unsigned int versionHigh,
                                 unsigned int versionLow) {
  unsigned int hash[3];
  int rc = CheckNamedAdd(name, hash);
  if (rc != VRKERR_OK) return SetError(rc);
  if (!diskPath) return SetError(VRKERR_NULL_PATH);
  if (FindBlock(name, kNone))
    return ReplaceFileFromDisk(name, flags, diskPath, versionHigh, versionLow);
  return AddNewFileFromDisk(name, flags, diskPath, versionHigh, versionLow);
}

const void* CVrkAdvance::LoadFileCompressed(const char* diskPath,
                                            AdvanceBlockEntry* entry) {
  if (!m_pCompressor) return SetError(VRKERR_NO_COMPRESSOR), nullptr;
  if (!entry) return SetError(VRKERR_NULL_BLOCK), nullptr;
  if (!diskPath) return SetError(VRKERR_NULL_PATH), nullptr;
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), nullptr;
  const unsigned char* packed = m_pCompressor->CompressDiskFile(diskPath);
  if (!packed) return SetError(VRKERR_NULL_BUFFER), nullptr;
  entry->originalSize = m_pCompressor->m_nOriginalSize;
  entry->storedSize = m_pCompressor->m_nStoredSize;
  entry->flags |= kFileCompressed;
  entry->versionHigh = m_pHeader->versionHigh;
  entry->versionLow = m_pHeader->versionLow;
  SetError(VRKERR_OK);
  return packed;
}

void* CVrkAdvance::LoadFileRaw(const char* diskPath, AdvanceBlockEntry* entry) {
  if (!entry) return SetError(VRKERR_NULL_BLOCK), nullptr;
  if (!diskPath) return SetError(VRKERR_NULL_PATH), nullptr;
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), nullptr;
  FileHandle file = OpenDiskFile(diskPath, kModeReadExclusive);
  if (file == kInvalidFile) return SetError(VRKERR_OPEN_FILE), nullptr;
  const uint32_t size = GetDiskFileSize(file);
  void* data = nullptr;
  int rc = VRKERR_OK;
  if (size == kFileFailure) {
    rc = VRKERR_SEEK;
  } else if (!(data = VrkAlloc(uint64_t{size} + kChecksumSize))) {
    rc = VRKERR_NO_MEMORY;
  } else if (size && ReadDiskFile(file, data, size) != size) {
    VrkFree(data);
    data = nullptr;
    rc = VRKERR_SEEK;
  }
  CloseDiskFile(file);
  if (rc != VRKERR_OK) return SetError(rc), nullptr;
  entry->flags &= ~kFileCompressed;
  entry->storedSize = size;
  entry->originalSize = size;
  entry->versionHigh = m_pHeader->versionHigh;
  entry->versionLow = m_pHeader->versionLow;
  SetError(VRKERR_OK);
  return data;
}

const void* CVrkAdvance::LoadDiskSource(const char* diskPath, unsigned int flags,
                                        AdvanceBlockEntry* entry, void** raw) {
  if (flags & kAddCompress) return LoadFileCompressed(diskPath, entry);
  *raw = LoadFileRaw(diskPath, entry);
  return *raw;
}

int CVrkAdvance::AddNewFileFromDisk(const char* name, unsigned int flags,
                                    const char* diskPath, unsigned int versionHigh,
                                    unsigned int versionLow) {
  unsigned int hash[3];
  int rc = CheckNamedAdd(name, hash);
  if (rc != VRKERR_OK) return SetError(rc);
  // The name joins the list: the list is read before anything changes.
  if ((rc = EnsureNames()) != VRKERR_OK) return rc;
  if (m_hPacket == kInvalidFile) return SetError(VRKERR_NOT_OPEN);
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER);
  if (!m_pBlockTable) return SetError(VRKERR_NO_BLOCK_TABLE);
  uint64_t time = 0;
  rc = ProbeDiskSource(diskPath, &time);
  if (rc != VRKERR_OK) return SetError(rc);

  // Load first, so that a source that cannot be read changes nothing.
  AdvanceBlockEntry fresh;
  std::memset(&fresh, 0, sizeof(fresh));
  void* rawData = nullptr;
  const void* data = LoadDiskSource(diskPath, flags, &fresh, &rawData);
  RawBuffer raw(rawData);
  if (!data) return GlobalError();
  if (versionHigh || versionLow) {
    fresh.versionHigh = versionHigh;
    fresh.versionLow = versionLow;
  }
  SetFileTime(&fresh, time);
  const uint32_t end = ArchiveEnd();
  if (end == kFileFailure) return SetError(VRKERR_SEEK);
  if (!RecordFits(end, fresh.storedSize))
    return SetError(VRKERR_DATA_IO);

  unsigned int slot = 0;
  rc = InsertHashEntryByName(name, nullptr, &slot);
  if (rc < 0) return rc;
  const uint32_t index = m_pHeader->blockCount;
  m_pHashTable[slot].blockIndex = index;
  fresh.hashIndex = slot;
  fresh.offset = end;
  m_pBlockTable[index] = fresh;
  TouchBlock(index);
  rc = WriteRecord(end, data, fresh.storedSize);
  if (rc != VRKERR_OK) {
    AbandonInsertion(slot);
    return SetError(rc);
  }
  ++m_pHeader->blockCount;
  ++m_pHeader->fileCount;
  ListFileAdd(name);
  return SetError(VRKERR_OK);
}

int CVrkAdvance::ReplaceFileFromDisk(const char* name, unsigned int flags,
                                     const char* diskPath, unsigned int versionHigh,
                                     unsigned int versionLow) {
  unsigned int hash[3];
  int rc = CheckNamedAdd(name, hash);
  if (rc != VRKERR_OK) return SetError(rc);
  if (m_hPacket == kInvalidFile) return SetError(VRKERR_NOT_OPEN);
  uint64_t time = 0;
  rc = ProbeDiskSource(diskPath, &time);
  if (rc != VRKERR_OK) return SetError(rc);

  AdvanceBlockEntry* found = FindBlock(name, kNone);
  if (!found) return GlobalError();
  const uint64_t storedTime =
      (uint64_t{found->fileTimeHigh} << 32) | found->fileTimeLow;
  if (storedTime == time && !(flags & kAddForce)) return SetError(VRKERR_OK);

  AdvanceBlockEntry fresh = *found;
  SetFileTime(&fresh, time);
  void* rawData = nullptr;
  const void* data = LoadDiskSource(diskPath, flags, &fresh, &rawData);
  RawBuffer raw(rawData);
  if (!data) return GlobalError();
  if (versionHigh || versionLow) {
    fresh.versionHigh = versionHigh;
    fresh.versionLow = versionLow;
  }
  return WriteFileData(data, found, &fresh);
}

int CVrkAdvance::WriteFileData(const void* data, AdvanceBlockEntry* entry,
                               AdvanceBlockEntry* newEntry) {
  if (m_bReadOnly) return SetError(VRKERR_READ_ONLY);
  if (!data) return SetError(VRKERR_NULL_BUFFER);
  if (!entry || !newEntry) return SetError(VRKERR_NULL_BLOCK);
  if (m_hPacket == kInvalidFile) return SetError(VRKERR_NOT_OPEN);
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER);
  if (m_pBlockTable && entry >= m_pBlockTable && entry < m_pBlockTable + m_nTableSize)
    TouchBlock(static_cast<uint32_t>(entry - m_pBlockTable));
  int rc;
  if (newEntry->storedSize > entry->storedSize) {
    // Does not fit: append; the old record becomes waste.
    const uint32_t end = ArchiveEnd();
    if (end == kFileFailure) return SetError(VRKERR_DATA_IO);
    rc = WriteRecord(end, data, newEntry->storedSize);
    if (rc != VRKERR_OK) return SetError(rc);
    m_pHeader->wastedBytes = SaturatingAdd(m_pHeader->wastedBytes, entry->storedSize);
    *entry = *newEntry;
    entry->offset = end;
  } else {
    newEntry->offset = entry->offset;
    rc = WriteRecord(entry->offset, data, newEntry->storedSize);
    if (rc != VRKERR_OK) return SetError(rc);
    *entry = *newEntry;
  }
  return SetError(VRKERR_OK);
}

int CVrkAdvance::AddFileFromMemory(const char* name, unsigned int flags,
                                   const void* data, unsigned int size,
                                   unsigned int versionHigh,
                                   unsigned int versionLow) {
  unsigned int hash[3];
  int rc = CheckNamedAdd(name, hash);
  if (rc != VRKERR_OK) return SetError(rc);
  if (!data) return SetError(VRKERR_NULL_BUFFER);
  if ((flags & kAddCompress) && m_pCompressor) {
    const unsigned char* packed = m_pCompressor->CompressBuffer(data, size);
    rc = AddCompressedFile(name, flags, packed, packed ? m_pCompressor->m_nStoredSize : 0,
                           size, versionHigh, versionLow);
    return rc < 0 ? rc : SetError(VRKERR_OK);
  }
  // The bytes go in as they are: the record written below is not compressed.
  m_nStoredFileFlags = 0;
  rc = AddCompressedFile(name, flags, data, size, size, versionHigh, versionLow);
  m_nStoredFileFlags = kFileCompressed;
  return rc < 0 ? rc : SetError(VRKERR_OK);
}

int CVrkAdvance::AddCompressedFile(const char* name, unsigned int flags,
                                   const void* data, unsigned int storedSize,
                                   unsigned int originalSize,
                                   unsigned int versionHigh,
                                   unsigned int versionLow) {
  unsigned int hash[3];
  int rc = CheckNamedAdd(name, hash);
  if (rc != VRKERR_OK) return SetError(rc);
  if (!data) return SetError(VRKERR_NULL_BUFFER);
  if (FindBlock(name, kNone))
    return ReplaceCompressedFile(name, flags, data, storedSize, originalSize,
                                 versionHigh, versionLow);
  return AddNewCompressedFile(name, data, storedSize, originalSize, versionHigh,
                              versionLow);
}

int CVrkAdvance::AddNewCompressedFile(const char* name, const void* data,
                                      unsigned int storedSize,
                                      unsigned int originalSize,
                                      unsigned int versionHigh,
                                      unsigned int versionLow) {
  unsigned int hash[3];
  int rc = CheckNamedAdd(name, hash);
  if (rc != VRKERR_OK) return SetError(rc);
  if ((rc = EnsureNames()) != VRKERR_OK) return rc;
  rc = AddNewCompressedFileByHash(hash, data, storedSize, originalSize,
                                  versionHigh, versionLow);
  if (rc < 0) return rc;
  ListFileAdd(name);
  return SetError(VRKERR_OK);
}

int CVrkAdvance::ReplaceCompressedFile(const char* name, unsigned int flags,
                                       const void* data, unsigned int storedSize,
                                       unsigned int originalSize,
                                       unsigned int versionHigh,
                                       unsigned int versionLow) {
  unsigned int hash[3];
  int rc = CheckNamedAdd(name, hash);
  if (rc != VRKERR_OK) return SetError(rc);
  return ReplaceCompressedFileByHash(hash, flags, data, storedSize, originalSize,
                                     versionHigh, versionLow);
}

int CVrkAdvance::AddCompressedFileByHash(const unsigned int* hash,
                                         unsigned int flags, const void* data,
                                         unsigned int storedSize,
                                         unsigned int originalSize,
                                         unsigned int versionHigh,
                                         unsigned int versionLow) {
  if (int rc = CheckHashedChange(hash)) return SetError(rc);
  if (!data) return SetError(VRKERR_NULL_BUFFER);
  if (FindBlockByHash(hash[0], hash[1], hash[2], kNone))
    return ReplaceCompressedFileByHash(hash, flags, data, storedSize, originalSize,
                                       versionHigh, versionLow);
  return AddNewCompressedFileByHash(hash, data, storedSize, originalSize,
                                    versionHigh, versionLow);
}

int CVrkAdvance::AddStoredFileByHash(const unsigned int* hash, unsigned int flags,
                                     unsigned int fileFlags, const void* data,
                                     unsigned int storedSize, unsigned int originalSize,
                                     unsigned int versionHigh, unsigned int versionLow,
                                     const uint32_t* crc) {
  m_nStoredFileFlags = fileFlags & kFileCompressed;
  m_pKnownCrc = crc;
  const int rc = AddCompressedFileByHash(hash, flags, data, storedSize, originalSize,
                                         versionHigh, versionLow);
  m_pKnownCrc = nullptr;
  m_nStoredFileFlags = kFileCompressed;
  return rc;
}

int CVrkAdvance::AddNewCompressedFileByHash(const unsigned int* hash,
                                            const void* data,
                                            unsigned int storedSize,
                                            unsigned int originalSize,
                                            unsigned int versionHigh,
                                            unsigned int versionLow) {
  if (int rc = CheckHashedChange(hash)) return SetError(rc);
  if (!data) return SetError(VRKERR_NULL_BUFFER);
  if (m_hPacket == kInvalidFile) return SetError(VRKERR_NOT_OPEN);
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER);
  if (!m_pBlockTable) return SetError(VRKERR_NO_BLOCK_TABLE);
  const uint32_t end = ArchiveEnd();
  if (end == kFileFailure) return SetError(VRKERR_SEEK);
  if (!RecordFits(end, storedSize))
    return SetError(VRKERR_DATA_IO);

  unsigned int slot = 0;
  int rc = InsertHashEntry(hash[0], hash[1], hash[2], nullptr, &slot);
  if (rc < 0) return rc;
  const uint32_t index = m_pHeader->blockCount;
  m_pHashTable[slot].blockIndex = index;
  AdvanceBlockEntry& e = m_pBlockTable[index];
  TouchBlock(index);
  std::memset(&e, 0, sizeof(e));
  e.hashIndex = slot;
  e.offset = end;
  e.storedSize = storedSize;
  e.originalSize = originalSize;
  e.flags = m_nStoredFileFlags;
  const bool given = versionHigh || versionLow;
  e.versionHigh = given ? versionHigh : m_pHeader->versionHigh;
  e.versionLow = given ? versionLow : m_pHeader->versionLow;
  rc = WriteRecord(end, data, storedSize);
  if (rc != VRKERR_OK) {
    AbandonInsertion(slot);
    return SetError(rc);
  }
  ++m_pHeader->blockCount;
  ++m_pHeader->fileCount;
  return SetError(VRKERR_OK);
}

int CVrkAdvance::ReplaceCompressedFileByHash(const unsigned int* hash,
                                             unsigned int flags, const void* data,
                                             unsigned int storedSize,
                                             unsigned int originalSize,
                                             unsigned int versionHigh,
                                             unsigned int versionLow) {
  if (int rc = CheckHashedChange(hash)) return SetError(rc);
  if (m_hPacket == kInvalidFile) return SetError(VRKERR_NOT_OPEN);
  AdvanceBlockEntry* found = FindBlockByHash(hash[0], hash[1], hash[2], kNone);
  if (!found) return GlobalError();
  if (versionLow <= found->versionLow && !(flags & kAddForce)) return SetError(VRKERR_OK);
  AdvanceBlockEntry fresh = *found;
  fresh.versionHigh = versionHigh;
  fresh.versionLow = versionLow;
  fresh.flags = m_nStoredFileFlags;
  fresh.storedSize = storedSize;
  fresh.originalSize = originalSize;
  fresh.fileTimeLow = 0;
  fresh.fileTimeHigh = 0;
  return WriteFileData(data, found, &fresh);
}

}  // namespace orvel
