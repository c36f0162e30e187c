// The advanced archive that the table and list fuzzers pair their input
// with, and that their seeds come from: enciphered tables, compressed,
// stored and empty files, names in several directories and cases, and a
// hole left by a deleted file. It comes out byte for byte the same each
// time, so that seeds written once still match the archive a fuzzer makes.
#ifndef ORVEL_FUZZ_REFERENCE_ARCHIVE_H
#define ORVEL_FUZZ_REFERENCE_ARCHIVE_H

#include <OrvelPacket.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvel_fuzz {

// Files of an archive made by the library, in memory.
struct ArchiveFiles {
  std::string vrk, bhl, lst;
};

bool MakeReferenceArchive(const std::string& vrkPath);

// Adds files `first` to `first + count - 1` of the sample set inside one
// bracket: every seventh empty, odd ones compressed text, even ones stored
// bytes; `tiny` keeps each to a few bytes for archives of thousands of files.
bool AddSampleFiles(IOrvelPacket* a, unsigned first, unsigned count, bool tiny);
std::string SampleName(unsigned i);

// Made once per process in a directory of its own.
const ArchiveFiles& ReferenceFiles();

// The reference archive with its file of `kind` replaced by the input,
// opened and used through UseArchive (FuzzRead.h).
void UseReferenceWith(uint8_t kind, const uint8_t* data, size_t size);

// Reads the three files of the advanced archive at `vrkPath`.
ArchiveFiles ReadArchiveFiles(const std::string& vrkPath);

}  // namespace orvel_fuzz

#endif
