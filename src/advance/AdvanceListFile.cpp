// The name list: adding and removing lower-cased names, and writing it
// compressed into the list side file.
#include <cstring>

#include "advance/VrkAdvance.h"
#include "codec/CompressBuffer.h"
#include "codec/PackedTextCache.h"
#include "codec/TablePieces.h"
#include "codec/FileNameList.h"
#include "codec/checksum_crc.h"
#include "frame/ErrorCode.h"

namespace orvel {

namespace {

void LowerAscii(char* s) {
  for (; *s; ++s)
    if (*s >= 'A' && *s <= 'Z') *s = static_cast<char>(*s + 32);
}

}  // namespace

unsigned int CVrkAdvance::GetListText(char** text) {
  if (!text) return SetError(VRKERR_NULL_BUFFER), 0;
  Refresh();
  if (!m_pNameList) return SetError(VRKERR_NO_LIST_FILE), 0;
  if (EnsureNames() != VRKERR_OK) return 0;
  *text = m_pNameList->m_szBuffer;
  return m_pNameList->m_szBuffer ? static_cast<unsigned>(m_pNameList->m_nBufferSize) : 0;
}

void CVrkAdvance::ListFileAdd(const char* name) {
  if (!name) return (void)SetError(VRKERR_NULL_NAME);
  // Names still on disk come in first: one added to the empty list in their
  // place would be lost when the commit reads them or keeps the file.
  if (EnsureNames() != VRKERR_OK) return;
  char* copy = HeapStrDup(name);
  if (!copy) return (void)SetError(VRKERR_NO_MEMORY);
  LowerAscii(copy);
  m_bListOnDisk = false;
  // The list grows geometrically, so n additions cost O(n) in all.
  if (m_pNameList) m_pNameList->AddName(copy);
  HeapStrFree(copy);
}

void CVrkAdvance::ListFileRemove(const char* name) {
  if (!name) return (void)SetError(VRKERR_NULL_NAME);
  if (EnsureNames() != VRKERR_OK) return;
  char* copy = HeapStrDup(name);
  if (!copy) return (void)SetError(VRKERR_NO_MEMORY);
  LowerAscii(copy);
  m_bListOnDisk = false;
  if (m_pNameList) m_pNameList->RemoveName(copy);
  HeapStrFree(copy);
}

int CVrkAdvance::WriteListFile(const char* listPath) {
  char* text = nullptr;
  const uint32_t length = GetListText(&text);
  if (length == 0 || !text) return SetError(VRKERR_NO_LIST_FILE), 0;
  if (!m_pCompressor) return SetError(VRKERR_NO_COMPRESSOR), 0;
  if (m_hListFile == kInvalidFile) {
    if (!listPath) return SetError(VRKERR_NOT_OPEN), 0;
    m_hListFile = CreateDiskFile(listPath, kAttrWriteThrough);
    if (m_hListFile == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  }
  AdvanceBlockEntry* entry =
      FindBlockByHash(m_aListFileHash[0], m_aListFileHash[1], m_aListFileHash[2], kNone);
  if (!entry) return 0;
  // The names are those the list side file holds: when its record would
  // come out the same too, the file stays as it is. (The packed text cache's
  // bench switch turned off shows the list written as before.)
  if (PackedTextCacheEnabled() && m_listRecord.originalSize == uint64_t{length} + 1 &&
      ListFileStands(*entry)) {
    KeepListFile(entry);
    return SetError(VRKERR_OK), 1;
  }
  m_bListOnDisk = false;
  m_bListUntouched = false;
  // The text is followed by a NUL byte, which is stored with it.
  uint32_t packedSize = 0;
  const unsigned char* packed = m_listCache.Pack(*m_pCompressor, text, length + 1, &packedSize);
  if (!packed) return SetError(VRKERR_LIST_FILE_IO), 0;
  const AdvanceBlockEntry before = *entry;
  entry->flags |= kFileCompressed;
  entry->offset = kListRecordSize;
  entry->originalSize = length + 1;
  entry->storedSize = packedSize;
  // The tables are written already: the change reaches them next commit.
  if (std::memcmp(&before, entry, sizeof before) != 0)
    TouchBlock(static_cast<uint32_t>(entry - m_pBlockTable));

  unsigned char record[kListRecordSize];
  std::memcpy(record, entry, sizeof(AdvanceBlockEntry));
  const uint32_t recordCrc = Crc32(record, sizeof(AdvanceBlockEntry));
  std::memcpy(record + sizeof(AdvanceBlockEntry), &recordCrc, 4);
  uint32_t written = WriteDiskFileAt(m_hListFile, record, kListRecordSize, 0);
  if (written != kListRecordSize)
    return SetError(written < sizeof(AdvanceBlockEntry) ? VRKERR_LIST_FILE_IO
                                                        : VRKERR_CHECKSUM_IO), 0;
  const uint32_t stored = entry->storedSize;
  if (stored && WriteDiskFileAt(m_hListFile, packed, stored, kListRecordSize) != stored)
    return SetError(VRKERR_LIST_FILE_IO), 0;
  const uint32_t dataCrc = Crc32(packed, stored);
  if (WriteDiskFileAt(m_hListFile, &dataCrc, 4, kListRecordSize + stored) != 4)
    return SetError(VRKERR_CHECKSUM_IO), 0;
  m_listRecord = *entry;
  m_bListOnDisk = true;
  return SetError(VRKERR_OK), 1;
}

bool CVrkAdvance::ListFileStands(const AdvanceBlockEntry& entry) const {
  // (The bench switch turned off shows the list written as before.)
  if (!m_bListOnDisk || !TablePiecesEnabled()) return false;
  AdvanceBlockEntry next = entry;
  next.flags |= kFileCompressed;
  next.offset = kListRecordSize;
  next.originalSize = m_listRecord.originalSize;
  next.storedSize = m_listRecord.storedSize;
  return std::memcmp(&next, &m_listRecord, sizeof next) == 0;
}

void CVrkAdvance::KeepListFile(AdvanceBlockEntry* entry) {
  if (std::memcmp(entry, &m_listRecord, sizeof *entry) != 0) {
    *entry = m_listRecord;
    // The tables are written already: the change reaches them next commit.
    TouchBlock(static_cast<uint32_t>(entry - m_pBlockTable));
  }
  m_bListUntouched = true;
}

}  // namespace orvel
