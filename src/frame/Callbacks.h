// Invoking the host's progress callbacks.
#ifndef ORVEL_FRAME_CALLBACKS_H
#define ORVEL_FRAME_CALLBACKS_H

#include "orvel/VrkCallbacks.h"

namespace orvel {

// Calls the callback registered for `kind`, if any; its result is ignored.
void FireCallback(unsigned kind, IOrvelPacket* packet, int total, int current);
// Whether FireCallback(kind, ...) would call the host.
bool HasCallback(unsigned kind);

// Clears every slot (tests).
void ResetCallbacks();

}  // namespace orvel

#endif
