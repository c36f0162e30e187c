// The patch file: a 20-byte header and its CRC-32, the records, and the
// CRC-32 of the records; all words little-endian.
#ifndef ORVEL_PATCH_PATCH_FILE_FORMAT_H
#define ORVEL_PATCH_PATCH_FILE_FORMAT_H

#include <cstdint>

#include "orvel/PatchData.h"

namespace orvel {

struct PatchFileHeader {
  uint32_t versionHigh;
  uint32_t versionLow;  // the patch level
  uint32_t format;      // kPatchFormat
  uint32_t count;       // records that follow
  uint32_t reserved;    // written as 0, ignored when read
};

static_assert(sizeof(PatchFileHeader) == 20, "header is 5 words");
static_assert(sizeof(PatchData) == 36, "record is 9 words");

constexpr uint32_t kPatchFormat = 1;
constexpr uint32_t kPatchHeaderBytes = sizeof(PatchFileHeader) + 4;  // with its checksum

// The exact length of a patch file of `count` records.
constexpr uint64_t PatchFileLength(uint32_t count) {
  return kPatchHeaderBytes + uint64_t{count} * sizeof(PatchData) + 4;
}

}  // namespace orvel

#endif
