// Recovering the intact files of a damaged advanced archive.
#ifndef ORVEL_VRK_SALVAGE_H
#define ORVEL_VRK_SALVAGE_H

#include "VrkExport.h"

// Why ReadEntry could not give a file back.
enum VrkSalvageResult {
  VRK_SALVAGE_OK = 0,
  VRK_SALVAGE_OUTSIDE = 1,      // its record reaches past the end of the archive file
  VRK_SALVAGE_CHECKSUM = 2,     // its stored bytes do not match their checksum
  VRK_SALVAGE_UNDECODABLE = 3,  // its stored bytes do not decode to its size
  VRK_SALVAGE_NO_MEMORY = 4
};

// One file whose table entries survived.
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
  const char* name;  // lower-cased, or null while unknown; valid until Close
};

// Reads what is left of an advanced archive ("x.vrk" with "x.bhl" and
// "x.lst") without trusting any checksum of a whole table: each table entry
// is judged on its own, each file by its own record. Nothing it reads can make
// it read or allocate beyond the sizes of the files on disk.
class VRK_API CVrkSalvage {
 public:
  CVrkSalvage();
  ~CVrkSalvage();
  CVrkSalvage(const CVrkSalvage&) = delete;
  CVrkSalvage& operator=(const CVrkSalvage&) = delete;

  // Reads the tables and the names the list side file still gives. 1/0,
  // with the reason in g_nVrkErrCode (no readable archive file or header).
  int Open(const char* path);
  void Close();

  // Files whose block entry and hash entry still name each other.
  unsigned int GetEntryCount() const;
  int GetEntry(unsigned int index, VrkSalvageEntry* out) const;
  // Files the header counts that no intact pair of table entries names.
  unsigned int GetLostEntryCount() const;
  // The archive's flags and stamp, from the header salvage went by; null
  // outputs are skipped.
  unsigned int GetPacketFlags() const;
  void GetPacketVersion(unsigned int* versionHigh, unsigned int* versionLow,
                        unsigned int* baseVersion) const;

  // Gives `name` to the entry with its hashes, replacing a name from the
  // list side file. 1 when an entry took it, else 0.
  int NameEntry(const char* name);

  // Reads entry `index`'s record and checks it: inside the archive file,
  // checksum matching, and decoding to its original size. On success *data
  // holds the stored bytes (storedSize of them), or with `decoded` the file's
  // bytes (originalSize); release it with FreeBuffer.
  int ReadEntry(unsigned int index, int decoded, void** data);
  void FreeBuffer(void* data);

 private:
  struct State;
  State* m_state;
};

#endif
