// The archive interface.
#ifndef ORVEL_IORVEL_PACKET_H
#define ORVEL_IORVEL_PACKET_H

#include "VrkExport.h"

// An archive: a set of named files kept inside one archive file (the basic
// variant) or three files (the advanced variant, "x.vrk" with "x.bhl" and
// "x.lst"). Obtain archives from g_piVrkSystem->NewPacket or LoadPacket and
// give them back with FreePacket.
//
// Names are NUL-terminated byte strings of at most 255 bytes; longer names are
// refused with VRKERR_NULL_NAME. Lookups are case-insensitive for ASCII
// letters; '\' and '/' are different characters.
//
// A block index argument of 0xFFFFFFFF means "look the name up"; any other
// value selects that block-table entry directly and the name is ignored.
//
// Results: "0/negative" operations return 0 or a VRKERR_* code, "1/0"
// operations return 1 or 0; either way the outcome is left in g_nVrkErrCode.
// Size queries return 0 when the file is not found.
//
// Every change happens between BeginUpdate and EndUpdate (pairs nest). File
// data is written at once; the tables are written by the outermost EndUpdate.
// An archive object must not be used from two threads at once.
class VRK_API IOrvelPacket {
 public:
  IOrvelPacket();
  IOrvelPacket(const IOrvelPacket&);
  // Releases everything without writing pending changes.
  virtual ~IOrvelPacket();
  IOrvelPacket& operator=(const IOrvelPacket&);

  // Creates a new archive at `path`, replacing any file there. The tables get
  // the smallest power of two not below `tableSize` entries. `flags`: bits 1-2
  // protect the tables on disk, bit value 8 selects the advanced variant.
  virtual int CreatePacket(const char* path, unsigned int flags,
                           unsigned int tableSize, unsigned int versionHigh,
                           unsigned int versionLow) = 0;                      // 1
  // Opens an existing archive for reading and writing. An advanced archive
  // reads its name list later, at the first operation that needs names
  // (GetFileName, an add or removal by name, compaction, building a patch);
  // a damaged list is reported there, with the code an open would give.
  virtual int OpenPacket(const char* path) = 0;                               // 2
  // Reads the whole file into `buffer` (at least the original size); returns
  // the number of bytes placed, 0 on failure.
  virtual int ReadFileTo(const char* name, void* buffer, int bufferSize,
                         unsigned int blockIndex) = 0;                        // 3
  // Reads the whole file into a new buffer; release it with FreeBuffer.
  virtual void* ReadFileAlloc(const char* name, unsigned int* outSize,
                              unsigned int blockIndex) = 0;                   // 4
  virtual void FreeBuffer(void* p) = 0;                                       // 5
  // Copies the stored (possibly compressed) bytes; returns the stored size.
  // A buffer with 4 bytes to spare behind them may get scratch data there.
  virtual int ReadFileRaw(const char* name, void* buffer,
                          unsigned int bufferSize) = 0;                       // 6
  // Switches checksum verification on reads (on by default); returns it.
  virtual bool SetVerifyCheckSum(bool enable) = 0;                            // 7
  // Writes the file to a newly created disk file. 1/0.
  virtual int ExtractFile(const char* name, const char* diskPath,
                          unsigned int blockIndex) = 0;                       // 8
  virtual unsigned int GetOriginalSize(const char* name,
                                       unsigned int blockIndex) = 0;          // 9
  virtual unsigned int GetStoredSize(const char* name,
                                     unsigned int blockIndex) = 0;            // 10
  virtual void BeginUpdate() = 0;                                             // 11
  // Adds a disk file. `flags` bit 0: compress; bit 1: replace even where the
  // variant's replacement rule declines. A declined replacement returns 0.
  virtual int AddFileFromDisk(const char* name, unsigned int flags,
                              const char* diskPath, unsigned int versionHigh,
                              unsigned int versionLow) = 0;                   // 12
  virtual int AddFileFromMemory(const char* name, unsigned int flags,
                                const void* data, unsigned int size,
                                unsigned int versionHigh,
                                unsigned int versionLow) = 0;                 // 13
  // Removes the file with these three name hashes (the name list is kept).
  virtual int DeleteFileByHash(const unsigned int* hash) = 0;                 // 14
  virtual int DeleteFile(const char* name) = 0;                               // 15
  // Stores already compressed bytes under three name hashes.
  virtual int AddCompressedFileByHash(const unsigned int* hash,
                                      unsigned int flags, const void* data,
                                      unsigned int storedSize,
                                      unsigned int originalSize,
                                      unsigned int versionHigh,
                                      unsigned int versionLow) = 0;           // 16
  virtual int AddCompressedFile(const char* name, unsigned int flags,
                                const void* data, unsigned int storedSize,
                                unsigned int originalSize,
                                unsigned int versionHigh,
                                unsigned int versionLow) = 0;                 // 17
  virtual void SetFileVersion(const char* name, unsigned int versionHigh,
                              unsigned int versionLow) = 0;                   // 18
  // Closes one BeginUpdate; the outermost one writes the tables.
  virtual int EndUpdate() = 0;                                                // 19
  // Rewrites the archive without unused space (when it has holes).
  virtual int CompactPacket() = 0;                                            // 20
  // Number of files, the "(listfile)" entry included.
  virtual unsigned int GetFileCount() = 0;                                    // 21
  // Copies the index-th name of the name list (index 0: "(listfile)"). Past
  // the end: VRKERR_NULL_NAME (advanced) or VRKERR_BAD_INDEX (basic). An
  // advanced archive's list that cannot be read: VRKERR_LIST_FILE_IO,
  // VRKERR_CHECKSUM_IO or VRKERR_CHECKSUM.
  virtual int GetFileName(unsigned int index, char* buffer,
                          int bufferSize) = 0;                                // 22
  virtual unsigned int GetPacketFlags() = 0;                                  // 23
  virtual void GetPacketVersion(unsigned int* versionHigh,
                                unsigned int* versionLow,
                                unsigned int* baseVersion) = 0;               // 24
  virtual const char* GetPacketPath() = 0;                                    // 25
  virtual void SetPacketVersion(unsigned int versionHigh,
                                unsigned int versionLow) = 0;                 // 26
  // The file's block index, or -1.
  virtual int GetFileBlockIndex(const char* name) = 0;                        // 27
  virtual void GetFileVersion(const char* name, unsigned int* versionHigh,
                              unsigned int* versionLow) = 0;                  // 28
  virtual unsigned int GetFileStoredSize(const char* name) = 0;               // 29
  virtual unsigned int GetFileOriginalSize(const char* name) = 0;             // 30
  virtual unsigned int GetFileFlags(const char* name) = 0;                    // 31
  virtual int IsFileCompressed(const char* name) = 0;                         // 32
  virtual void GetFileHash(const char* name, unsigned int* hash0,
                           unsigned int* hash1, unsigned int* hash2) = 0;     // 33
};

#endif
