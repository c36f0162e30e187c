// The words of a salvage, shared by vrk salvage and orvelpacket.salvage:
// the name a file gets when no name of it survived, and why a file was lost.
#ifndef VRK_SALVAGE_WORDS_H
#define VRK_SALVAGE_WORDS_H

#include <string>

struct VrkSalvageEntry;

namespace vrk {

// "(salvaged)/xxxxxxxx-xxxxxxxx-xxxxxxxx" from the file's three name hashes,
// in lower case as the archive keeps every name; for a file found by its
// stream alone, "(salvaged)/at-xxxxxxxx" from its offset in the archive, or
// "(salvaged)/near-xxxxxxxx" when that offset is a guess.
std::string SalvagedName(const VrkSalvageEntry& entry);

// The reason for a VrkSalvageResult other than VRK_SALVAGE_OK.
const char* SalvageLossReason(int result);

}  // namespace vrk

#endif
