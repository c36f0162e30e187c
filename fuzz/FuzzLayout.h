// Where the parts of the archive files lie, read from the (possibly hostile)
// bytes of a file, for the mutator and the checksum repair. Every span is
// checked against the file's size, so a wild count or offset yields nothing.
#ifndef ORVEL_FUZZ_FUZZ_LAYOUT_H
#define ORVEL_FUZZ_FUZZ_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzFiles.h"

namespace orvel_fuzz {

struct Span {
  size_t at = 0, size = 0;
  bool valid = false;
};

inline uint32_t GetWord(const std::string& s, size_t at) {
  uint32_t v = 0;
  if (at + 4 <= s.size()) std::memcpy(&v, &s[at], 4);
  return v;
}

inline void PutWord(std::string& s, size_t at, uint32_t v) {
  if (at + 4 <= s.size()) std::memcpy(&s[at], &v, 4);
}

// A span of `count` records of `record` bytes at `at`, when it fits in `s`
// with `trailer` more bytes after it.
Span FitSpan(const std::string& s, uint64_t at, uint64_t count, uint64_t record, uint64_t trailer);

// Advanced table side file: its header, block table and hash table.
bool IsTableFile(const FuzzFile& f);
Span SideHeader(const std::string& bhl);
Span SideBlockTable(const std::string& bhl);
Span SideHashTable(const std::string& bhl);
bool SideTablesEnciphered(const std::string& bhl);

// Archive file of either variant: signature and version 32 first; the flags
// word at offset 20 tells the variants apart.
bool IsBasicArchive(const FuzzFile& f);
bool IsAdvancedArchive(const FuzzFile& f);
Span BasicHeader(const std::string& archive);
Span BasicBlockTable(const std::string& archive);
Span BasicHashTable(const std::string& archive);
bool BasicBlocksScrambled(const std::string& archive);

// List side file: its record (a block entry) and the stored list text.
Span ListRecord(const std::string& lst);
Span ListText(const std::string& lst);

// The three name hashes of "(listfile)", whose entry both variants keep.
const unsigned int* ListFileHashes();
// True when the hash entry at `at` (its first 12 bytes suffice) carries them.
bool IsListFileEntry(const std::string& s, size_t at);

}  // namespace orvel_fuzz

#endif
