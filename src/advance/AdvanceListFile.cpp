// The name list: adding and removing lower-cased names, and writing it
// compressed into the list side file.
#include <cstring>
#include <memory>

#include "advance/VrkAdvance.h"
#include "codec/CompressBuffer.h"
#include "codec/FileNameList.h"
#include "codec/checksum_crc.h"
#include "frame/ErrorCode.h"

namespace orvel {

namespace {

void LowerAscii(char* s) {
  for (; *s; ++s)
    if (*s >= 'A' && *s <= 'Z') *s = static_cast<char>(*s + 32);
}

// The list grows its index by 8 entries and its text by eight names at a
// time, which costs quadratic copying over many additions. Before an
// addition that would make it grow, rebuild it with twice the room, so that
// adding n names costs O(n) overall.
void MakeRoomForName(CFileNameList* list, size_t nameLength) {
  const int64_t need = list->m_nBufferSize + static_cast<int64_t>(nameLength) + 2;
  const bool indexFull = list->m_nKeyNameCount >= list->m_nMaxKeyName;
  const bool textFull = list->m_nMaxBufferSize <= need - 1;
  if ((!indexFull && !textFull) || list->m_nKeyNameCount < 16) return;
  const int64_t names = int64_t{list->m_nKeyNameCount} * 2;
  const int64_t bytes = need * 2;
  if (names > 0x7FFFFFFF || bytes > 0x7FFFFFFF) return;
  const int used = list->m_nBufferSize;
  std::unique_ptr<char, VrkFreeDeleter> copy(static_cast<char*>(VrkAlloc(used + 1)));
  if (!copy) return;
  std::memcpy(copy.get(), list->m_szBuffer, used);
  copy.get()[used] = 0;
  list->Reserve(static_cast<int>(names), static_cast<int>(bytes));
  if (list->m_nMaxKeyName < names || list->m_nMaxBufferSize < bytes) {
    // The larger arrays could not be had: the list is now empty and keeps
    // its old content through the ordinary, slower growth.
    list->Clear();
  }
  char* piece = copy.get();
  char* end = piece + used;
  while (piece < end) {
    char* lf = static_cast<char*>(std::memchr(piece, '\n', end - piece));
    char* stop = lf ? lf : end;
    *stop = 0;
    if (*piece) list->AddName(piece);
    piece = stop + 1;
  }
}

}  // namespace

unsigned int CVrkAdvance::GetListText(char** text) {
  if (!text) return SetError(VRKERR_NULL_BUFFER), 0;
  if (!m_pNameList) return SetError(VRKERR_NO_LIST_FILE), 0;
  *text = m_pNameList->m_szBuffer;
  return m_pNameList->m_szBuffer ? static_cast<unsigned>(m_pNameList->m_nBufferSize) : 0;
}

void CVrkAdvance::ListFileAdd(const char* name) {
  if (!name) return (void)SetError(VRKERR_NULL_NAME);
  char* copy = HeapStrDup(name);
  if (!copy) return (void)SetError(VRKERR_NO_MEMORY);
  LowerAscii(copy);
  if (m_pNameList) {
    MakeRoomForName(m_pNameList, std::strlen(copy));
    m_pNameList->AddName(copy);
  }
  HeapStrFree(copy);
}

void CVrkAdvance::ListFileRemove(const char* name) {
  if (!name) return (void)SetError(VRKERR_NULL_NAME);
  char* copy = HeapStrDup(name);
  if (!copy) return (void)SetError(VRKERR_NO_MEMORY);
  LowerAscii(copy);
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
  // The text is followed by a NUL byte, which is stored with it.
  const unsigned char* packed = m_pCompressor->CompressBuffer(text, length + 1);
  if (!packed) return SetError(VRKERR_LIST_FILE_IO), 0;
  entry->flags |= kFileCompressed;
  entry->offset = kListRecordSize;
  entry->originalSize = length + 1;
  entry->storedSize = m_pCompressor->m_nStoredSize;

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
  return SetError(VRKERR_OK), 1;
}

}  // namespace orvel
