#include "archive/SalvageWords.h"

#include <OrvelPacket.h>

#include <cstdio>

namespace vrk {

std::string SalvagedName(const VrkSalvageEntry& e) {
  char name[64];
  if (e.origin != VRK_SALVAGE_FROM_TABLES) {
    const bool guessed = e.origin == VRK_SALVAGE_FROM_STREAM_GUESSED;
    std::snprintf(name, sizeof name, "(salvaged)/%s-%08x", guessed ? "near" : "at", e.offset);
    return name;
  }
  std::snprintf(name, sizeof name, "(salvaged)/%08x-%08x-%08x", e.hash[0], e.hash[1], e.hash[2]);
  return name;
}

const char* SalvageLossReason(int result) {
  switch (result) {
    case VRK_SALVAGE_OUTSIDE: return "its data lies past the end of the archive file";
    case VRK_SALVAGE_CHECKSUM: return "its data does not match its checksum";
    case VRK_SALVAGE_UNDECODABLE: return "its data does not decode to its size";
    default: return "out of memory";
  }
}

}  // namespace vrk
