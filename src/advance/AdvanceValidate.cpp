#include "advance/AdvanceValidate.h"

#include "archive/HashChain.h"
#include "orvel/VrkErrors.h"

namespace orvel {

namespace {

constexpr uint32_t kLookAhead = 32;  // slots between a prefetch and its use

}  // namespace

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
  // One pass over the slots; each chain is walked from its home index.
  ChainCheck chains(hashes, size);
  for (uint32_t s = 0; s < size; ++s) {
    // The block entry and the chain link a slot further on names are far
    // apart in memory: asking for them early keeps the pass at memory speed
    // rather than one cache miss per slot.
    if (s + kLookAhead < size) {
      const HashEntry& ahead = hashes[s + kLookAhead];
      if (ahead.blockIndex < header.blockCount) __builtin_prefetch(&blocks[ahead.blockIndex]);
      if (ahead.next < size) __builtin_prefetch(&hashes[ahead.next]);
    }
    if (!chains.Visit(s)) return false;
    const HashEntry& e = hashes[s];
    if (IsFreeEntry(e)) continue;
    if (e.blockIndex >= header.blockCount) return false;
    const AdvanceBlockEntry& b = blocks[e.blockIndex];
    if (b.hashIndex != s) return false;
    const uint64_t end = uint64_t{b.offset} + b.storedSize + kChecksumSize;
    if (!HasHashes(e, listFileHash) && end > archiveSize) return false;
  }
  // Each used slot points at a distinct block entry (the entry points back),
  // so equal counts make the mapping one to one.
  return chains.Used() == header.blockCount && chains.Finish();
}

}  // namespace orvel
