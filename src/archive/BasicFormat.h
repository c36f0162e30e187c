// On-disk records and constants of the basic archive file: an 8-byte
// signature, a 40-byte header, the data area from offset 48, then the block
// table (the used entries in ring order) and the hash table. All fields are
// unsigned 32-bit little-endian words; the structs are the exact bytes.
#ifndef ORVEL_ARCHIVE_BASIC_FORMAT_H
#define ORVEL_ARCHIVE_BASIC_FORMAT_H

#include <cstdint>

#include "archive/HashEntry.h"

namespace orvel {
namespace basic {

struct PacketHeader {
  uint32_t fileSize;  // file size when the header was last written
  uint32_t versionHigh;
  uint32_t versionLow;
  uint32_t flags;  // kFlagHoles, kFlagScrambled
  uint32_t blockTableOffset;
  uint32_t fileCount;  // used block entries, "(listfile)" included
  uint32_t ringFirst;  // first used block entry
  uint32_t ringNext;   // where the next block entry goes
  uint32_t hashTableOffset;
  uint32_t tableSize;  // entries of both tables, a power of two
};

// The hash table's record and free marker are those of both variants.
using orvel::HashEntry;
using orvel::kNone;

// An unused entry is all zero in memory; the file holds only used ones.
struct BlockEntry {
  uint32_t offset;
  uint32_t storedSize;
  uint32_t originalSize;
  uint32_t flags;  // kFileCompressed
  uint32_t hashIndex;
  uint32_t versionHigh;
  uint32_t versionLow;
};

static_assert(sizeof(PacketHeader) == 40, "header is 10 words");
static_assert(sizeof(BlockEntry) == 28, "block entry is 7 words");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "records are read and written as little-endian memory images");

constexpr unsigned char kSignature[8] = {'V', 'R', 'K', 0x1A, 32, 0, 0, 0};
constexpr uint32_t kSignatureSize = 8;
constexpr uint32_t kHeaderOffset = 8;
constexpr uint32_t kDataStart = 48;

constexpr uint32_t kFlagHoles = 1;         // removed data waits for compaction
constexpr uint32_t kFlagScrambled = 2;     // what a writer sets
constexpr uint32_t kFlagScrambleMask = 6;  // what a reader accepts
constexpr uint32_t kFileCompressed = 1;

constexpr uint32_t kAddCompress = 1;
constexpr uint32_t kAddForce = 2;

constexpr uint32_t kScrambleSeed = 0x6D2B94C7u;

// Largest table whose byte counts (28 per block entry) stay within 32 bits.
constexpr uint32_t kMaxTableSize = 1u << 26;

constexpr char kListFileName[] = "(listfile)";
constexpr char kPatchListName[] = "(patchlist)";

// Longest path the object keeps (with its NUL).
constexpr uint32_t kMaxPath = 260;

}  // namespace basic
}  // namespace orvel

#endif
