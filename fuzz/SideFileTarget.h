// The libFuzzer hooks of a target whose input is one whole side file of the
// reference archive (ReferenceArchive.h). The including file defines
// kSideKind, the FileKind of that side file, before including this.
#ifndef ORVEL_FUZZ_SIDE_FILE_TARGET_H
#define ORVEL_FUZZ_SIDE_FILE_TARGET_H

#include "FuzzFiles.h"
#include "FuzzMutate.h"
#include "ReferenceArchive.h"

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned seed) {
  return orvel_fuzz::MutateSingleFile(kSideKind, data, size, maxSize, seed);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvel_fuzz::UseReferenceWith(kSideKind, data, size);
  return 0;
}

#endif
