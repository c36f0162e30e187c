// Construction of advanced archive objects for the entry object.
#ifndef ORVEL_ADVANCE_ADVANCED_PACKET_FACTORY_H
#define ORVEL_ADVANCE_ADVANCED_PACKET_FACTORY_H

class IOrvelPacket;

namespace orvel {

// A new, unopened advanced archive object (memory from the allocation rule),
// or null when the allocation fails.
IOrvelPacket* NewAdvancedPacket();
// True when `packet` is an advanced archive object.
bool IsAdvancedPacket(IOrvelPacket* packet);

}  // namespace orvel

#endif
