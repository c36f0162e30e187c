// Fuzzes the list side file of an advanced archive: the input is the whole
// ".lst" file, placed beside the archive and table side file of the
// reference archive (ReferenceArchive.h). The mutator edits the list text
// itself (decoded, changed, compressed again) and reseals the record and
// text, so that hostile names reach enumeration, lookups and the rewriting
// of the list on commit and compaction.
#include "FuzzFiles.h"

constexpr uint8_t kSideKind = orvel_fuzz::kListFile;

#include "SideFileTarget.h"
