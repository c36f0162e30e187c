// Structural checks of an advanced archive's header and tables after they
// were read and their checksums matched. Anything that fails them is refused
// (error -6) before an operation could follow a bad index or size.
#ifndef ORVEL_ADVANCE_ADVANCE_VALIDATE_H
#define ORVEL_ADVANCE_ADVANCE_VALIDATE_H

#include <cstdint>

#include "advance/AdvanceFormat.h"

namespace orvel {

// tableSize a power of two from 2 to kMaxTableSize, fileCount equal to
// blockCount and not above tableSize, the block table after the side header
// and the hash table after the block table's checksum word.
bool IsValidAdvanceHeader(const AdvanceHeader& header);

// Hash and block tables of a header that passed IsValidAdvanceHeader: free
// slots all 0xFFFFFFFF; used slots and the first blockCount block entries
// point at each other one to one; every chain ends, holds only entries of its
// home slot and reaches every used entry of that home; every data record
// (stored bytes plus checksum word) lies inside the archive file, except the
// entry carrying `listFileHash`, whose record lives in the list side file.
bool AreValidAdvanceTables(const AdvanceHeader& header,
                           const AdvanceBlockEntry* blocks,
                           const HashEntry* hashes, uint32_t archiveSize,
                           const unsigned int listFileHash[3]);

}  // namespace orvel

#endif
