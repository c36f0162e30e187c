// Recovering the intact files of a damaged archive of either variant.
#ifndef ORVEL_VRK_SALVAGE_H
#define ORVEL_VRK_SALVAGE_H

#include "VrkExport.h"

// Why ReadEntry could not give a file back.
enum VrkSalvageResult {
  VRK_SALVAGE_OK = 0,
  VRK_SALVAGE_OUTSIDE = 1,      // its record reaches past the end of the archive file
  VRK_SALVAGE_CHECKSUM = 2,     // its stored bytes do not match their checksum (advanced)
  VRK_SALVAGE_UNDECODABLE = 3,  // its stored bytes do not decode to its size
  VRK_SALVAGE_NO_MEMORY = 4
};

// Where salvage found a file.
enum VrkSalvageOrigin {
  VRK_SALVAGE_FROM_TABLES = 0,  // its hash and block entries name each other
  // A basic archive's file whose table entries are lost, found by its
  // stream in the data area (hash 0, no name): right after another stream
  // or a surviving entry, where a file starts...
  VRK_SALVAGE_FROM_STREAM = 1,
  // ...or after bytes no stream accounts for (a file stored as it is), where
  // its start is a guess: the latest start that ends where the stream ends,
  // which may leave out a few of the file's first bytes.
  VRK_SALVAGE_FROM_STREAM_GUESSED = 2
};

// One file whose table entries survived, or in a basic archive whose tables
// are lost, whose stored stream was found in the data area.
struct VrkSalvageEntry {
  unsigned int hash[3];  // the three name hashes
  unsigned int flags;    // bit value 1: stored compressed
  unsigned int offset;   // of the record in the archive file
  unsigned int storedSize;
  unsigned int originalSize;
  unsigned int versionHigh;
  unsigned int versionLow;
  unsigned int fileTimeLow;
  unsigned int fileTimeHigh;
  unsigned int origin;  // VrkSalvageOrigin
  const char* name;  // lower-cased, or null while unknown; valid until Close
};

// Reads what is left of an archive without trusting any of its tables as a
// whole: each table entry is judged on its own, each file by its own stored
// bytes. An advanced archive is "x.vrk" with "x.bhl" and "x.lst", whose
// records carry checksums; a basic archive is one file, whose stored files
// pass when they decode to their size. When a basic archive's block table is
// cut off, the compressed files in the data area that no surviving entry
// covers are found by their streams (time bounded by a few passes over the
// file). Nothing it reads can make it read or allocate beyond a small
// multiple of the sizes of the files on disk.
class VRK_API CVrkSalvage {
 public:
  CVrkSalvage();
  ~CVrkSalvage();
  CVrkSalvage(const CVrkSalvage&) = delete;
  CVrkSalvage& operator=(const CVrkSalvage&) = delete;

  // Tells the variant by the archive's signature, as opening does, and reads
  // the tables and the names the name list still gives. 1/0, with the reason
  // in g_nVrkErrCode (no readable archive file, signature or header).
  int Open(const char* path);
  void Close();

  // Files whose block entry and hash entry still name each other.
  unsigned int GetEntryCount() const;
  int GetEntry(unsigned int index, VrkSalvageEntry* out) const;
  // Files the header counts that no intact pair of table entries names.
  unsigned int GetLostEntryCount() const;
  // 1 for an advanced archive, 0 for a basic one.
  int IsAdvanced() const;
  // The archive's flags and stamp, from the header salvage went by; null
  // outputs are skipped.
  unsigned int GetPacketFlags() const;
  void GetPacketVersion(unsigned int* versionHigh, unsigned int* versionLow,
                        unsigned int* baseVersion) const;

  // Gives `name` to the entry with its hashes, replacing a name from the
  // name list. 1 when an entry took it, else 0.
  int NameEntry(const char* name);

  // Reads entry `index`'s stored bytes and checks them: inside the archive
  // file, checksum matching (advanced), and decoding to its original size. On success *data
  // holds the stored bytes (storedSize of them), or with `decoded` the file's
  // bytes (originalSize); release it with FreeBuffer.
  int ReadEntry(unsigned int index, int decoded, void** data);
  void FreeBuffer(void* data);

 public:
  struct State;  // defined inside the library

 private:
  State* m_state;
};

#endif
