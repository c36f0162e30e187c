// Salvage of a damaged basic archive. The header at the start says where the
// tables behind the data area are; they are read as far as the file goes,
// the block ring unscrambled word by word (so damage stays where it is), and
// every hash entry whose block entry points back at it is one file. Names
// come from the lines of the list file that still decode and hash to an
// entry. When the tables are cut short, the data area they no longer cover is
// searched for the streams of compressed files (BasicSalvageScan.cpp).
#include <algorithm>
#include <vector>

#include "archive/BasicFormat.h"
#include "archive/BasicSalvageScan.h"
#include "archive/BlockScramble.h"
#include "archive/HashChain.h"
#include "archive/SalvageState.h"
#include "codec/NameHash.h"
#include "frame/ErrorCode.h"

namespace orvel {
namespace {

using State = CVrkSalvage::State;
using basic::BlockEntry;
using basic::PacketHeader;

bool IsSaneHeader(const PacketHeader& h) {
  const uint32_t size = h.tableSize;
  return size >= 2 && size <= basic::kMaxTableSize && (size & (size - 1)) == 0 &&
         h.fileCount <= size && h.ringFirst < size && h.blockTableOffset >= basic::kDataStart &&
         h.hashTableOffset >= basic::kDataStart;
}

// The tables as far as they survived; blocks[k] is the k-th entry of the ring.
struct Tables {
  SalvageBlock blockBytes;
  SalvageBlock hashBytes;
  uint32_t blocks = 0;
  uint32_t slots = 0;
  const BlockEntry* Block(uint32_t k) const {
    return reinterpret_cast<const BlockEntry*>(blockBytes.get()) + k;
  }
  const HashEntry* Slot(uint32_t i) const {
    return reinterpret_cast<const HashEntry*>(hashBytes.get()) + i;
  }
};

bool ReadTables(const SalvageInput& archive, const PacketHeader& h, Tables* t) {
  if (!archive.ReadEntries(h.blockTableOffset, h.fileCount, sizeof(BlockEntry), &t->blockBytes,
                           &t->blocks) ||
      !archive.ReadEntries(h.hashTableOffset, h.tableSize, sizeof(HashEntry), &t->hashBytes,
                           &t->slots))
    return false;
  if (h.flags & basic::kFlagScrambleMask)
    basic::UnscrambleBlockRing(reinterpret_cast<BlockEntry*>(t->blockBytes.get()), t->blocks, 0,
                               t->blocks);
  return true;
}

bool IsListEntry(const SalvageInput& archive, const VrkSalvageEntry& e) {
  unsigned char head[32];
  const uint32_t n = std::min<uint32_t>(e.storedSize, sizeof head);
  return (e.flags & basic::kFileCompressed) && archive.Read(head, n, e.offset) &&
         StartsAsNameList(head, n);
}

void ReadNames(const SalvageInput& archive, const BlockEntry& list, State* s) {
  if (uint64_t{list.offset} + list.storedSize > archive.size) return;
  SalvageBlock stored(static_cast<unsigned char*>(VrkAlloc(uint64_t{list.storedSize} + 1)));
  if (!stored || !archive.Read(stored.get(), list.storedSize, list.offset)) return;
  s->NameFromStoredList(stored.get(), list.storedSize, list.originalSize,
                        (list.flags & basic::kFileCompressed) != 0, archive.size);
}

}  // namespace

bool SalvageBasicArchive(SalvageInput* archive, State* s) {
  PacketHeader h{};
  if (!archive->Read(&h, sizeof h, basic::kHeaderOffset)) return SetError(VRKERR_NO_HEADER), false;
  s->flags = h.flags;
  s->versionHigh = h.versionHigh;
  s->versionLow = h.versionLow;
  const bool sane = IsSaneHeader(h);
  Tables t;
  if (sane && !ReadTables(*archive, h, &t)) return SetError(VRKERR_NO_MEMORY), false;
  if (!s->Reserve(uint64_t{t.blocks} + 1)) return SetError(VRKERR_NO_MEMORY), false;

  unsigned int listHash[3];
  HashNameAll(basic::kListFileName, s->cryptTable, listHash);
  const BlockEntry* list = nullptr;
  // Where the list lies when a damaged hash hides it: last in the data area.
  uint32_t lastInData = kNone;
  // Stored bytes that a surviving entry accounts for, the list's included.
  std::vector<ByteRange> covered;
  uint32_t claimed = 0;
  for (uint32_t i = 0; i < t.slots; ++i) {
    const HashEntry& e = *t.Slot(i);
    if (IsFreeEntry(e) || e.blockIndex >= h.tableSize) continue;
    const uint32_t k = (e.blockIndex - h.ringFirst) & (h.tableSize - 1);
    if (k >= t.blocks) continue;
    const BlockEntry& b = *t.Block(k);
    if (b.hashIndex != i) continue;
    ++claimed;
    covered.push_back(ByteRange{b.offset, uint64_t{b.offset} + b.storedSize});
    if (HasHashes(e, listHash)) {
      list = &b;
      continue;
    }
    if (uint64_t{b.offset} + b.storedSize == h.blockTableOffset) lastInData = s->count;
    s->entries[s->count++] =
        VrkSalvageEntry{{e.hash0, e.hash1, e.hash2}, b.flags, b.offset, b.storedSize,
                        b.originalSize, b.versionHigh, b.versionLow, 0, 0, VRK_SALVAGE_FROM_TABLES,
                        nullptr};
  }
  BlockEntry hidden{};
  if (!list && lastInData != kNone && IsListEntry(*archive, s->entries[lastInData])) {
    const VrkSalvageEntry& e = s->entries[lastInData];
    hidden = BlockEntry{e.offset, e.storedSize, e.originalSize, e.flags, 0, 0, 0};
    list = &hidden;
    s->entries[lastInData] = s->entries[--s->count];
  }
  // The list's own entry is not a file; a header that fails its checks says
  // nothing of how many files there were.
  const uint32_t files = sane && h.fileCount > 0 ? h.fileCount - 1 : 0;
  const uint32_t found = list ? claimed - 1 : claimed;
  uint32_t scanned = 0;
  // Tables cut short (or a header that no longer says where they are): the
  // files they no longer name may still lie whole in the data area.
  if (!sane || t.blocks < h.fileCount || t.slots < h.tableSize) {
    const uint64_t end = sane ? std::min<uint64_t>(archive->size, h.blockTableOffset)
                              : archive->size;
    if (!ScanDataArea(*archive, end, &covered, s, &scanned))
      return SetError(VRKERR_NO_MEMORY), false;
  }
  s->lost = files > found + scanned ? files - found - scanned : 0;
  s->Sort();
  if (list) ReadNames(*archive, *list, s);

  s->archive = archive->handle;
  s->archiveSize = archive->size;
  archive->handle = kInvalidFile;  // kept by the state
  return true;
}

}  // namespace orvel
