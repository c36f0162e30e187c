// The tree record's stored form (tools/vrk/tree/RecordCodec.h) as raw
// fields (of version 1 or 2), for structure-aware mutation: an entry keeps the bytes it shares
// with the one before as a count, not as text, so that mutations can make
// names share far more than an encoder would, or more than there is.
#ifndef ORVEL_FUZZ_FUZZ_RECORD_H
#define ORVEL_FUZZ_FUZZ_RECORD_H

#include <cstdint>
#include <string>
#include <vector>

namespace orvel_fuzz {

struct RawRecordEntry {
  unsigned char kind = 'f';
  uint64_t shared = 0;
  std::string rest;
  uint64_t mode = 0644;
  uint64_t seconds = 0;  // zigzag form
  uint64_t nanoseconds = 0;
  std::string target;  // links and hard links
  // Version 2 only:
  uint64_t owner = 0;
  uint64_t alias = 0;   // files
  uint64_t device = 0;  // devices
};

struct RawRecordOwner {  // version 2 only
  uint64_t uid = 0;
  uint64_t gid = 0;
  std::string user;
  std::string group;
};

struct RawRecord {
  unsigned char version = 2;
  std::vector<RawRecordOwner> owners;  // version 2 only
  bool countCorrect = true;
  uint64_t count = 0;  // used when !countCorrect
  std::vector<RawRecordEntry> entries;
  std::string tail;  // bytes after the last entry that parsed
  bool checksumCorrect = true;
  uint32_t checksum = 0;  // used when !checksumCorrect
};

// Reads what it can of `bytes`: entries up to the first that does not parse,
// the rest into `tail`. False when even the header is not there.
bool ParseRawRecord(const std::string& bytes, RawRecord* record);
// The stored form, with the count and checksum computed unless told otherwise.
std::string WriteRawRecord(const RawRecord& record);

}  // namespace orvel_fuzz

#endif
