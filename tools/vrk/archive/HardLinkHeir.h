// When the file entry that holds the data of hard links leaves the record
// (deleted, or replaced by what is not a file), the first of its remaining
// hard links becomes the file: the data is stored again under that link's
// name, or an alias when the archive cannot keep it there, and the other
// links name it.
#ifndef VRK_HARD_LINK_HEIR_H
#define VRK_HARD_LINK_HEIR_H

#include <set>
#include <string>

#include "archive/ArchiveNaming.h"
#include "tree/TreeRecord.h"

namespace vrk {

class Packet;

// Passes the data of the file entry named exactly `holder` on to its first
// hard link not in `leaving`; nothing when it holds none. Call inside an
// update bracket, before the holder's data is deleted or replaced; throws
// on library failures.
void PassOnHardLinks(const Packet& packet, TreeRecord& record, const std::string& holder,
                     const std::set<std::string>& leaving, Version version);

}  // namespace vrk

#endif
