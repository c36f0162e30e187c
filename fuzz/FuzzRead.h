// Every operation a host uses on an archive it opened, applied to whatever a
// hostile input made open: enumeration, the queries, every way of reading a
// file (whole, into small and exact buffers, raw, to disk, by name and by
// index, with and without checksum verification), then changes and
// compaction, and a second open of the result. Counts and sizes are capped
// so that one input runs fast whatever its tables claim.
#ifndef ORVEL_FUZZ_FUZZ_READ_H
#define ORVEL_FUZZ_FUZZ_READ_H

#include <OrvelPacket.h>

#include <string>

namespace orvel_fuzz {

void ReadEverything(IOrvelPacket* a, const std::string& scratchFile);

// Adds, replaces and deletes in one bracket, then compacts.
void ChangeAndCompact(IOrvelPacket* a);

// Opens `path` through the factory and does all of the above.
void UseArchive(const std::string& path);

}  // namespace orvel_fuzz

#endif
