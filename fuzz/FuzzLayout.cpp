#include "FuzzLayout.h"

#include "advance/AdvanceFormat.h"
#include "archive/BasicFormat.h"
#include "codec/NameHash.h"

namespace orvel_fuzz {

using orvel::AdvanceBlockEntry;
using orvel::AdvanceHeader;
using orvel::HashEntry;
namespace basic = orvel::basic;

Span FitSpan(const std::string& s, uint64_t at, uint64_t count, uint64_t record, uint64_t trailer) {
  const uint64_t size = count * record;
  if (count > s.size() || at + size + trailer > s.size()) return {};
  return {static_cast<size_t>(at), static_cast<size_t>(size), true};
}

bool IsTableFile(const FuzzFile& f) { return f.kind == kTableFile && SideHeader(f.bytes).valid; }

Span SideHeader(const std::string& bhl) {
  return FitSpan(bhl, 0, 1, sizeof(AdvanceHeader), orvel::kChecksumSize);
}

Span SideBlockTable(const std::string& bhl) {
  if (!SideHeader(bhl).valid) return {};
  return FitSpan(bhl, GetWord(bhl, offsetof(AdvanceHeader, blockTableOffset)),
                 GetWord(bhl, offsetof(AdvanceHeader, fileCount)), sizeof(AdvanceBlockEntry),
                 orvel::kChecksumSize);
}

Span SideHashTable(const std::string& bhl) {
  if (!SideHeader(bhl).valid) return {};
  return FitSpan(bhl, GetWord(bhl, offsetof(AdvanceHeader, hashTableOffset)),
                 GetWord(bhl, offsetof(AdvanceHeader, tableSize)), sizeof(HashEntry),
                 orvel::kChecksumSize);
}

bool SideTablesEnciphered(const std::string& bhl) {
  return (GetWord(bhl, offsetof(AdvanceHeader, flags)) & orvel::kAdvFlagCipherMask) != 0;
}

namespace {

bool HasSignature(const FuzzFile& f) {
  return (f.kind == kArchiveFile || f.kind == kOtherName) && f.bytes.size() >= basic::kDataStart &&
         std::memcmp(f.bytes.data(), basic::kSignature, sizeof basic::kSignature) == 0;
}

uint32_t ArchiveFlags(const std::string& archive) {
  return GetWord(archive, basic::kHeaderOffset + offsetof(basic::PacketHeader, flags));
}

uint32_t BasicField(const std::string& archive, size_t field) {
  return GetWord(archive, basic::kHeaderOffset + field);
}

}  // namespace

bool IsBasicArchive(const FuzzFile& f) {
  return HasSignature(f) && !(ArchiveFlags(f.bytes) & orvel::kAdvFlagAdvanced);
}

bool IsAdvancedArchive(const FuzzFile& f) {
  return HasSignature(f) && (ArchiveFlags(f.bytes) & orvel::kAdvFlagAdvanced);
}

Span BasicHeader(const std::string& archive) {
  return FitSpan(archive, basic::kHeaderOffset, 1, sizeof(basic::PacketHeader), 0);
}

// The block table on disk is the used entries in ring order, one run.
Span BasicBlockTable(const std::string& archive) {
  return FitSpan(archive, BasicField(archive, offsetof(basic::PacketHeader, blockTableOffset)),
                 BasicField(archive, offsetof(basic::PacketHeader, fileCount)),
                 sizeof(basic::BlockEntry), 0);
}

Span BasicHashTable(const std::string& archive) {
  return FitSpan(archive, BasicField(archive, offsetof(basic::PacketHeader, hashTableOffset)),
                 BasicField(archive, offsetof(basic::PacketHeader, tableSize)), sizeof(HashEntry),
                 0);
}

bool BasicBlocksScrambled(const std::string& archive) {
  return (ArchiveFlags(archive) & basic::kFlagScrambleMask) != 0;
}

Span ListRecord(const std::string& lst) {
  return FitSpan(lst, 0, 1, sizeof(AdvanceBlockEntry), orvel::kChecksumSize);
}

Span ListText(const std::string& lst) {
  if (!ListRecord(lst).valid) return {};
  return FitSpan(lst, GetWord(lst, offsetof(AdvanceBlockEntry, offset)), 1,
                 GetWord(lst, offsetof(AdvanceBlockEntry, storedSize)), orvel::kChecksumSize);
}

const unsigned int* ListFileHashes() {
  static unsigned int hashes[3];
  static const bool made = [] {
    static unsigned int crypt[orvel::kCryptTableWords];
    orvel::InitCryptTable(crypt);
    orvel::HashNameAll(orvel::kListFileName, crypt, hashes);
    return true;
  }();
  (void)made;
  return hashes;
}

bool IsListFileEntry(const std::string& s, size_t at) {
  const unsigned int* h = ListFileHashes();
  return at + 12 <= s.size() && GetWord(s, at) == h[0] && GetWord(s, at + 4) == h[1] &&
         GetWord(s, at + 8) == h[2];
}

}  // namespace orvel_fuzz
