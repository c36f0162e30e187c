#include "FuzzRepair.h"

#include "FuzzLayout.h"
#include "FuzzPlain.h"
#include "advance/AdvanceFormat.h"
#include "codec/checksum_crc.h"

namespace orvel_fuzz {

namespace {

using orvel::AdvanceBlockEntry;

// Hostile entries may all claim the whole archive file; this caps the bytes
// summed for data records so that a repair stays fast.
constexpr uint64_t kMaxRecordBytes = uint64_t{16} << 20;

// Writes the CRC-32 of the span into the word after it.
void Seal(std::string& s, Span span) {
  if (span.valid) PutWord(s, span.at + span.size, orvel::Crc32(&s[span.at], span.size));
}

void RepairTables(std::string& bhl) {
  Seal(bhl, SideBlockTable(bhl));
  Seal(bhl, SideHashTable(bhl));
  Seal(bhl, SideHeader(bhl));
}

// Data records follow the block entries as the reader sees them: deciphered.
// The entry of "(listfile)" points into the list side file and is skipped.
void RepairRecords(std::string& archive, const FuzzFile& tables) {
  const Span blocks = SideBlockTable(tables.bytes), hashes = SideHashTable(tables.bytes);
  if (!blocks.valid) return;
  const std::string plain = PlainRange(tables, blocks, blocks.at, blocks.size);
  uint64_t summed = 0;
  for (size_t at = 0; at < plain.size(); at += sizeof(AdvanceBlockEntry)) {
    const uint64_t hashAt = uint64_t{GetWord(plain, at + offsetof(AdvanceBlockEntry, hashIndex))} *
                            sizeof(orvel::HashEntry);
    if (hashAt < hashes.size &&
        IsListFileEntry(PlainRange(tables, hashes, hashes.at + hashAt, 12), 0))
      continue;
    const Span record =
        FitSpan(archive, GetWord(plain, at + offsetof(AdvanceBlockEntry, offset)), 1,
                GetWord(plain, at + offsetof(AdvanceBlockEntry, storedSize)), orvel::kChecksumSize);
    if (!record.valid || (summed += record.size) > kMaxRecordBytes) continue;
    Seal(archive, record);
  }
}

void RepairList(std::string& lst) {
  Seal(lst, ListText(lst));
  Seal(lst, ListRecord(lst));
}

}  // namespace

void RepairCheckSums(FuzzFiles& files, const FuzzFile* changed) {
  const FuzzFile* tables = nullptr;
  for (FuzzFile& f : files)
    if (IsTableFile(f)) {
      if (!changed || changed == &f) RepairTables(f.bytes);
      if (!tables) tables = &f;
    }
  for (FuzzFile& f : files) {
    if (f.kind == kListFile && (!changed || changed == &f)) RepairList(f.bytes);
    if (tables && IsAdvancedArchive(f) && (!changed || changed == &f || changed == tables))
      RepairRecords(f.bytes, *tables);
  }
}

}  // namespace orvel_fuzz
