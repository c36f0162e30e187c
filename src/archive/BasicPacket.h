// COrvelPacket, the basic archive: one file holding a header, the stored
// files, a block table kept as a ring (optionally scrambled) and a hash table.
// The tables live in memory and are written by the outermost EndUpdate.
//
// Sources by role: BasicPacket.cpp (object, internal slots, lookups,
// queries), BasicPacketOpen.cpp (opening and validation), BasicPacketRead.cpp
// (reading files), BasicPacketWrite.cpp (creating, update bracket, writers),
// BasicPacketAdd.cpp (adding, replacing, table growth), BasicPacketRemove.cpp
// (removal, compaction), BasicPacketList.cpp (list text, enumeration).
#ifndef ORVEL_ARCHIVE_BASIC_PACKET_H
#define ORVEL_ARCHIVE_BASIC_PACKET_H

#include <cstdint>

#include "archive/BasicFormat.h"
#include "codec/CompressBuffer.h"
#include "codec/NameHash.h"
#include "codec/PackedTextCache.h"
#include "frame/Allocation.h"
#include "frame/ArchiveGuard.h"
#include "frame/DiskFile.h"
#include "frame/ScratchBuffer.h"
#include "orvel/IOrvelPacket.h"

namespace orvel {

class COrvelPacket : public IOrvelPacket, public VrkHeapObject {
 public:
  COrvelPacket();
  ~COrvelPacket() override;
  COrvelPacket(const COrvelPacket&) = delete;
  COrvelPacket& operator=(const COrvelPacket&) = delete;

  int CreatePacket(const char* path, unsigned int flags, unsigned int tableSize,
                   unsigned int versionHigh, unsigned int versionLow) override;
  int OpenPacket(const char* path) override;
  int ReadFileTo(const char* name, void* buffer, int bufferSize, unsigned int blockIndex) override;
  void* ReadFileAlloc(const char* name, unsigned int* outSize, unsigned int blockIndex) override;
  void FreeBuffer(void* p) override;
  int ReadFileRaw(const char* name, void* buffer, unsigned int bufferSize) override;
  bool SetVerifyCheckSum(bool enable) override;
  int ExtractFile(const char* name, const char* diskPath, unsigned int blockIndex) override;
  unsigned int GetOriginalSize(const char* name, unsigned int blockIndex) override;
  unsigned int GetStoredSize(const char* name, unsigned int blockIndex) override;
  void BeginUpdate() override;
  int AddFileFromDisk(const char* name, unsigned int flags, const char* diskPath,
                      unsigned int versionHigh, unsigned int versionLow) override;
  int AddFileFromMemory(const char* name, unsigned int flags, const void* data, unsigned int size,
                        unsigned int versionHigh, unsigned int versionLow) override;
  int DeleteFileByHash(const unsigned int* hash) override;
  int DeleteFile(const char* name) override;
  int AddCompressedFileByHash(const unsigned int* hash, unsigned int flags, const void* data,
                              unsigned int storedSize, unsigned int originalSize,
                              unsigned int versionHigh, unsigned int versionLow) override;
  int AddCompressedFile(const char* name, unsigned int flags, const void* data,
                        unsigned int storedSize, unsigned int originalSize,
                        unsigned int versionHigh, unsigned int versionLow) override;
  void SetFileVersion(const char* name, unsigned int versionHigh, unsigned int versionLow) override;
  int EndUpdate() override;
  int CompactPacket() override;
  unsigned int GetFileCount() override;
  int GetFileName(unsigned int index, char* buffer, int bufferSize) override;
  unsigned int GetPacketFlags() override;
  void GetPacketVersion(unsigned int* versionHigh, unsigned int* versionLow,
                        unsigned int* baseVersion) override;
  const char* GetPacketPath() override;
  void SetPacketVersion(unsigned int versionHigh, unsigned int versionLow) override;
  int GetFileBlockIndex(const char* name) override;
  void GetFileVersion(const char* name, unsigned int* versionHigh,
                      unsigned int* versionLow) override;
  unsigned int GetFileStoredSize(const char* name) override;
  unsigned int GetFileOriginalSize(const char* name) override;
  unsigned int GetFileFlags(const char* name) override;
  int IsFileCompressed(const char* name) override;
  void GetFileHash(const char* name, unsigned int* hash0, unsigned int* hash1,
                   unsigned int* hash2) override;

  // Internal slots shared in role with the advanced archive, in this order.
  // Sets the table size to the smallest power of two not below `requested`
  // and returns the mask.
  virtual unsigned int SetTableSize(unsigned int requested);
  // Discards and reallocates both tables for the current size (hash entries
  // all 0xFF, block entries all zero). False when memory runs out.
  virtual bool AllocTables();
  virtual void InitCryptTable();
  // Releases list text, tables and header and closes the file, writing
  // nothing.
  virtual void ClosePacket();

 private:
  friend struct BasicPacketTestAccess;
  using HashEntry = basic::HashEntry;
  using BlockEntry = basic::BlockEntry;

  // Lookups (BasicPacket.cpp). Each sets g_nVrkErrCode.
  bool HashLookupName(const char* name, char* lower, uint32_t hash[3]);
  uint32_t FindHashIndex(const uint32_t hash[3]);
  HashEntry* FindHashEntryByName(const char* name);
  BlockEntry* FindBlockByHash(const uint32_t hash[3], uint32_t blockIndex);
  BlockEntry* FindBlock(const char* name, uint32_t blockIndex);
  BlockEntry* FindNamedBlock(const char* name);
  BlockEntry* ListFileBlock();
  bool IsUsedBlock(uint32_t index) const;
  bool IsListFileName(const char* lowerName) const;
  bool IsListFileHash(const uint32_t hash[3]) const;

  // Opening (BasicPacketOpen.cpp).
  int OpenFailed(int code);
  uint32_t ReadBlockTable(FileHandle file);
  bool TablesAreConsistent(uint32_t fileSize);
  int LoadListFile();
  int LoadPatchList();

  // Reading (BasicPacketRead.cpp).
  bool ReadStored(const BlockEntry& block, void* out);

  // Writers (BasicPacketWrite.cpp). 1/0 like the slots they stand for.
  int CreateFiles(unsigned int versionHigh, unsigned int versionLow, unsigned int tableSize);
  int WriteHeader(FileHandle file);
  int WriteSignature(FileHandle file);
  int CreateListFileEntry();
  int WriteListFile(FileHandle file, uint32_t offset);
  uint32_t WriteBlockTable(FileHandle file);
  int WriteHashTable(FileHandle file, uint32_t offset);
  bool ScrambleBlockTable();
  int CommitTables(FileHandle file, uint32_t listOffset);

  // Adding (BasicPacketAdd.cpp).
  int CheckWritable();
  int CheckNamedAdd(const char* name, char* lower, uint32_t hash[3]);
  bool KeepsExisting(const uint32_t hash[3], uint32_t flags, uint32_t versionHigh,
                     uint32_t versionLow);
  int CheckStoreTarget();
  bool HasRoomFor(uint32_t storedSize);
  bool ReplacementAllowed(uint32_t flags, const BlockEntry& old, uint32_t versionHigh,
                          uint32_t versionLow) const;
  int AddByName(const char* lowerName, const uint32_t hash[3], const void* data,
                uint32_t storedSize, uint32_t originalSize, uint32_t fileFlags,
                uint32_t versionHigh, uint32_t versionLow);
  int StoreNewFile(const uint32_t hash[3], const void* data, uint32_t storedSize,
                   uint32_t originalSize, uint32_t fileFlags, uint32_t versionHigh,
                   uint32_t versionLow, const char* listName);
  int InsertHashEntry(const uint32_t hash[3], uint32_t* outIndex);
  int GrowTables();
  void RemoveHashEntry(uint32_t index);

  // The writer lock and the journal (BasicPacketGuard.cpp).
  template <class> friend struct GuardedCalls;
  bool NameGuardedFiles();
  int OpenPacketLocked(const char* path);
  int ReloadTables();
  void AttachHandles();
  void CloseHandles();
  int StartBracket();
  int BracketError();
  int FinishBracket(int rc);
  uint32_t DiskFingerprint();
  FileHandle GateHandle() const { return m_hFile; }
  uint64_t ReadGeneration() { return GenerationOf(0, m_hFile); }
  // Before a query from the tables: reads them again after another
  // writer's commit.
  void Refresh();

  // Removing (BasicPacketRemove.cpp).
  int RemoveFile(const uint32_t hash[3]);
  int CopyFilesInto(FileHandle target);
  int ReplaceArchiveFile();
  int CompactLocked();

  // List text (BasicPacketList.cpp).
  bool ReserveListText(uint32_t extra);
  bool ListFileAdd(const char* name);
  void ListFileRemove(const char* name);
  void ResetListCursor();
  void ReleaseListText();

  uint32_t m_nUpdateCount;
  // Why the changes of the open bracket are refused (0: they are not).
  int m_nBracketError;
  ArchiveGuard m_guard;
  unsigned int m_aCryptTable[kCryptTableWords];
  char m_szPath[basic::kMaxPath];
  char m_szDir[basic::kMaxPath];
  // List text: lower-cased names, one per line, NUL-terminated; grows
  // geometrically so that appending a name does not copy the whole text.
  char* m_szListText;
  uint32_t m_nListLength;
  uint32_t m_nListCapacity;
  // Name-list cursor: the line index and offset of the last GetFileName hit.
  uint32_t m_nListCursorIndex;
  uint32_t m_nListCursorOffset;
  bool m_bListCursorSet;
  HashEntry* m_pHashTable;
  BlockEntry* m_pBlockTable;
  uint32_t m_nTableSize;
  uint32_t m_nTableMask;
  // No hash entry below this index is free (the lowest-free hint).
  uint32_t m_nFreeHint;
  basic::PacketHeader* m_pHeader;
  FileHandle m_hFile;
  CCompressBuffer* m_pCompressor;
  uint32_t m_bScramble;
  unsigned char* m_pPatchList;
  uint32_t m_nPatchListWord;
  uint32_t m_nPatchListCapacity;
  BlockEntry* m_pScrambledBlocks;
  uint32_t m_nScrambledEntries;
  bool m_bVerifyCheckSum;
  // Reused buffer for stored bytes on their way to the decoder.
  ScratchBuffer m_readScratch;
  PackedTextCache m_listCache;  // the list text as last compressed
  uint32_t m_aListFileHash[3];
  // Opened from a file that could be read but not written: every change
  // fails with -42.
  bool m_bReadOnly;
};

}  // namespace orvel

#endif
