#include "advance/AdvanceValidate.h"

#include <cstring>
#include <memory>

#include "frame/Allocation.h"

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

namespace {

bool IsFree(const HashEntry& e) { return e.blockIndex == kNone; }

bool IsAllFree(const HashEntry& e) {
  return e.hash0 == kNone && e.hash1 == kNone && e.hash2 == kNone &&
         e.next == kNone;
}

}  // namespace

bool AreValidAdvanceTables(const AdvanceHeader& header,
                           const AdvanceBlockEntry* blocks,
                           const HashEntry* hashes, uint32_t archiveSize,
                           const unsigned int listFileHash[3]) {
  const uint32_t size = header.tableSize;
  const uint32_t mask = size - 1;
  uint32_t used = 0;
  for (uint32_t s = 0; s < size; ++s) {
    const HashEntry& e = hashes[s];
    if (IsFree(e)) {
      if (!IsAllFree(e)) return false;
      continue;
    }
    ++used;
    if (e.blockIndex >= header.blockCount) return false;
    if (e.next != kNone && e.next >= size) return false;
    const AdvanceBlockEntry& b = blocks[e.blockIndex];
    if (b.hashIndex != s) return false;
    const bool isList = e.hash0 == listFileHash[0] &&
                        e.hash1 == listFileHash[1] && e.hash2 == listFileHash[2];
    if (!isList && static_cast<uint64_t>(b.offset) + b.storedSize + kChecksumSize >
                       archiveSize)
      return false;
  }
  // Each used slot points at a distinct block entry (the entry points back),
  // so equal counts make the mapping one to one.
  if (used != header.blockCount) return false;

  std::unique_ptr<void, VrkFreeDeleter> mark(VrkAlloc(size));
  if (!mark) return false;
  auto* visited = static_cast<unsigned char*>(mark.get());
  std::memset(visited, 0, size);
  for (uint32_t head = 0; head < size; ++head) {
    if (IsFree(hashes[head]) || (hashes[head].hash0 & mask) != head) continue;
    uint32_t cur = head;
    for (;;) {
      // A revisit means a cycle or two chains merging.
      if (visited[cur] || IsFree(hashes[cur])) return false;
      if ((hashes[cur].hash0 & mask) != head) return false;
      visited[cur] = 1;
      if (hashes[cur].next == kNone) break;
      cur = hashes[cur].next;
    }
  }
  for (uint32_t s = 0; s < size; ++s)
    if (!IsFree(hashes[s]) && !visited[s]) return false;
  return true;
}

}  // namespace orvel
