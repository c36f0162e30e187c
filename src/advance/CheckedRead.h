// Reading a checksummed item of an advanced archive's side files.
#ifndef ORVEL_ADVANCE_CHECKED_READ_H
#define ORVEL_ADVANCE_CHECKED_READ_H

#include <cstdint>

#include "frame/DiskFile.h"

namespace orvel {

// Reads `count` bytes at `offset` followed by their checksum word and checks
// it. Returns 0, `shortCode` for a short read of the bytes, -34 for a short
// read of the checksum word, or -35 for a mismatch.
int ReadChecked(FileHandle file, void* buffer, uint32_t count, uint32_t offset, int shortCode);

}  // namespace orvel

#endif
