#include "advance/AdvancedPacketFactory.h"

#include "advance/VrkAdvance.h"

namespace orvel {

IOrvelPacket* NewAdvancedPacket() { return new CVrkAdvance(); }

bool IsAdvancedPacket(IOrvelPacket* packet) {
  return packet && dynamic_cast<CVrkAdvance*>(packet) != nullptr;
}

}  // namespace orvel
