// Fuzzes the table side file of an advanced archive: the input is the whole
// ".bhl" file, placed beside the archive and list side file of the
// reference archive (ReferenceArchive.h), whose data records stay intact.
// The mutator changes the tables through their deciphered view and reseals
// them, so that hostile block and hash entries reach lookups, reads and
// compaction.
#include "FuzzFiles.h"

constexpr uint8_t kSideKind = orvel_fuzz::kTableFile;

#include "SideFileTarget.h"
