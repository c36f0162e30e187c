// The advanced archive: an archive file with checksummed data records, a
// table side file holding the header and the (optionally enciphered) block
// and hash tables, and a list side file holding the compressed name list.
//
// The class is split over several sources by role: VrkAdvance.cpp (life
// cycle, tables, simple queries), AdvanceOpen.cpp, AdvanceLookup.cpp,
// AdvanceRead.cpp, AdvanceCreate.cpp (creation and the update bracket),
// AdvanceTableWriter.cpp, AdvanceListFile.cpp, AdvanceListLoad.cpp (reading
// the name list at its first use), AdvanceHashTable.cpp,
// AdvanceAdd.cpp, AdvanceMaintain.cpp and AdvanceCompact.cpp.
#ifndef ORVEL_ADVANCE_VRK_ADVANCE_H
#define ORVEL_ADVANCE_VRK_ADVANCE_H

#include <cstdint>

#include "advance/AdvanceFormat.h"
#include "archive/HashChain.h"
#include "codec/PackedTextCache.h"
#include "codec/TablePieces.h"
#include "codec/NameHash.h"
#include "frame/Allocation.h"
#include "frame/ArchiveGuard.h"
#include "frame/DiskFile.h"
#include "frame/RemoteFile.h"
#include "frame/ScratchBuffer.h"
#include "orvel/IOrvelPacket.h"

namespace orvel {

class CFileNameList;
class CCompressBuffer;

constexpr unsigned kMaxPath = 260;

// An opened archive takes its name list in at the first operation that needs
// a name; a bench turns deferral off (names decoded by OpenPacket, as before)
// to measure what it saves.
void SetDeferredNameListEnabled(bool enabled);
bool DeferredNameListEnabled();

class CVrkAdvance : public IOrvelPacket, public VrkHeapObject {
 public:
  CVrkAdvance();
  ~CVrkAdvance() override;
  CVrkAdvance(const CVrkAdvance&) = delete;
  CVrkAdvance& operator=(const CVrkAdvance&) = delete;

  // The archive interface, slots 1 to 33.
  int CreatePacket(const char* path, unsigned int flags, unsigned int tableSize,
                   unsigned int versionHigh, unsigned int versionLow) override;
  int OpenPacket(const char* path) override;
  int ReadFileTo(const char* name, void* buffer, int bufferSize,
                 unsigned int blockIndex) override;
  void* ReadFileAlloc(const char* name, unsigned int* outSize,
                      unsigned int blockIndex) override;
  void FreeBuffer(void* p) override;
  int ReadFileRaw(const char* name, void* buffer,
                  unsigned int bufferSize) override;
  bool SetVerifyCheckSum(bool enable) override;
  int ExtractFile(const char* name, const char* diskPath,
                  unsigned int blockIndex) override;
  unsigned int GetOriginalSize(const char* name, unsigned int blockIndex) override;
  unsigned int GetStoredSize(const char* name, unsigned int blockIndex) override;
  void BeginUpdate() override;
  int AddFileFromDisk(const char* name, unsigned int flags, const char* diskPath,
                      unsigned int versionHigh, unsigned int versionLow) override;
  int AddFileFromMemory(const char* name, unsigned int flags, const void* data,
                        unsigned int size, unsigned int versionHigh,
                        unsigned int versionLow) override;
  int DeleteFileByHash(const unsigned int* hash) override;
  int DeleteFile(const char* name) override;
  int AddCompressedFileByHash(const unsigned int* hash, unsigned int flags,
                              const void* data, unsigned int storedSize,
                              unsigned int originalSize, unsigned int versionHigh,
                              unsigned int versionLow) override;
  int AddCompressedFile(const char* name, unsigned int flags, const void* data,
                        unsigned int storedSize, unsigned int originalSize,
                        unsigned int versionHigh, unsigned int versionLow) override;
  void SetFileVersion(const char* name, unsigned int versionHigh,
                      unsigned int versionLow) override;
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

  // Slots 34 to 37, in the same roles as in the basic archive.
  virtual unsigned int SetTableSize(unsigned int requested);
  virtual int AllocTables();  // 1, or 0 when out of memory
  virtual void InitCryptTable();
  virtual void ClosePacket();

  // Slots 38 to 73. Public so that the patching classes can reach them.
  virtual int AddNewFileFromDisk(const char* name, unsigned int flags,
                                 const char* diskPath, unsigned int versionHigh,
                                 unsigned int versionLow);
  virtual int AddNewCompressedFileByHash(const unsigned int* hash, const void* data,
                                         unsigned int storedSize,
                                         unsigned int originalSize,
                                         unsigned int versionHigh,
                                         unsigned int versionLow);
  virtual int AddNewCompressedFile(const char* name, const void* data,
                                   unsigned int storedSize,
                                   unsigned int originalSize,
                                   unsigned int versionHigh,
                                   unsigned int versionLow);
  virtual int WriteFileData(const void* data, AdvanceBlockEntry* entry,
                            AdvanceBlockEntry* newEntry);
  virtual int ReplaceFileFromDisk(const char* name, unsigned int flags,
                                  const char* diskPath, unsigned int versionHigh,
                                  unsigned int versionLow);
  virtual int ReplaceCompressedFileByHash(const unsigned int* hash,
                                          unsigned int flags, const void* data,
                                          unsigned int storedSize,
                                          unsigned int originalSize,
                                          unsigned int versionHigh,
                                          unsigned int versionLow);
  virtual int ReplaceCompressedFile(const char* name, unsigned int flags,
                                    const void* data, unsigned int storedSize,
                                    unsigned int originalSize,
                                    unsigned int versionHigh,
                                    unsigned int versionLow);
  virtual int WriteHeader(FileHandle file);
  virtual int WriteSignature(FileHandle file);
  virtual int WriteListFile(const char* listPath);
  virtual int CreateListFileEntry();
  virtual unsigned int ReadBlockTable(FileHandle file, const AdvanceHeader* header,
                                      AdvanceBlockEntry* table);
  virtual unsigned int ReadHashTable(FileHandle file, const AdvanceHeader* header,
                                     HashEntry* table);
  virtual int LoadListFile(const char* listPath);
  virtual unsigned int WriteBlockTable();
  virtual unsigned int WriteHashTable();
  virtual AdvanceBlockEntry* FindBlockByHash(unsigned int hash0, unsigned int hash1,
                                             unsigned int hash2,
                                             unsigned int blockIndex);
  virtual AdvanceBlockEntry* FindBlock(const char* name, unsigned int blockIndex);
  virtual unsigned int FindHashIndexByName(const char* name);
  virtual unsigned int FindHashIndex(unsigned int hash0, unsigned int hash1,
                                     unsigned int hash2);
  virtual HashEntry* FindHashEntry(unsigned int hash0, unsigned int hash1,
                                   unsigned int hash2);
  virtual HashEntry* FindHashEntryByName(const char* name);
  virtual void ListFileAdd(const char* name);
  virtual void ListFileRemove(const char* name);
  virtual const void* LoadFileCompressed(const char* diskPath,
                                         AdvanceBlockEntry* entry);
  virtual void* LoadFileRaw(const char* diskPath, AdvanceBlockEntry* entry);
  virtual int ReadSideHeader(FileHandle file, AdvanceHeader** header);
  virtual int WriteTables(FileHandle archiveFile);
  virtual int WriteSideHeader();
  virtual int InsertHashEntry(unsigned int hash0, unsigned int hash1,
                              unsigned int hash2, HashEntry** entry,
                              unsigned int* index);
  virtual int InsertHashEntryByName(const char* name, HashEntry** entry,
                                    unsigned int* index);
  virtual int GrowTables();
  virtual int InsertIntoTables(unsigned int hash0, unsigned int hash1,
                               unsigned int hash2, HashEntry* table,
                               AdvanceBlockEntry* blocks, unsigned int mask,
                               unsigned int size, HashEntry** entry,
                               unsigned int* index);
  virtual unsigned int GetListText(char** text);
  virtual void EncipherBuffer(void* buffer, int length);
  virtual void DecipherBuffer(void* buffer, int length);

  // AddCompressedFileByHash for bytes whose stored form `fileFlags` gives
  // (bit 0: compressed), so that stored bytes carried from another archive
  // keep their form.
  // `crc`, when given, is the checksum of the bytes, already verified by
  // the caller, so that they are not summed twice.
  int AddStoredFileByHash(const unsigned int* hash, unsigned int flags,
                          unsigned int fileFlags, const void* data,
                          unsigned int storedSize, unsigned int originalSize,
                          unsigned int versionHigh, unsigned int versionLow,
                          const uint32_t* crc = nullptr);
  // Closes one BeginUpdate like EndUpdate, with the archive's stamp set to
  // (versionHigh, versionLow) in the commit that writes the tables: the
  // files and the stamp that claims them reach the disk together. Inside an
  // outer bracket the stamp waits, with the files, for its EndUpdate.
  int EndUpdateAtVersion(unsigned int versionHigh, unsigned int versionLow);
  // Inside a bracket, before many records are replaced one after another (a
  // patch level): journals now the bytes that replacing the file with
  // `hash` by `storedSize` bytes would overwrite in place. The journal then
  // reaches the disk once for all of them, not once per record.
  void JournalReplacement(const unsigned int* hash, unsigned int storedSize);
  // A copy of the file's block entry and its three name hashes, found with
  // one lookup; false (error code set) when the archive has no such file.
  bool FindFileEntry(const char* name, AdvanceBlockEntry* entry, unsigned int hash[3]);
  // Copies a file's stored bytes followed by their checksum word into
  // `out` (room for storedSize + 4 bytes), checking the checksum whatever
  // SetVerifyCheckSum says; returns the stored size (0 with success for a
  // file of no stored bytes), 0 on failure.
  int ReadStoredRecord(const char* name, void* out, unsigned int room);
  // A run of reads (a patch build): the committed state is checked and the
  // commit lock taken shared once for all of them, instead of once per
  // read; other writers' commits wait until EndReadRun. 0, or the error
  // code with nothing held. Inside a bracket there is nothing to hold.
  int BeginReadRun();
  void EndReadRun();
  // Inside a long bracket (a patch's levels): starts writing what it
  // appended to the archive file to the disk without waiting, so that the
  // commit's sync finds the work under way. A failure shows at the commit.
  void StartAppendWriteback();
  // Number of names in the name list, including names of files removed by
  // hashes alone (they stay in the list); 0 when the list cannot be read.
  unsigned int NameCount();
  // Takes the name list in from the list side file unless that happened
  // already: VRKERR_OK, or the list's error code (also left in
  // g_nVrkErrCode), after which the names stay unread and the next call
  // tries again.
  int EnsureNames();
  // Whether the names are in memory (false while they wait on disk).
  bool NamesLoaded() const { return m_bNamesPending == 0; }

  // Read-only view for tests, tools and the patching classes.
  const AdvanceHeader* Header() const { return m_pHeader; }
  const AdvanceBlockEntry* BlockTable() const { return m_pBlockTable; }
  const HashEntry* HashTable() const { return m_pHashTable; }
  unsigned int TableSize() const { return m_nTableSize; }
  bool IsReadOnly() const { return m_bReadOnly != 0; }
  // End of the archive file as written so far (appends may still be on
  // their way to the disk); kNone on failure.
  uint32_t ArchiveEnd();

 private:
  // Lowers and hashes `name`; false (error -11) for a null or over-long name.
  bool HashLowerName(const char* name, unsigned int hash[3]) const;
  // AllocTables without filling: for loading, which overwrites them.
  int AllocTablesUnfilled();
  bool IsListFileHash(const unsigned int* hash) const;
  // Whether a change by name (an add, replacement or removal) may go ahead:
  // the archive is writable, an update is open, and the name is valid and not
  // the list file's. Leaves the name's hashes in `hash`. VRKERR_OK or a code.
  int CheckNamedChange(const char* name, unsigned int hash[3]) const;
  // CheckNamedChange for an add or a replacement, which also refuses (-11) a
  // name holding a line break: the name list could never give it back.
  int CheckNamedAdd(const char* name, unsigned int hash[3]) const;
  // The same for a change by hashes.
  int CheckHashedChange(const unsigned int* hash) const;
  // Builds the side file path for `extension` (".bhl" or ".lst") from
  // m_szPath into `out` (kMaxPath bytes).
  void SidePath(const char* extension, char* out) const;
  // Inserts into the given arrays, scanning for a free slot from *freeScan
  // (every slot below it is known to be occupied).
  int InsertInto(unsigned int hash0, unsigned int hash1, unsigned int hash2,
                 HashEntry* table, AdvanceBlockEntry* blocks, unsigned int mask,
                 unsigned int size, uint32_t* freeScan, HashEntry** entry,
                 unsigned int* index);
  // Takes the entry in `slot` out of its chain and frees the slot.
  void RemoveHashSlot(uint32_t slot);
  // Undoes an insertion whose block entry (at blockCount) was not completed.
  void AbandonInsertion(uint32_t slot);
  // Loads a disk source compressed (flags bit 1) or raw into `entry`; a raw
  // buffer is also returned in *raw for the caller to release.
  const void* LoadDiskSource(const char* diskPath, unsigned int flags,
                             AdvanceBlockEntry* entry, void** raw);
  // Writes `size` stored bytes and their checksum word at `offset`.
  int WriteRecord(uint32_t offset, const void* data, uint32_t size);
  // Reads a record's stored bytes (and, with verification on, checks the
  // checksum word read in the same transfer) into `out`, which has room for
  // storedSize + 4 bytes. Returns 0 or the error code.
  int ReadRecord(const AdvanceBlockEntry* entry, unsigned char* out);
  // The same, checking the checksum word when `verify`, whatever
  // SetVerifyCheckSum says.
  int ReadRecord(const AdvanceBlockEntry* entry, unsigned char* out, bool verify);
  // Opens the list side file as LoadListFile does (the read-only fallback
  // included) and leaves its names to EnsureNames. False when the file is
  // remote and there but its first bytes could not be fetched.
  bool OpenListSideFile(const char* listPath);
  // Reads, checks and decodes the open list side file into the name list:
  // VRKERR_OK or the error code (also set), the list left empty.
  int DecodeListFile();
  // Before a commit writes anything, while the names wait on disk: reads
  // the list's record into the list state and, unless the list side file
  // already holds what the commit would write there (or there is no list
  // entry to write), takes the names in so that the commit writes them.
  int SettleUnreadList();
  // True when the list side file holds what writing the list under `entry`
  // would put there: the entry, as the write would leave it, equals the
  // record on disk. Always false with table pieces turned off.
  bool ListFileStands(const AdvanceBlockEntry& entry) const;
  // The list side file stays as it is: `entry` takes the record's values,
  // as writing the list would give it.
  void KeepListFile(AdvanceBlockEntry* entry);
  // Splits the list text (length bytes, NUL after them, modified in place)
  // into the name list, lower-cased; -17 (nothing taken in) when the list
  // would need more than `room` bytes of memory.
  int LoadListText(char* text, uint32_t length, uint64_t room);
  // Writes `count` entries of a table at `offset` of the table side file,
  // then its checksum word: only the pieces `pieces` marks as changed while
  // tracking is on, whole otherwise. The position after the checksum word,
  // or 0 with the error code set.
  unsigned WriteTable(TablePieces& pieces, const void* table, uint32_t entrySize,
                      uint32_t count, uint32_t offset, unsigned kind, int ioCode);
  // A block entry or a hash slot changed: its piece is written at the commit.
  void TouchBlock(uint32_t index) { m_blockPieces.Mark(index); }
  void TouchHash(uint32_t slot) { m_hashPieces.Mark(slot); }
  // Marks what a chain edit changed in both tables.
  void TouchChainEdit(const MovedEntry& edit);
  // Both tables were replaced or rebuilt in memory: the next commit writes
  // them whole.
  void ForgetTablePieces() {
    m_blockPieces.Reset();
    m_hashPieces.Reset();
  }
  // Copies every live record into `temp`, saving the old offsets first.
  int CompactInto(FileHandle temp, uint32_t* savedOffsets);
  // Rolls the files back to the last commit, removes the temporary file
  // and reads the archive again; keeps the error.
  void RestoreAfterFailedCompaction();
  int CompactLocked();

  // The writer lock and the journal (AdvanceGuard.cpp).
  template <class> friend struct GuardedCalls;
  bool NameGuardedFiles();
  int OpenPacketLocked(const char* path);
  int ReloadTables();
  void AttachHandles();
  void CloseHandles();
  int StartBracket();
  int FinishBracket(int rc);
  uint32_t DiskFingerprint();
  // A remote archive file has no commit lock: reads of it go ungated.
  FileHandle GateHandle() const { return IsRemoteFile(m_hPacket) ? kInvalidFile : m_hPacket; }
  uint64_t ReadGeneration() { return GenerationOf(GenerationOf(0, m_hPacket), m_hTableFile); }
  // Before a query from the tables: reads them again after another
  // writer's commit.
  void Refresh();
  // The commit's writes: records durable, then tables, headers and names.
  int WriteCommit();
  int CheckWritable() const;  // -42 when read-only, else 0

  // Members in the documented order, then the implementation's own.
  CFileNameList* m_pNameList;
  uint32_t m_nUpdateCount;
  int m_nBracketError;  // why the open bracket's changes are refused (0: they are not)
  ArchiveGuard m_guard;
  unsigned int m_aCryptTable[kCryptTableWords];
  char m_szPath[kMaxPath];
  HashEntry* m_pHashTable;
  AdvanceBlockEntry* m_pBlockTable;
  uint32_t m_nTableSize;
  uint32_t m_nTableMask;
  AdvanceHeader* m_pHeader;
  FileHandle m_hPacket;
  FileHandle m_hTableFile;
  FileHandle m_hListFile;
  CCompressBuffer* m_pCompressor;
  uint32_t m_bTablesEnciphered;
  uint32_t m_bReadOnly;
  uint8_t m_bVerifyCheckSum;

  unsigned int m_aListFileHash[3];
  uint32_t m_nFreeScan;         // every hash slot below it is occupied
  uint32_t m_nStoredFileFlags;   // flags of records the by-hash writers store
  const uint32_t* m_pKnownCrc;   // the checksum of the record being written, when known
  ScratchBuffer m_readScratch;  // stored records on their way to the decoder
  PackedTextCache m_listCache;  // the name list as last compressed
  uint8_t m_bNamesPending;      // the list side file is open, its names not yet read
  // The list side file holds m_listRecord and the compressed text it
  // describes, and that text is the name list: the one in memory (read from
  // the file or written to it) or, while the names wait on disk, the one
  // still there (its record read at commit). A commit that would write the
  // same record leaves the file as it is.
  bool m_bListOnDisk = false;
  AdvanceBlockEntry m_listRecord{};
  bool m_bListUntouched = false;  // the last WriteListFile left the file as it was
  // The tables as last written to or read from the table side file.
  TablePieces m_blockPieces{sizeof(AdvanceBlockEntry)};
  TablePieces m_hashPieces{sizeof(HashEntry)};
};

}  // namespace orvel

#endif
