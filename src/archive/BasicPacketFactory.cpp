#include "archive/BasicPacketFactory.h"

namespace orvel {

// Placeholder until the basic archive class lands.
IOrvelPacket* NewBasicPacket() { return nullptr; }

}  // namespace orvel
