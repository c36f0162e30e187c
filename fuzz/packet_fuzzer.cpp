// Fuzzes the factory and everything a host does with what it opens. An
// input carries up to six files (FuzzFiles.h): an archive of either variant
// under ".vrk" or ".pak", table and list side files, any of them missing or
// extra. The mutator works on tables and name lists and repairs every
// checksum it breaks (FuzzMutate.h), so that hostile tables, enciphered
// tables and names are read rather than refused at a checksum.
#include "FuzzArchive.h"
#include "FuzzFiles.h"
#include "FuzzMutate.h"
#include "FuzzRead.h"

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned seed) {
  return orvel_fuzz::MutateContainer(data, size, maxSize, seed);
}

extern "C" size_t LLVMFuzzerCustomCrossOver(const uint8_t* data1, size_t size1,
                                            const uint8_t* data2, size_t size2, uint8_t* out,
                                            size_t maxOut, unsigned seed) {
  return orvel_fuzz::CrossContainers(data1, size1, data2, size2, out, maxOut, seed);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvel_fuzz::FuzzFiles files = orvel_fuzz::SplitFiles(data, size);
  orvel_fuzz::UseArchive(orvel_fuzz::PlaceFiles(files, orvel_fuzz::ScratchBase()));
  return 0;
}
