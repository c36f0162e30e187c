// Opening an advanced archive: the three files, the checksummed side header
// and tables, their deciphering and structural check, and the name list.
#include <errno.h>

#include <climits>
#include <cstring>
#include <memory>

#include "advance/AdvancePaths.h"
#include "advance/AdvanceValidate.h"
#include "advance/VrkAdvance.h"
#include "codec/CompressBuffer.h"
#include "codec/FileNameList.h"
#include "codec/ListBudget.h"
#include "codec/IceCipher.h"
#include "codec/checksum_crc.h"
#include "frame/ErrorCode.h"
#include "frame/RemoteFile.h"

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

// The names and name bytes (each with its line feed) the name list takes
// for `length` bytes of list text, split as LoadListText splits them.
void MeasureListText(const char* text, uint32_t length, uint64_t* names, uint64_t* bytes) {
  *names = 0;
  *bytes = 0;
  const char* piece = text;
  const char* end = text + length;
  while (piece < end) {
    const char* lf = static_cast<const char*>(std::memchr(piece, '\n', end - piece));
    const char* stop = lf ? lf : end;
    // A NUL ends a name early, as it will when the name is added.
    const size_t n = strnlen(piece, static_cast<size_t>(stop - piece));
    if (n) {
      ++*names;
      *bytes += n + 1;
    }
    piece = stop + 1;
  }
}

// Reads `count` bytes at `offset` followed by their checksum word and checks
// it. Returns 0, `shortCode` for a short read of the bytes, -34 for a short
// read of the checksum word, or -35 for a mismatch.
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
  int rc = ReadChecked(file, table, bytes, header->blockTableOffset,
                       VRKERR_BLOCK_TABLE_IO);
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
  int rc = ReadChecked(file, table, bytes, header->hashTableOffset,
                       VRKERR_HASH_TABLE_IO);
  if (rc != VRKERR_OK) return SetError(rc), 0;
  if (m_bTablesEnciphered) DecipherBuffer(table, static_cast<int>(bytes));
  SetError(VRKERR_OK);
  return header->hashTableOffset + bytes + kChecksumSize;
}

// Opens with the lock held (or inside a bracket); see AdvanceGuard.cpp.
int CVrkAdvance::OpenPacketLocked(const char* path) {
  if (!path) return SetError(VRKERR_NULL_PATH), 0;
  const size_t length = std::strlen(path);
  if (length >= kMaxPath) return SetError(VRKERR_OPEN_FILE), 0;
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
    rc = g_nVrkErrCode;
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
      rc = g_nVrkErrCode;
    } else if (archiveSize == kFileFailure ||
               !AreValidAdvanceTables(*m_pHeader, m_pBlockTable, m_pHashTable,
                                      archiveSize, m_aListFileHash)) {
      rc = VRKERR_BAD_SIGNATURE;
    } else if (!LoadListFile(listPath)) {
      rc = g_nVrkErrCode;
    }
  }
  if (rc != VRKERR_OK) {
    // A failed open leaves the object unloaded.
    ClosePacket();
    return SetError(rc), 0;
  }
  return SetError(VRKERR_OK), 1;
}

int CVrkAdvance::LoadListFile(const char* listPath) {
  if (!listPath) return SetError(VRKERR_BAD_EXTENSION), 0;
  if (!m_pNameList) m_pNameList = new CFileNameList();
  if (!m_pNameList) return SetError(VRKERR_NO_MEMORY), 0;
  m_pNameList->Clear();
  if (m_hListFile != kInvalidFile) CloseDiskFile(m_hListFile);
  m_hListFile = OpenDiskFileEx(listPath,
                               m_bReadOnly ? kModeReadShared : kModeReadWriteShared,
                               kAttrWriteThrough | (m_bReadOnly ? kAttrSequentialScan : 0));
  if (m_hListFile == kInvalidFile && !m_bReadOnly) {
    // A list side file that is there but cannot be written makes the
    // archive read-only: no commit may write tables without their names.
    m_hListFile = OpenDiskFileEx(listPath, kModeReadShared, kAttrNormal);
    if (m_hListFile != kInvalidFile || DiskFileExists(listPath)) m_bReadOnly = 1;
  }
  // A remote list side file that is there but could not be fetched fails
  // the open: only a missing one is taken for no list.
  if (m_hListFile == kInvalidFile && IsRemotePath(listPath) && VrkLastSystemError() != ENOENT)
    return SetError(VRKERR_OPEN_FILE), 0;
  if (m_hListFile == kInvalidFile) {
    // No list side file: the archive opens with an empty name list.
    SetError(VRKERR_OPEN_FILE);
    return 1;
  }
  AdvanceBlockEntry record;
  int rc = ReadChecked(m_hListFile, &record, sizeof(record), 0,
                       VRKERR_LIST_FILE_IO);
  if (rc != VRKERR_OK) return SetError(rc), 0;

  // Sizes come from the file; check them against it before allocating.
  const uint64_t fileSize = GetDiskFileSize(m_hListFile);
  if (fileSize == kFileFailure ||
      uint64_t{record.offset} + record.storedSize > fileSize)
    return SetError(VRKERR_LIST_FILE_IO), 0;
  const uint64_t budget =
      ListMemoryBudget(uint64_t{kListRecordSize} + record.storedSize + kChecksumSize);
  uint64_t cost = uint64_t{record.storedSize} + 1;
  Block stored(static_cast<unsigned char*>(VrkAlloc(uint64_t{record.storedSize} + 1)));
  if (!stored) return SetError(VRKERR_NO_MEMORY), 0;
  rc = ReadChecked(m_hListFile, stored.get(), record.storedSize, record.offset,
                   VRKERR_LIST_FILE_IO);
  if (rc != VRKERR_OK) return SetError(rc), 0;

  Block text;
  uint32_t length = record.storedSize;
  if ((record.flags & kFileCompressed) && m_pCompressor) {
    // LZO1X expands at most about 255 to 1; a larger claim is damage. The
    // text and the cache's copies of it and of the stored bytes come next.
    cost += 2 * (uint64_t{record.originalSize} + 1) + record.storedSize;
    if (!IsPlausibleExpansion(record.storedSize, record.originalSize) || cost > budget)
      return SetError(VRKERR_LIST_FILE_IO), 0;
    text.reset(static_cast<unsigned char*>(VrkAlloc(uint64_t{record.originalSize} + 1)));
    if (!text) return SetError(VRKERR_NO_MEMORY), 0;
    if (!m_pCompressor->Decompress(stored.get(), record.storedSize,
                                   record.originalSize, text.get()))
      return SetError(VRKERR_LIST_FILE_IO), 0;
    length = record.originalSize;
    // A commit that leaves the names as they are writes these bytes again
    // instead of compressing the list anew.
    m_listCache.Keep(text.get(), length, stored.get(), record.storedSize);
  } else {
    text = std::move(stored);
  }
  text.get()[length] = 0;
  if (!LoadListText(reinterpret_cast<char*>(text.get()), length, budget - cost)) {
    m_listCache.Clear();
    return 0;
  }
  return 1;
}

int CVrkAdvance::LoadListText(char* text, uint32_t length, uint64_t room) {
  // Sized once for every name, so that taking them in never regrows.
  uint64_t names = 0;
  uint64_t bytes = 0;
  MeasureListText(text, length, &names, &bytes);
  if (names * sizeof(NameEntry) + bytes + 1 > room || bytes + 1 > INT_MAX)
    return SetError(VRKERR_LIST_FILE_IO), 0;
  m_pNameList->Reserve(names > 0 ? static_cast<int>(names) : 1,
                       static_cast<int>(bytes + 1));
  // Names are kept lower-cased; split at line feeds, skipping empty pieces.
  for (uint32_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 'A' && c <= 'Z') text[i] = static_cast<char>(c + 32);
  }
  char* piece = text;
  char* end = text + length;
  while (piece < end) {
    char* lf = static_cast<char*>(std::memchr(piece, '\n', end - piece));
    char* stop = lf ? lf : end;
    *stop = 0;
    if (*piece) m_pNameList->AddName(piece);
    piece = stop + 1;
  }
  SetError(VRKERR_OK);
  return 1;
}

}  // namespace orvel
