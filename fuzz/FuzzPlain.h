// Plain views of the files: the advanced tables deciphered and the basic
// block table unscrambled. A mutation made on the plain view and turned back
// changes the entries the reader will see, instead of scattering a flipped
// cipher block over eight bytes. ToStored undoes ToPlain for the layout the
// (possibly mutated) headers give.
#ifndef ORVEL_FUZZ_FUZZ_PLAIN_H
#define ORVEL_FUZZ_FUZZ_PLAIN_H

#include <string>

#include "FuzzFiles.h"
#include "FuzzLayout.h"

namespace orvel_fuzz {

void ToPlain(FuzzFile& f);
void ToStored(FuzzFile& f);

// The `n` bytes at `at` inside `table` (a span of the table side file) as
// the reader sees them, deciphering only the blocks they touch.
std::string PlainRange(const FuzzFile& f, Span table, size_t at, size_t n);

}  // namespace orvel_fuzz

#endif
