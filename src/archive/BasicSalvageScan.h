// Finding the compressed files of a basic archive whose tables are gone: the
// data area holds the stored files one after another, each a whole LZO1X
// stream, so a stream that runs cleanly to its end marker marks one file, and
// the next may start right behind it.
#ifndef ORVEL_ARCHIVE_BASIC_SALVAGE_SCAN_H
#define ORVEL_ARCHIVE_BASIC_SALVAGE_SCAN_H

#include <cstdint>
#include <vector>

#include "archive/SalvageState.h"

namespace orvel {

struct ByteRange {
  uint64_t begin;
  uint64_t end;
};

// True when the compressed stream of `size` bytes at `stream` holds the
// archive's own name list, whose text starts with its own name.
bool StartsAsNameList(const unsigned char* stream, size_t size);

// Searches the data area up to `end` outside the `covered` ranges (sorted
// here) and adds each stream found to `state` as an entry without hashes.
// The effort is bounded by a few passes over the area, whatever its bytes.
// False when out of memory; *found counts the streams added.
bool ScanDataArea(const SalvageInput& archive, uint64_t end, std::vector<ByteRange>* covered,
                  CVrkSalvage::State* state, uint32_t* found);

}  // namespace orvel

#endif
