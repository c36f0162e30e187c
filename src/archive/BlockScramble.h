// Scrambling of the block table on disk: the used entries, in ring order, are
// a sequence of words w0..wn-1 stored as si = K ^ w0 ^ ... ^ wi. The chain
// runs on across the wrap from the last table index to index 0.
#ifndef ORVEL_ARCHIVE_BLOCK_SCRAMBLE_H
#define ORVEL_ARCHIVE_BLOCK_SCRAMBLE_H

#include <cstdint>

#include "archive/BasicFormat.h"

namespace orvel {
namespace basic {

// Writes the scrambled form of the `count` ring entries of `plain` starting
// at `first` (table of `size` entries) into the same indices of `out`.
void ScrambleBlockRing(const BlockEntry* plain, BlockEntry* out, uint32_t size, uint32_t first,
                       uint32_t count);
// Undoes the scrambling in place over the same ring entries.
void UnscrambleBlockRing(BlockEntry* table, uint32_t size, uint32_t first, uint32_t count);

}  // namespace basic
}  // namespace orvel

#endif
