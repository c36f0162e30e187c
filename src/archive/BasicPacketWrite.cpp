// Creating an archive and bringing its tables to disk: the update bracket,
// the version setters and the writers of signature, header, list file, block
// table (scrambled when asked) and hash table. Each commit point flushes the
// file before it reports success.
#include <cstring>

#include "archive/BasicPacket.h"
#include "archive/BlockScramble.h"
#include "frame/Callbacks.h"
#include "frame/ErrorCode.h"

namespace orvel {

int COrvelPacket::CreatePacket(const char* path, unsigned int flags, unsigned int tableSize,
                               unsigned int versionHigh, unsigned int versionLow) {
  if (!path) return SetError(VRKERR_NULL_PATH), 0;
  if (!m_pCompressor) return SetError(VRKERR_NO_COMPRESSOR), 0;
  // Larger tables would overflow 32-bit byte counts; smaller ones cannot
  // hold the list file and a name.
  if (tableSize > basic::kMaxTableSize) return SetError(VRKERR_NO_MEMORY), 0;
  if (tableSize < 2) tableSize = 2;
  const size_t length = strnlen(path, basic::kMaxPath);
  if (length >= basic::kMaxPath) return SetError(VRKERR_CREATE_FILE), 0;

  m_bScramble = (flags & basic::kFlagScrambleMask) ? 1 : 0;
  char copy[basic::kMaxPath];  // `path` may be m_szPath itself
  std::memcpy(copy, path, length + 1);
  std::memcpy(m_szPath, copy, length + 1);
  GetPathDirectory(m_szPath, m_szDir);
  ClosePacket();
  // Changes of a bracket open on the old archive are dropped with it.
  if (m_guard.InBracket()) m_guard.EndBracket();
  if (!NameGuardedFiles()) return SetError(VRKERR_CREATE_FILE), 0;
  const int rc = m_guard.BeginCreate();
  if (rc != VRKERR_OK) {
    m_guard.EndBracket();
    return SetError(rc), 0;
  }
  if (CreateFiles(versionHigh, versionLow, tableSize) && m_guard.Commit()) {
    m_guard.Remember(DiskFingerprint(), ReadGeneration());
    m_guard.EndBracket();
    // A bracket still open goes on with the new archive, holding it.
    if (m_nUpdateCount > 0) m_nBracketError = StartBracket();
    return SetError(VRKERR_OK), 1;
  }
  // Nothing of a failed creation stays: the files are as they were.
  const int code = GlobalError() != VRKERR_OK ? GlobalError() : VRKERR_CREATE_FILE;
  ClosePacket();
  m_guard.RollBack();
  m_guard.EndBracket();
  return SetError(code), 0;
}

// The files of a new archive, written under the creation's journal.
int COrvelPacket::CreateFiles(unsigned int versionHigh, unsigned int versionLow,
                              unsigned int tableSize) {
  SetTableSize(tableSize);
  if (!AllocTables()) return SetError(VRKERR_NO_MEMORY), 0;

  m_pHeader = static_cast<basic::PacketHeader*>(VrkAlloc(sizeof(basic::PacketHeader)));
  if (!m_pHeader) return SetError(VRKERR_NO_MEMORY), 0;
  std::memset(m_pHeader, 0, sizeof *m_pHeader);
  m_pHeader->tableSize = m_nTableSize;
  m_pHeader->flags = m_bScramble ? basic::kFlagScrambled : 0;
  m_pHeader->versionHigh = versionHigh;
  m_pHeader->versionLow = versionLow;

  m_hFile = CreateDiskFile(m_szPath, kAttrWriteThrough);
  if (m_hFile == kInvalidFile) return SetError(VRKERR_CREATE_FILE), 0;
  if (!WriteSignature(m_hFile)) return 0;
  if (!ListFileAdd(basic::kListFileName)) return SetError(VRKERR_NO_MEMORY), 0;
  if (!CreateListFileEntry()) return 0;
  if (CommitTables(m_hFile, basic::kDataStart) != VRKERR_OK) return 0;

  CloseDiskFile(m_hFile);
  m_hFile = OpenDiskFileEx(m_szPath, kModeReadWriteShared, kAttrWriteThrough);
  if (m_hFile == kInvalidFile) return SetError(VRKERR_OPEN_FILE), 0;
  SetError(VRKERR_OK);
  return 1;
}

void COrvelPacket::BeginUpdate() {
  // The outermost bracket holds the archive against other writers.
  if (m_nUpdateCount++ == 0) m_nBracketError = StartBracket();
}

int COrvelPacket::EndUpdate() {
  if (CheckWritable() != VRKERR_OK) return VRKERR_READ_ONLY;
  if (m_nUpdateCount == 0) return SetError(VRKERR_NOT_UPDATING);
  if (--m_nUpdateCount > 0) return SetError(VRKERR_OK);
  if (m_nBracketError != VRKERR_OK) {
    const int rc = m_nBracketError;
    m_nBracketError = VRKERR_OK;
    return SetError(rc);
  }
  if (m_hFile == kInvalidFile) return FinishBracket(VRKERR_NOT_OPEN);
  if (!m_pHeader) return FinishBracket(VRKERR_NO_HEADER);
  if (!m_pBlockTable) return FinishBracket(VRKERR_NO_BLOCK_TABLE);
  if (!m_pHashTable) return FinishBracket(VRKERR_NO_HASH_TABLE);
  const BlockEntry* list = ListFileBlock();
  if (!list) return FinishBracket(VRKERR_NO_LIST_FILE);
  return FinishBracket(CommitTables(m_hFile, list->offset));
}

// Writes the list file at `listOffset`, the block table behind it, the hash
// table behind that and the header, then flushes: the file is a consistent
// archive afterwards. 0 or the failing step's code.
int COrvelPacket::CommitTables(FileHandle file, uint32_t listOffset) {
  if (!WriteListFile(file, listOffset)) return GlobalError();
  const BlockEntry* list = ListFileBlock();
  if (!list) return SetError(VRKERR_NO_LIST_FILE);
  m_pHeader->blockTableOffset = list->offset + list->storedSize;
  const uint32_t hashOffset = WriteBlockTable(file);
  if (hashOffset == 0) return GlobalError();
  m_pHeader->hashTableOffset = hashOffset;
  if (!WriteHashTable(file, hashOffset)) return GlobalError();
  if (!WriteHeader(file)) return GlobalError();
  if (!FlushDiskFile(file)) return SetError(VRKERR_HEADER_IO);
  return SetError(VRKERR_OK);
}

void COrvelPacket::SetFileVersion(const char* name, unsigned int versionHigh,
                                  unsigned int versionLow) {
  if (!name) {
    SetError(VRKERR_NULL_NAME);
    return;
  }
  if (m_nUpdateCount > 0 && m_nBracketError != VRKERR_OK) {
    SetError(m_nBracketError);
    return;
  }
  BlockEntry* b = FindBlock(name, kNone);
  if (!b) return;
  b->versionHigh = versionHigh;
  b->versionLow = versionLow;
  SetError(VRKERR_OK);
}

void COrvelPacket::SetPacketVersion(unsigned int versionHigh, unsigned int versionLow) {
  if (CheckWritable() != VRKERR_OK) return;
  if (!m_pHeader) {
    SetError(VRKERR_NO_HEADER);
    return;
  }
  // Outside a bracket the stamp is a commit of its own.
  const bool own = m_nUpdateCount == 0;
  const int held = own ? StartBracket() : m_nBracketError;
  if (held != VRKERR_OK || !m_pHeader) {
    SetError(held != VRKERR_OK ? held : VRKERR_NO_HEADER);
    return;
  }
  m_pHeader->versionHigh = versionHigh;
  m_pHeader->versionLow = versionLow;
  int rc = VRKERR_OK;
  if (!WriteHeader(m_hFile)) {
    rc = GlobalError();
  } else if (!FlushDiskFile(m_hFile)) {
    rc = VRKERR_HEADER_IO;
  }
  if (own && m_guard.InBracket()) {
    FinishBracket(rc);
  } else {
    SetError(rc);
  }
}

int COrvelPacket::WriteSignature(FileHandle file) {
  if (file == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  if (WriteDiskFileAt(file, basic::kSignature, basic::kSignatureSize, 0) != basic::kSignatureSize)
    return SetError(VRKERR_SIGNATURE_IO), 0;
  return 1;
}

int COrvelPacket::WriteHeader(FileHandle file) {
  if (file == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), 0;
  const uint32_t end = GetDiskFileSize(file);
  if (end == kFileFailure) return SetError(VRKERR_SEEK), 0;
  m_pHeader->fileSize = end;
  if (WriteDiskFileAt(file, m_pHeader, sizeof *m_pHeader, basic::kHeaderOffset) !=
      sizeof *m_pHeader)
    return SetError(VRKERR_HEADER_IO), 0;
  return 1;
}

// The list file's entries in a new archive: its hash entry at its home index
// and the first block entry, with the compressed size of the list text.
int COrvelPacket::CreateListFileEntry() {
  if (!m_pCompressor) return SetError(VRKERR_NO_COMPRESSOR), 0;
  if (!m_szListText) return SetError(VRKERR_NO_LIST_FILE), 0;
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), 0;
  if (!m_pBlockTable) return SetError(VRKERR_NO_BLOCK_TABLE), 0;
  if (!m_pHashTable) return SetError(VRKERR_NO_HASH_TABLE), 0;
  uint32_t index = 0;
  if (InsertHashEntry(m_aListFileHash, &index) != VRKERR_OK) return 0;
  BlockEntry& b = m_pBlockTable[m_pHeader->ringNext];
  b.hashIndex = index;
  b.flags |= basic::kFileCompressed;
  if (!m_pCompressor->CompressBuffer(m_szListText, m_nListLength + 1)) {
    RemoveHashEntry(index);
    b = BlockEntry{};
    return SetError(VRKERR_LIST_FILE_IO), 0;
  }
  b.offset = basic::kDataStart;
  b.originalSize = m_pCompressor->m_nOriginalSize;
  b.storedSize = m_pCompressor->m_nStoredSize;
  m_pHeader->ringNext = (m_pHeader->ringNext + 1) & m_nTableMask;
  ++m_pHeader->fileCount;
  return 1;
}

int COrvelPacket::WriteListFile(FileHandle file, uint32_t offset) {
  if (file == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  if (!m_pCompressor) return SetError(VRKERR_NO_COMPRESSOR), 0;
  if (!m_szListText) return SetError(VRKERR_NO_LIST_FILE), 0;
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), 0;
  if (!m_pBlockTable) return SetError(VRKERR_NO_BLOCK_TABLE), 0;
  if (!m_pHashTable) return SetError(VRKERR_NO_HASH_TABLE), 0;
  BlockEntry* list = ListFileBlock();
  if (!list) return SetError(VRKERR_NO_LIST_FILE), 0;
  uint32_t stored = 0;
  const unsigned char* out =
      m_listCache.Pack(*m_pCompressor, m_szListText, m_nListLength + 1, &stored);
  if (!out) return SetError(VRKERR_LIST_FILE_IO), 0;
  if (uint64_t{offset} + stored >= kFileFailure) return SetError(VRKERR_LIST_FILE_IO), 0;
  list->flags |= basic::kFileCompressed;
  list->offset = offset;
  list->originalSize = m_nListLength + 1;
  list->storedSize = stored;
  if (WriteDiskFileAt(file, out, stored, offset) != stored) return SetError(VRKERR_LIST_FILE_IO), 0;
  return 1;
}

bool COrvelPacket::ScrambleBlockTable() {
  if (!m_pHeader || !m_pBlockTable) return false;
  if (!m_pScrambledBlocks || m_nScrambledEntries < m_nTableSize) {
    VrkFree(m_pScrambledBlocks);
    m_nScrambledEntries = 0;
    m_pScrambledBlocks =
        static_cast<BlockEntry*>(VrkAlloc(size_t{m_nTableSize} * sizeof(BlockEntry)));
    if (!m_pScrambledBlocks) return false;
    m_nScrambledEntries = m_nTableSize;
  }
  basic::ScrambleBlockRing(m_pBlockTable, m_pScrambledBlocks, m_nTableSize, m_pHeader->ringFirst,
                           m_pHeader->fileCount);
  return true;
}

// Returns the file position just after the table, or 0.
uint32_t COrvelPacket::WriteBlockTable(FileHandle file) {
  if (file == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), 0;
  if (!m_pBlockTable) return SetError(VRKERR_NO_BLOCK_TABLE), 0;
  basic::PacketHeader& h = *m_pHeader;
  const uint64_t end = uint64_t{h.blockTableOffset} + uint64_t{h.fileCount} * sizeof(BlockEntry);
  if (end >= kFileFailure) return SetError(VRKERR_HEADER_IO), 0;
  if (m_bScramble && !ScrambleBlockTable()) {
    // Without memory for the scrambled copy the table is written plain.
    m_bScramble = 0;
    h.flags &= ~basic::kFlagScrambled;
  }
  const BlockEntry* source = m_bScramble ? m_pScrambledBlocks : m_pBlockTable;
  FireCallback(VRKCB_WRITE_BLOCK_TABLE, this, static_cast<int>(h.fileCount),
               static_cast<int>(h.fileCount));
  const uint32_t first =
      m_nTableSize - h.ringFirst < h.fileCount ? m_nTableSize - h.ringFirst : h.fileCount;
  const uint32_t firstBytes = first * static_cast<uint32_t>(sizeof(BlockEntry));
  const uint32_t restBytes = (h.fileCount - first) * static_cast<uint32_t>(sizeof(BlockEntry));
  if (WriteDiskFileAt(file, &source[h.ringFirst], firstBytes, h.blockTableOffset) != firstBytes ||
      WriteDiskFileAt(file, source, restBytes, h.blockTableOffset + firstBytes) != restBytes)
    return SetError(VRKERR_BLOCK_TABLE_IO), 0;
  return static_cast<uint32_t>(end);
}

int COrvelPacket::WriteHashTable(FileHandle file, uint32_t offset) {
  const uint32_t bytes = m_nTableSize * static_cast<uint32_t>(sizeof(HashEntry));
  if (!m_pHashTable || uint64_t{offset} + bytes >= kFileFailure ||
      WriteDiskFileAt(file, m_pHashTable, bytes, offset) != bytes)
    return SetError(VRKERR_HASH_TABLE_IO), 0;
  return 1;
}

}  // namespace orvel
