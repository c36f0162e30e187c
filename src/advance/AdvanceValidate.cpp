#include "advance/AdvanceValidate.h"

#include "archive/HashChain.h"
#include "orvel/VrkErrors.h"

namespace orvel {

bool IsValidAdvanceHeader(const AdvanceHeader& h) {
  const uint32_t size = h.tableSize;
  if (size < 2 || size > kMaxTableSize || (size & (size - 1)) != 0) return false;
  if (h.fileCount != h.blockCount || h.fileCount > size) return false;
  if (h.blockTableOffset < kSideBlockTableOffset) return false;
  const uint64_t blockEnd = static_cast<uint64_t>(h.blockTableOffset) +
                            uint64_t{sizeof(AdvanceBlockEntry)} * h.fileCount +
                            kChecksumSize;
  return h.hashTableOffset >= blockEnd;
}

bool AreValidAdvanceTables(const AdvanceHeader& header,
                           const AdvanceBlockEntry* blocks,
                           const HashEntry* hashes, uint32_t archiveSize,
                           const unsigned int listFileHash[3]) {
  const uint32_t size = header.tableSize;
  uint32_t used = 0;
  for (uint32_t s = 0; s < size; ++s) {
    const HashEntry& e = hashes[s];
    if (IsFreeEntry(e)) continue;
    ++used;
    if (e.blockIndex >= header.blockCount) return false;
    const AdvanceBlockEntry& b = blocks[e.blockIndex];
    if (b.hashIndex != s) return false;
    const uint64_t end = uint64_t{b.offset} + b.storedSize + kChecksumSize;
    if (!HasHashes(e, listFileHash) && end > archiveSize) return false;
  }
  // Each used slot points at a distinct block entry (the entry points back),
  // so equal counts make the mapping one to one.
  if (used != header.blockCount) return false;
  return CheckChains(hashes, size) == VRKERR_OK;
}

}  // namespace orvel
