#include "advance/AdvancedPacketFactory.h"

namespace orvel {

// Placeholder until the advanced archive class lands.
IOrvelPacket* NewAdvancedPacket() { return nullptr; }
bool IsAdvancedPacket(IOrvelPacket*) { return false; }

}  // namespace orvel
