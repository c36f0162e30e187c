// Salvage of a damaged advanced archive: the side header is taken from the
// table side file when its checksum holds, else from the copy in the archive
// file; the tables are read as far as the table side file goes, deciphered in
// their own 8-byte blocks (so damage stays where it is), and every hash entry
// whose block entry points back at it is one file. Names come from whatever
// lines of the list text still decode and hash to an entry.
#include <algorithm>
#include <cstring>

#include "advance/AdvanceFormat.h"
#include "advance/AdvancePaths.h"
#include "advance/AdvanceValidate.h"
#include "archive/HashChain.h"
#include "archive/SalvageState.h"
#include "codec/CompressBuffer.h"
#include "codec/IceCipher.h"
#include "codec/NameHash.h"
#include "codec/checksum_crc.h"
#include "frame/ErrorCode.h"

namespace orvel {
namespace {

using State = CVrkSalvage::State;

// Longest archive path, with its NUL.
constexpr size_t kSalvagePathLength = 260;

bool CrcMatches(const void* bytes, uint32_t size, const unsigned char* word) {
  uint32_t stored;
  std::memcpy(&stored, word, 4);
  return Crc32(bytes, size) == stored;
}

// Reads up to `count` entries of `entrySize` bytes at `offset`, as many as lie
// wholly in the file (and, enciphered, in whole cipher blocks unless the
// table is complete). Returns the entries read; *table holds them deciphered.
uint32_t ReadTablePart(const SalvageInput& side, uint64_t offset, uint32_t count,
                       uint32_t entrySize, bool enciphered, SalvageBlock* table) {
  if (offset >= side.size || count == 0) return 0;
  const uint64_t whole = uint64_t{count} * entrySize;
  uint64_t bytes = std::min<uint64_t>(whole, side.size - offset);
  table->reset(static_cast<unsigned char*>(VrkAlloc(bytes ? bytes : 1)));
  if (!*table || !side.Read(table->get(), bytes, offset)) return 0;
  if (enciphered) {
    if (bytes < whole) bytes -= bytes % 8;
    DecipherBuffer(table->get(), static_cast<unsigned>(bytes));
  }
  return static_cast<uint32_t>(bytes / entrySize);
}

bool ReadTables(const SalvageInput& side, const AdvanceHeader& h, State* s) {
  const bool enciphered = (h.flags & kAdvFlagCipherMask) != 0;
  SalvageBlock blockBytes;
  SalvageBlock hashBytes;
  const uint32_t blocks = ReadTablePart(side, h.blockTableOffset, h.fileCount,
                                        sizeof(AdvanceBlockEntry), enciphered, &blockBytes);
  const uint32_t slots = ReadTablePart(side, h.hashTableOffset, h.tableSize, sizeof(HashEntry),
                                       enciphered, &hashBytes);
  if (!s->Reserve(uint64_t{blocks} + 1)) return false;
  const auto* blockTable = reinterpret_cast<const AdvanceBlockEntry*>(blockBytes.get());
  const auto* hashTable = reinterpret_cast<const HashEntry*>(hashBytes.get());
  unsigned int listHash[3];
  HashNameAll(kListFileName, s->cryptTable, listHash);
  uint32_t claimed = 0;
  for (uint32_t i = 0; i < slots; ++i) {
    const HashEntry& e = hashTable[i];
    if (IsFreeEntry(e) || e.blockIndex >= blocks) continue;
    const AdvanceBlockEntry& b = blockTable[e.blockIndex];
    if (b.hashIndex != i) continue;
    ++claimed;
    if (HasHashes(e, listHash)) continue;
    s->entries[s->count++] =
        VrkSalvageEntry{{e.hash0, e.hash1, e.hash2}, b.flags, b.offset, b.storedSize,
                        b.originalSize, b.versionHigh, b.versionLow, b.fileTimeLow,
                        b.fileTimeHigh, VRK_SALVAGE_FROM_TABLES, nullptr};
  }
  // The list's own entry is not a file to recover, intact or not.
  const uint32_t files = h.fileCount > 0 ? h.fileCount - 1 : 0;
  const uint32_t found = claimed > s->count ? claimed - 1 : claimed;
  s->lost = files > found ? files - found : 0;
  s->Sort();
  return true;
}

void ReadNames(const char* listPath, State* s) {
  SalvageInput list(listPath);
  if (list.handle == kInvalidFile) return;
  unsigned char record[kListRecordSize];
  if (!list.Read(record, sizeof record, 0)) return;
  AdvanceBlockEntry r;
  std::memcpy(&r, record, sizeof r);
  // A damaged record still often holds the true sizes; the lines are
  // judged by their hashes anyway.
  if (uint64_t{r.offset} + r.storedSize > list.size) return;
  SalvageBlock stored(static_cast<unsigned char*>(VrkAlloc(uint64_t{r.storedSize} + 1)));
  if (!stored || !list.Read(stored.get(), r.storedSize, r.offset)) return;
  s->NameFromStoredList(stored.get(), r.storedSize, r.originalSize,
                        (r.flags & kFileCompressed) != 0, list.size);
}

}  // namespace

// The header of the table side file when its checksum holds, else the copy
// in the archive file, else whichever still looks like a header.
bool SalvageAdvancedArchive(const char* path, State* state) {
  const size_t n = std::strlen(path);
  if (n >= kSalvagePathLength) return SetError(VRKERR_OPEN_FILE), false;
  if (!HasArchiveExtension(path)) return SetError(VRKERR_BAD_EXTENSION), false;
  char sidePath[kSalvagePathLength];
  char listPath[kSalvagePathLength];
  SideFilePath(path, kTableFileExtension, sidePath);
  SideFilePath(path, kListFileExtension, listPath);
  KeyArchiveCipher();

  SalvageInput side(sidePath);
  {
    SalvageInput archive(path);
    if (archive.handle == kInvalidFile || side.handle == kInvalidFile)
      return SetError(VRKERR_OPEN_FILE), false;
    unsigned char head[kDataStart];
    AdvanceHeader sideHeader{};
    AdvanceHeader copy{};
    unsigned char sideBytes[sizeof(AdvanceHeader) + kChecksumSize];
    const bool haveSide = side.Read(sideBytes, sizeof sideBytes, 0);
    std::memcpy(&sideHeader, sideBytes, sizeof sideHeader);
    const bool haveCopy = archive.Read(head, sizeof head, 0) &&
                          std::memcmp(head, kMagic, 4) == 0;
    std::memcpy(&copy, head + kHeaderCopyOffset, sizeof copy);
    const AdvanceHeader* h = nullptr;
    if (haveSide && CrcMatches(sideBytes, sizeof sideHeader, sideBytes + sizeof sideHeader) &&
        IsValidAdvanceHeader(sideHeader))
      h = &sideHeader;
    else if (haveCopy && IsValidAdvanceHeader(copy))
      h = &copy;
    else if (haveSide && IsValidAdvanceHeader(sideHeader))
      h = &sideHeader;
    if (!h) return SetError(VRKERR_BAD_SIGNATURE), false;
    state->flags = h->flags;
    state->versionHigh = h->versionHigh;
    state->versionLow = h->versionLow;
    state->baseVersion = h->baseVersion;
    if (!ReadTables(side, *h, state)) return SetError(VRKERR_NO_MEMORY), false;
    state->archive = archive.handle;
    state->archiveSize = archive.size;
    archive.handle = kInvalidFile;  // kept by the state
  }
  ReadNames(listPath, state);
  return true;
}

}  // namespace orvel
