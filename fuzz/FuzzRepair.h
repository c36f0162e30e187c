// Rewrites every checksum word of an advanced archive's files to match the
// bytes it covers, so that a mutated input gets past the checks and reaches
// the tables, the name list and the data behind them. Covers the side
// header, both tables (over their bytes as stored, that is enciphered), the
// list record and list text, and the data record of every block entry. The
// basic archive has no checksums; its files are left alone.
#ifndef ORVEL_FUZZ_FUZZ_REPAIR_H
#define ORVEL_FUZZ_FUZZ_REPAIR_H

#include "FuzzFiles.h"

namespace orvel_fuzz {

// With `changed`, only the checksums that file's bytes can affect.
void RepairCheckSums(FuzzFiles& files, const FuzzFile* changed = nullptr);

}  // namespace orvel_fuzz

#endif
