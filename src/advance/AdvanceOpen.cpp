// Opening an advanced archive: the three files, the checksummed side header
// and tables, their deciphering and structural check. The name list is
// read later, when a name is first needed (AdvanceListLoad.cpp).
#include <cerrno>
#include <cstring>
#include <memory>

#include "advance/AdvancePaths.h"
#include "advance/CheckedRead.h"
#include "advance/AdvanceValidate.h"
#include "advance/VrkAdvance.h"
#include "codec/IceCipher.h"
#include "codec/checksum_crc.h"
#include "frame/ErrorCode.h"

namespace orvel {

namespace {

using Block = std::unique_ptr<unsigned char, VrkFreeDeleter>;

uint32_t LoadWord(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// The code a read of `count` bytes and a checksum word at `offset` would end
// with on a file of `fileSize` bytes: 0 when both fit. Checked before the
// tables are allocated, so that a damaged count never costs an allocation
// larger than the file.
int FitCode(uint64_t fileSize, uint32_t offset, uint64_t count, int shortCode) {
  if (offset + count > fileSize) return shortCode;
  if (offset + count + kChecksumSize > fileSize) return VRKERR_CHECKSUM_IO;
  return VRKERR_OK;
}

}  // namespace

int ReadChecked(FileHandle file, void* buffer, uint32_t count, uint32_t offset,
                int shortCode) {
  if (static_cast<uint64_t>(offset) + count + kChecksumSize > 0xFFFFFFFFu)
    return shortCode;
  if (count && ReadDiskFileAt(file, buffer, count, offset) != count)
    return shortCode;
  unsigned char word[4];
  if (ReadDiskFileAt(file, word, 4, offset + count) != 4)
    return VRKERR_CHECKSUM_IO;
  if (Crc32(buffer, count) != LoadWord(word)) return VRKERR_CHECKSUM;
  return VRKERR_OK;
}

namespace {

// ReadChecked for a table of `count` entries: a writable archive also takes
// the per-piece checksums that let its commits write only what changed.
int ReadTableChecked(FileHandle file, void* table, uint32_t count, uint32_t offset,
                     int shortCode, TablePieces& pieces, bool writable) {
  if (!writable) {
    pieces.Reset();
    return ReadChecked(file, table, count * pieces.EntrySize(), offset, shortCode);
  }
  const uint32_t bytes = count * pieces.EntrySize();
  if (static_cast<uint64_t>(offset) + bytes + kChecksumSize > 0xFFFFFFFFu) return shortCode;
  if (bytes && ReadDiskFileAt(file, table, bytes, offset) != bytes) return shortCode;
  unsigned char word[4];
  if (ReadDiskFileAt(file, word, 4, offset + bytes) != 4) return VRKERR_CHECKSUM_IO;
  if (!pieces.Load(table, count, offset, LoadWord(word))) return VRKERR_CHECKSUM;
  return VRKERR_OK;
}

}  // namespace

void CVrkAdvance::DecipherBuffer(void* buffer, int length) {
  if (buffer && length >= 8) orvel::DecipherBuffer(buffer, static_cast<unsigned>(length));
}

int CVrkAdvance::ReadSideHeader(FileHandle file, AdvanceHeader** header) {
  if (!header) return 0;
  VrkFree(*header);
  *header = nullptr;
  auto* h = static_cast<AdvanceHeader*>(VrkAlloc(sizeof(AdvanceHeader)));
  if (!h) {
    SetError(VRKERR_NO_MEMORY);
    return 0;
  }
  int rc = ReadChecked(file, h, sizeof(AdvanceHeader), 0, VRKERR_HEADER_IO);
  if (rc != VRKERR_OK) {
    VrkFree(h);
    SetError(rc);
    return 0;
  }
  *header = h;
  return 1;
}

unsigned int CVrkAdvance::ReadBlockTable(FileHandle file,
                                         const AdvanceHeader* header,
                                         AdvanceBlockEntry* table) {
  if (file == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  if (!header) return SetError(VRKERR_NO_HEADER), 0;
  if (!table || header->fileCount > m_nTableSize)
    return SetError(VRKERR_NO_BLOCK_TABLE), 0;
  const uint32_t bytes = header->fileCount * uint32_t{sizeof(AdvanceBlockEntry)};
  // Entries past the used ones are zero in memory.
  std::memset(table + header->fileCount, 0,
              size_t{m_nTableSize - header->fileCount} * sizeof(AdvanceBlockEntry));
  int rc = ReadTableChecked(file, table, header->fileCount, header->blockTableOffset,
                            VRKERR_BLOCK_TABLE_IO, m_blockPieces, !m_bReadOnly);
  if (rc != VRKERR_OK) return SetError(rc), 0;
  if (m_bTablesEnciphered) DecipherBuffer(table, static_cast<int>(bytes));
  SetError(VRKERR_OK);
  return header->blockTableOffset + bytes + kChecksumSize;
}

unsigned int CVrkAdvance::ReadHashTable(FileHandle file,
                                        const AdvanceHeader* header,
                                        HashEntry* table) {
  if (file == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  if (!header) return SetError(VRKERR_NO_HEADER), 0;
  if (!table || header->tableSize != m_nTableSize)
    return SetError(VRKERR_NO_HASH_TABLE), 0;
  const uint32_t bytes = header->tableSize * uint32_t{sizeof(HashEntry)};
  int rc = ReadTableChecked(file, table, header->tableSize, header->hashTableOffset,
                            VRKERR_HASH_TABLE_IO, m_hashPieces, !m_bReadOnly);
  if (rc != VRKERR_OK) return SetError(rc), 0;
  if (m_bTablesEnciphered) DecipherBuffer(table, static_cast<int>(bytes));
  SetError(VRKERR_OK);
  return header->hashTableOffset + bytes + kChecksumSize;
}

// Opens with the lock held (or inside a bracket); see AdvanceGuard.cpp.
int CVrkAdvance::OpenPacketLocked(const char* path) {
  if (!path) return SetError(VRKERR_NULL_PATH), 0;
  const size_t length = std::strlen(path);
  // The reason is noted, lest an earlier one (a URL refused for writing)
  // explain the failure.
  if (length >= kMaxPath) return NoteSystemError(ENAMETOOLONG), SetError(VRKERR_OPEN_FILE), 0;
  std::memmove(m_szPath, path, length + 1);  // reopening passes m_szPath itself
  if (!HasArchiveExtension(m_szPath)) return SetError(VRKERR_BAD_EXTENSION), 0;
  char tablePath[kMaxPath];
  char listPath[kMaxPath];
  SidePath(kTableFileExtension, tablePath);
  SidePath(kListFileExtension, listPath);

  ClosePacket();
  m_hTableFile = OpenDiskFileEx(tablePath, kModeReadWriteShared, kAttrWriteThrough);
  m_hPacket = OpenDiskFileEx(m_szPath, kModeReadWriteShared, kAttrWriteThrough);
  if (m_hTableFile == kInvalidFile || m_hPacket == kInvalidFile) {
    // Fall back to reading only, letting others read but not write.
    ClosePacket();
    m_hTableFile = OpenDiskFileEx(tablePath, kModeReadShared, kAttrNormal | kAttrSequentialScan);
    if (m_hTableFile != kInvalidFile)
      m_hPacket = OpenDiskFileEx(m_szPath, kModeReadShared, kAttrNormal);
    if (m_hPacket == kInvalidFile) {
      ClosePacket();
      return SetError(VRKERR_OPEN_FILE), 0;
    }
    m_bReadOnly = 1;
  }

  int rc = VRKERR_OK;
  unsigned char signature[kSignatureSize];
  if (ReadDiskFileAt(m_hPacket, signature, kSignatureSize, 0) != kSignatureSize) {
    rc = VRKERR_SEEK;
  } else if (std::memcmp(signature, kMagic, 4) != 0 ||
             LoadWord(signature + 4) != kFormatVersion) {
    rc = VRKERR_BAD_SIGNATURE;
  } else if (!ReadSideHeader(m_hTableFile, &m_pHeader)) {
    rc = LastError();
  } else if (!IsValidAdvanceHeader(*m_pHeader)) {
    rc = VRKERR_BAD_SIGNATURE;
  } else {
    // Tables that start past entry 0 are never written back: rather than
    // drop every change at its commit, the archive only reads.
    if (m_pHeader->firstBlock != 0) m_bReadOnly = 1;
    m_bTablesEnciphered = (m_pHeader->flags & kAdvFlagCipherMask) != 0;
    m_nTableSize = m_pHeader->tableSize;
    m_nTableMask = m_nTableSize - 1;
    const uint32_t archiveSize = GetDiskFileSize(m_hPacket);
    const uint64_t sideSize = GetDiskFileSize(m_hTableFile);
    int fit = FitCode(sideSize, m_pHeader->blockTableOffset,
                      uint64_t{m_pHeader->fileCount} * sizeof(AdvanceBlockEntry),
                      VRKERR_BLOCK_TABLE_IO);
    if (fit == VRKERR_OK)
      fit = FitCode(sideSize, m_pHeader->hashTableOffset,
                    uint64_t{m_pHeader->tableSize} * sizeof(HashEntry),
                    VRKERR_HASH_TABLE_IO);
    if (fit != VRKERR_OK) {
      rc = fit;
    } else if (!AllocTablesUnfilled()) {
      rc = VRKERR_NO_MEMORY;
    } else if (!ReadBlockTable(m_hTableFile, m_pHeader, m_pBlockTable) ||
               !ReadHashTable(m_hTableFile, m_pHeader, m_pHashTable)) {
      rc = LastError();
    } else if (archiveSize == kFileFailure ||
               !AreValidAdvanceTables(*m_pHeader, m_pBlockTable, m_pHashTable,
                                      archiveSize, m_aListFileHash)) {
      rc = VRKERR_BAD_SIGNATURE;
    } else {
      if (!OpenListSideFile(listPath)) {
        rc = VRKERR_OPEN_FILE;
      } else if (!DeferredNameListEnabled() && EnsureNames() != VRKERR_OK) {
        rc = LastError();
      }
    }
  }
  if (rc != VRKERR_OK) {
    // A failed open leaves the object unloaded.
    ClosePacket();
    return SetError(rc), 0;
  }
  return SetError(VRKERR_OK), 1;
}

}  // namespace orvel
