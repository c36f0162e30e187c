// One file carried by a patch.
#ifndef ORVEL_PATCH_DATA_H
#define ORVEL_PATCH_DATA_H

// 36 bytes, laid out the same in memory and in the patch file.
struct PatchData {
  unsigned int versionHigh;   // the file's stamp, high word
  unsigned int versionLow;    // the file's stamp, low word: its patch level
  unsigned int flags;         // bit 0: stored compressed
  unsigned int offset;        // offset of the data in its block file
  unsigned int storedSize;    // stored bytes, not counting the checksum word
  unsigned int originalSize;  // size after decompression
  unsigned int hash0;         // the three name hashes
  unsigned int hash1;
  unsigned int hash2;
};

#endif
