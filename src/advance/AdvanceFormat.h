// On-disk records of the advanced archive and the constants of its three
// files (archive file ".vrk", table side file ".bhl", list side file ".lst").
// All fields are unsigned 32-bit little-endian words; the structs are the
// exact bytes on disk.
#ifndef ORVEL_ADVANCE_ADVANCE_FORMAT_H
#define ORVEL_ADVANCE_ADVANCE_FORMAT_H

#include <cstdint>

#include "archive/HashEntry.h"

namespace orvel {

struct AdvanceHeader {
  uint32_t fileSize;          // archive file size when the header was written
  uint32_t versionHigh;
  uint32_t versionLow;
  uint32_t flags;             // kAdvFlag*
  uint32_t blockTableOffset;  // in the table side file
  uint32_t fileCount;         // "(listfile)" included
  uint32_t firstBlock;        // 0; non-zero stops every table write
  uint32_t blockCount;        // entries in use = index of the next new entry
  uint32_t hashTableOffset;   // in the table side file
  uint32_t tableSize;         // hash entries, a power of two
  uint32_t wastedBytes;       // stored bytes of unreferenced records
  uint32_t reserved;
  uint32_t baseVersion;       // versionLow at creation
};

struct AdvanceBlockEntry {
  uint32_t versionHigh;
  uint32_t versionLow;
  uint32_t flags;         // kFileCompressed
  uint32_t offset;        // data record in the archive file
  uint32_t storedSize;    // without the checksum word
  uint32_t originalSize;
  uint32_t hashIndex;
  uint32_t fileTimeLow;   // last-write FILETIME of the disk source, else 0
  uint32_t fileTimeHigh;
};

static_assert(sizeof(AdvanceHeader) == 52, "header is 13 words");
static_assert(sizeof(AdvanceBlockEntry) == 36, "block entry is 9 words");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "records are read and written as little-endian memory images");

constexpr uint32_t kAdvFlagHoles = 1;      // the archive file has dead records
constexpr uint32_t kAdvFlagEnciphered = 2; // tables enciphered (2 or 4 on read)
constexpr uint32_t kAdvFlagCipherMask = 6;
constexpr uint32_t kAdvFlagAdvanced = 8;
constexpr uint32_t kFileCompressed = 1;

constexpr uint32_t kAddCompress = 1;  // add flags
constexpr uint32_t kAddForce = 2;

constexpr uint32_t kFormatVersion = 32;
constexpr unsigned char kMagic[4] = {'V', 'R', 'K', 0x1A};
constexpr uint32_t kSignatureSize = 8;
constexpr uint32_t kHeaderCopyOffset = 8;
constexpr uint32_t kDataStart = 60;          // first data record
constexpr uint32_t kSideBlockTableOffset = 56;
constexpr uint32_t kListRecordSize = 40;     // block entry + its checksum
constexpr uint32_t kChecksumSize = 4;

// Tables are written in pieces of this many entries.
constexpr uint32_t kTablePiece = 64;
// Largest table whose byte counts stay within 32 bits.
constexpr uint32_t kMaxTableSize = 1u << 26;

constexpr char kListFileName[] = "(listfile)";

// wastedBytes grows without wrapping round to "nothing wasted".
inline uint32_t SaturatingAdd(uint32_t a, uint32_t b) {
  return a + b < a ? 0xFFFFFFFFu : a + b;
}

// True when a record of `size` stored bytes and its checksum word at
// `offset` ends within 32-bit file positions.
inline bool RecordFits(uint64_t offset, uint64_t size) {
  return offset + size + kChecksumSize <= 0xFFFFFFFFu;
}

}  // namespace orvel

#endif
