// Opening a basic archive: signature, header, block ring, hash table, list
// text and patch list. Everything read is checked before it is used, so a
// damaged or hostile file fails the open instead of steering later reads or
// writes outside the tables or the file.
#include <cstring>

#include "archive/BasicPacket.h"
#include "archive/BlockScramble.h"
#include "archive/HashChain.h"
#include "codec/ListBudget.h"
#include "frame/ErrorCode.h"

namespace orvel {

int COrvelPacket::OpenFailed(int code) {
  ClosePacket();
  SetError(code);
  return 0;
}

// Opens with the lock held (or inside a bracket); see BasicPacketGuard.cpp.
int COrvelPacket::OpenPacketLocked(const char* path) {
  if (!path) return SetError(VRKERR_NULL_PATH), 0;
  const size_t length = strnlen(path, basic::kMaxPath);
  if (length >= basic::kMaxPath) return OpenFailed(VRKERR_OPEN_FILE);
  char copy[basic::kMaxPath];  // `path` may be m_szPath itself
  std::memcpy(copy, path, length + 1);
  std::memcpy(m_szPath, copy, length + 1);
  GetPathDirectory(m_szPath, m_szDir);
  ClosePacket();

  m_hFile = OpenDiskFileEx(m_szPath, kModeReadWriteShared, kAttrWriteThrough);
  if (m_hFile == kInvalidFile) {
    // A file that cannot be written opens for reading, letting others read
    // but not write; every change then fails with -42.
    m_hFile = OpenDiskFileEx(m_szPath, kModeReadShared, kAttrNormal);
    if (m_hFile == kInvalidFile) return SetError(VRKERR_OPEN_FILE), 0;
    m_bReadOnly = true;
  }

  unsigned char signature[basic::kSignatureSize];
  if (ReadDiskFileAt(m_hFile, signature, sizeof signature, 0) != sizeof signature ||
      std::memcmp(signature, basic::kSignature, sizeof signature) != 0)
    return OpenFailed(VRKERR_BAD_SIGNATURE);

  m_pHeader = static_cast<basic::PacketHeader*>(VrkAlloc(sizeof(basic::PacketHeader)));
  if (!m_pHeader) return OpenFailed(VRKERR_NO_MEMORY);
  if (ReadDiskFileAt(m_hFile, m_pHeader, sizeof *m_pHeader, basic::kHeaderOffset) !=
      sizeof *m_pHeader)
    return OpenFailed(VRKERR_NO_HEADER);

  const basic::PacketHeader& h = *m_pHeader;
  const uint32_t size = h.tableSize;
  if (size < 2 || size > basic::kMaxTableSize || (size & (size - 1)) != 0)
    return OpenFailed(VRKERR_BAD_SIGNATURE);
  if (h.fileCount > size || h.ringFirst >= size || h.ringNext >= size ||
      ((h.ringFirst + h.fileCount) & (size - 1)) != h.ringNext)
    return OpenFailed(VRKERR_BAD_SIGNATURE);
  if (h.blockTableOffset < basic::kDataStart || h.hashTableOffset < basic::kDataStart)
    return OpenFailed(VRKERR_BAD_SIGNATURE);

  // Tables that reach past the end of the file would be read short: they fail
  // with the codes of a short read, before anything is allocated for them.
  const uint32_t fileSize = GetDiskFileSize(m_hFile);
  if (fileSize == kFileFailure) return OpenFailed(VRKERR_SEEK);
  if (uint64_t{h.blockTableOffset} + uint64_t{h.fileCount} * sizeof(BlockEntry) > fileSize)
    return OpenFailed(VRKERR_BLOCK_TABLE_IO);
  if (uint64_t{h.hashTableOffset} + uint64_t{size} * sizeof(HashEntry) > fileSize)
    return OpenFailed(VRKERR_NO_HASH_TABLE);

  m_bScramble = (h.flags & basic::kFlagScrambleMask) ? 1 : 0;
  m_nTableSize = size;
  m_nTableMask = size - 1;
  if (!AllocTables()) return OpenFailed(VRKERR_NO_MEMORY);
  if (ReadBlockTable(m_hFile) == 0) return OpenFailed(LastError());
  const uint32_t hashBytes = size * static_cast<uint32_t>(sizeof(HashEntry));
  if (ReadDiskFileAt(m_hFile, m_pHashTable, hashBytes, h.hashTableOffset) != hashBytes)
    return OpenFailed(VRKERR_NO_HASH_TABLE);

  if (!TablesAreConsistent(fileSize)) return OpenFailed(LastError());
  if (!LoadListFile()) return OpenFailed(LastError());
  LoadPatchList();
  SetError(VRKERR_OK);
  return 1;
}

uint32_t COrvelPacket::ReadBlockTable(FileHandle file) {
  if (file == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), 0;
  if (!m_pBlockTable) return SetError(VRKERR_NO_BLOCK_TABLE), 0;
  const basic::PacketHeader& h = *m_pHeader;
  if (h.fileCount > m_nTableSize || h.ringFirst >= m_nTableSize)
    return SetError(VRKERR_BLOCK_TABLE_IO), 0;
  const uint64_t end = uint64_t{h.blockTableOffset} + uint64_t{h.fileCount} * sizeof(BlockEntry);
  if (end >= kFileFailure) return SetError(VRKERR_SEEK), 0;

  // The ring is stored from ringFirst on; past the table's end it wraps to 0.
  const uint32_t first =
      m_nTableSize - h.ringFirst < h.fileCount ? m_nTableSize - h.ringFirst : h.fileCount;
  const uint32_t firstBytes = first * static_cast<uint32_t>(sizeof(BlockEntry));
  const uint32_t restBytes = (h.fileCount - first) * static_cast<uint32_t>(sizeof(BlockEntry));
  if (ReadDiskFileAt(file, &m_pBlockTable[h.ringFirst], firstBytes, h.blockTableOffset) !=
          firstBytes ||
      ReadDiskFileAt(file, m_pBlockTable, restBytes, h.blockTableOffset + firstBytes) != restBytes)
    return SetError(VRKERR_BLOCK_TABLE_IO), 0;
  if (m_bScramble)
    basic::UnscrambleBlockRing(m_pBlockTable, m_nTableSize, h.ringFirst, h.fileCount);
  SetError(VRKERR_OK);
  return static_cast<uint32_t>(end);
}

// The structure that every later operation relies on: each used block entry
// and used hash entry name each other, free hash entries are all 0xFF, every
// chain starts at its home index, holds only names of that home, ends, and
// reaches every used entry; stored files lie inside the file after the header.
bool COrvelPacket::TablesAreConsistent(uint32_t fileSize) {
  const basic::PacketHeader& h = *m_pHeader;
  const uint32_t size = m_nTableSize;
  const uint32_t mask = m_nTableMask;

  uint32_t block = h.ringFirst;
  for (uint32_t k = 0; k < h.fileCount; ++k) {
    const BlockEntry& b = m_pBlockTable[block];
    if (b.hashIndex >= size || m_pHashTable[b.hashIndex].blockIndex != block)
      return SetError(VRKERR_BAD_SIGNATURE), false;
    if (b.offset < basic::kDataStart || uint64_t{b.offset} + b.storedSize > fileSize)
      return SetError(VRKERR_BAD_SIGNATURE), false;
    block = (block + 1) & mask;
  }

  uint32_t used = 0;
  for (uint32_t i = 0; i < size; ++i) {
    const HashEntry& e = m_pHashTable[i];
    if (IsFreeEntry(e)) continue;
    ++used;
    if (!IsUsedBlock(e.blockIndex) || m_pBlockTable[e.blockIndex].hashIndex != i)
      return SetError(VRKERR_BAD_SIGNATURE), false;
  }
  if (used != h.fileCount) return SetError(VRKERR_BAD_SIGNATURE), false;
  const int chains = CheckChains(m_pHashTable, size);
  if (chains != VRKERR_OK) return SetError(chains), false;
  return true;
}

int COrvelPacket::LoadListFile() {
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), 0;
  ReleaseListText();
  // The decoded text, the list text made of it, and the cache of text and
  // stored bytes, against the bytes stored for the list.
  if (const BlockEntry* list = ListFileBlock()) {
    const uint64_t text = (list->flags & basic::kFileCompressed) ? list->originalSize
                                                                  : list->storedSize;
    if (3 * (text + 4) + 2 * uint64_t{list->storedSize} > ListMemoryBudget(list->storedSize))
      return SetError(VRKERR_NO_LIST_FILE), 0;
  }
  unsigned int size = 0;
  void* data = ReadFileAlloc(basic::kListFileName, &size, kNone);
  if (!data) return SetError(VRKERR_NO_LIST_FILE), 0;
  // The text ends at its NUL (or at the end of the content, if it has none)
  // and always ends with a line feed.
  const char* text = static_cast<const char*>(data);
  const void* nul = std::memchr(text, 0, size);
  const uint32_t length = nul ? static_cast<uint32_t>(static_cast<const char*>(nul) - text) : size;
  const bool addLineFeed = length == 0 || text[length - 1] != '\n';
  const bool ok = ReserveListText(length + 1);
  if (ok) {
    std::memcpy(m_szListText, text, length);
    m_nListLength = length;
    if (addLineFeed) m_szListText[m_nListLength++] = '\n';
    m_szListText[m_nListLength] = '\0';
  }
  // When the stored text is exactly what a commit would compress, its
  // stored bytes are what that compression gives: a commit that leaves the
  // names as they are writes them again instead of compressing anew.
  const BlockEntry* list = ListFileBlock();
  if (ok && nul && !addLineFeed && size == m_nListLength + 1 && list &&
      (list->flags & basic::kFileCompressed)) {
    unsigned char* stored = m_readScratch.For(list->storedSize, list->offset);
    if (stored && ReadDiskFileAt(m_hFile, stored, list->storedSize, list->offset) ==
                      list->storedSize)
      m_listCache.Keep(m_szListText, m_nListLength + 1, stored, list->storedSize);
  }
  FreeBuffer(data);
  if (!ok) return SetError(VRKERR_NO_MEMORY), 0;
  SetError(VRKERR_OK);
  return 1;
}

int COrvelPacket::LoadPatchList() {
  const BlockEntry* b = FindBlock(basic::kPatchListName, kNone);
  if (!b) return SetError(VRKERR_NO_PATCH_LIST), 0;
  if (!m_pPatchList || m_nPatchListCapacity < b->storedSize) {
    void* grown = VrkAlloc(uint64_t{b->storedSize} + 16);
    if (!grown) return SetError(VRKERR_NO_PATCH_LIST), 0;
    VrkFree(m_pPatchList);
    m_pPatchList = static_cast<unsigned char*>(grown);
    m_nPatchListCapacity = b->storedSize;
    std::memset(m_pPatchList, 0, uint64_t{m_nPatchListCapacity} + 16);
  }
  const uint64_t room = uint64_t{m_nPatchListCapacity} + 16;
  const int bufferSize = room > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(room);
  if (ReadFileTo(basic::kPatchListName, m_pPatchList, bufferSize, kNone) == 0)
    return SetError(VRKERR_NO_PATCH_LIST), 0;
  std::memcpy(&m_nPatchListWord, m_pPatchList, sizeof m_nPatchListWord);
  SetError(VRKERR_OK);
  return 1;
}

}  // namespace orvel
