// Structure-aware mutation for libFuzzer's custom mutator hooks. Each step
// changes one file of a multi-file input (or which files it holds), works on
// the plain view of tables and on the name list as text where it can, and
// then rewrites the checksums, so that mutated tables and names are read,
// not refused by a checksum check. A few steps skip the repair so that the
// checks themselves stay covered.
#ifndef ORVEL_FUZZ_FUZZ_MUTATE_H
#define ORVEL_FUZZ_FUZZ_MUTATE_H

#include <cstddef>
#include <cstdint>
#include <random>

#include "FuzzFiles.h"

namespace orvel_fuzz {

using Rng = std::minstd_rand;

// One mutation of file `which`, which is kept within `maxFileSize` bytes.
void MutateFile(FuzzFiles& files, size_t which, Rng& rng, size_t maxFileSize);
// One mutation of one file or of the set of files, within `maxSize` bytes
// once joined.
void MutateFiles(FuzzFiles& files, Rng& rng, size_t maxSize);

// The hooks' bodies for an input that is a whole FuzzFiles container.
size_t MutateContainer(uint8_t* data, size_t size, size_t maxSize, unsigned seed);
size_t CrossContainers(const uint8_t* data1, size_t size1, const uint8_t* data2, size_t size2,
                       uint8_t* out, size_t maxOut, unsigned seed);
// For an input that is the bytes of a single file of `kind`.
size_t MutateSingleFile(uint8_t kind, uint8_t* data, size_t size, size_t maxSize, unsigned seed);

}  // namespace orvel_fuzz

#endif
