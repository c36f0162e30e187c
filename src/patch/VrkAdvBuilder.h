// The patch builder of the advanced archive. Its sources by role:
// VrkAdvBuilder.cpp (collecting files, the record array, selection),
// PatchFileIO.cpp (saving and loading patch files) and PatchBlockIO.cpp
// (appending block entries and applying records).
#ifndef ORVEL_PATCH_VRK_ADV_BUILDER_H
#define ORVEL_PATCH_VRK_ADV_BUILDER_H

#include <cstdint>

#include "frame/Allocation.h"
#include "frame/DiskFile.h"
#include "orvel/IVrkPatchBuilder.h"
#include "patch/PatchBlockList.h"
#include "patch/PatchPath.h"

class IOrvelPacket;

namespace orvel {

class CVrkAdvance;

constexpr unsigned int kPatchListCapacity = 64;

class CVrkAdvBuilder : public IVrkPatchBuilder, public VrkHeapObject {
 public:
  explicit CVrkAdvBuilder(CVrkAdvance* packet);
  ~CVrkAdvBuilder() override;
  CVrkAdvBuilder(const CVrkAdvBuilder&) = delete;
  CVrkAdvBuilder& operator=(const CVrkAdvBuilder&) = delete;

  unsigned int CollectPatchBlocks() override;
  void BeginPatchData(unsigned int count) override;
  void GrowPatchData(unsigned int extra) override;
  const char* SelectPatchBlock(unsigned int index) override;
  int FindPatchData(const char* name) override;
  int WritePatchBlockTo(int file) override;
  int WritePatchBlock(const char* blockPath, unsigned int origin, int distance) override;
  int SavePatchFile(const char* path) override;
  int LoadPatchFile(const char* path) override;
  PatchData* SelectPatchData(unsigned int index) override;
  int ApplyPatchData(const char* blockPath) override;
  unsigned int GetPatchDataCount() override;
  void GetPatchVersion(unsigned int* high, unsigned int* low) override;
  void SetPatchVersion(unsigned int high, unsigned int low) override;
  void GetPatchDataVersion(unsigned int* high, unsigned int* low) override;

  const TPatchBlockList* BlockList() const { return m_pBlockList; }

 private:
  // Releases the records and zeroes the patch header.
  void ClearPatchData();
  // Closes the block file held open for reading.
  void CloseBlockFile();
  // Lets go of the block file held open for appending, its writing to the
  // disk started; SyncBlockFiles makes it durable with the others. False
  // when its entries could not be written.
  bool CloseWriteFile();
  // Makes the block files let go of since the last call durable, with
  // their names; false when one could not be.
  bool SyncBlockFiles();
  // Room for an entry of `storedSize` bytes and its checksum word (with
  // slack), reused from entry to entry; null when out of memory.
  unsigned char* EntryBuffer(unsigned int storedSize);
  // Room for `count` more bytes at the end of the entries waiting for the
  // block file held for appending, made by writing out those before the
  // last whole run; null when they do not fit (all written out then) or
  // when writing failed (*failed set).
  unsigned char* OutputRoom(uint32_t count, bool* failed);
  // Writes the waiting entries to the block file; false on failure.
  bool WriteOutEntries();
  // Fills the current record from the archive's entry of the current file.
  bool DescribeCurrentFile(PatchData* r);
  // Reads the current file's stored bytes and their checksum word into
  // `out` (room for storedSize + 4). The stored size, or -1 on failure.
  int64_t ReadCurrentFile(unsigned char* out, unsigned int storedSize);
  // Opens `blockPath` for reading unless it is the one held open. 0 or the
  // error code.
  int HoldBlockFile(const char* blockPath);
  // Reads the current record's entry from the held block file into `out`
  // (room for storedSize + 16 bytes) and checks it. 0 or the error code.
  int ReadBlockEntry(unsigned char* out);
  // `count` bytes of the held block file at `offset`, as ReadDiskFileAt.
  unsigned ReadEntryBytes(unsigned char* out, uint32_t count, uint32_t offset);
  // Bytes from the current record's entry to the end of the entries that
  // follow it in the block file and are read with it.
  uint32_t RunLength() const;
  // Writes the record array and its checksum after the header. 0 or the code.
  int WritePatchFile(FileHandle file);
  int ReadPatchFile(FileHandle file);

  IOrvelPacket* m_piPacket;
  TPatchBlockList* m_pBlockList;
  unsigned int m_nVersionHigh;
  unsigned int m_nVersionLow;
  unsigned int m_nFormat;
  unsigned int m_nDataCount;
  PatchData* m_pData;
  const char* m_lpCurName;
  PatchData* m_pCurData;
  char m_szBlockFile[kMaxJoinedPath + 1];
  FileHandle m_hBlockFile;

  unsigned int m_nBlockFileSize;  // of the block file held for reading
  bool m_bRemoteBlockFile;        // held block file is at a URL
  // Entries of a remote block file fetched together (RunLength), from
  // m_nRunAt on; m_nRunLength 0 when none.
  static constexpr uint32_t kRunBytes = 4u << 20;
  unsigned char* m_pRun;
  uint32_t m_nRunRoom;
  uint32_t m_nRunAt;
  uint32_t m_nRunLength;
  CVrkAdvance* m_pAdvance;  // m_piPacket as the advanced archive it is (null with it)
  // The block file WritePatchBlock appended to last, kept open for the next
  // entry of the same level until the build moves on.
  char m_szWriteFile[kMaxJoinedPath + 1];
  FileHandle m_hWriteFile;
  // Entries for that file, read from the archive straight into this buffer
  // and checked there, then written out in whole runs: each byte is copied
  // once on its way. They belong at m_nOutStart of the file.
  unsigned char* m_pOut;
  uint32_t m_nOutStart;
  uint32_t m_nOutLength;
  // Block files written and not yet made durable: a build syncs them all
  // at once before the patch file that refers to them is written (beyond
  // this many, the ones held are synced to make room).
  static constexpr unsigned kPendingFiles = 8;
  char m_aPendingFiles[kPendingFiles][kMaxJoinedPath + 1];
  unsigned m_nPendingFiles;
  unsigned char* m_pEntry;  // EntryBuffer's room
  uint64_t m_nEntryRoom;
  // The node SelectPatchBlock reached last, so that selecting in order walks
  // the list once.
  const TPatchBlockList::Node* m_pCursorNode;
  unsigned int m_nCursorIndex;
};

}  // namespace orvel

#endif
