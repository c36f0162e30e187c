// Construction of basic archive objects for the entry object.
#ifndef ORVEL_ARCHIVE_BASIC_PACKET_FACTORY_H
#define ORVEL_ARCHIVE_BASIC_PACKET_FACTORY_H

class IOrvelPacket;

namespace orvel {

// A new, unopened basic archive object (memory from the allocation rule), or
// null when the allocation fails.
IOrvelPacket* NewBasicPacket();

}  // namespace orvel

#endif
