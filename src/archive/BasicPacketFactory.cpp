#include "archive/BasicPacketFactory.h"

#include "archive/BasicPacket.h"

namespace orvel {

// The class's own allocation function follows the allocation rule and yields
// null (constructing nothing) when memory runs out.
IOrvelPacket* NewBasicPacket() { return new COrvelPacket; }

}  // namespace orvel
