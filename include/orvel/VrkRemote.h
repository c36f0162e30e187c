// Archives read over HTTP(S): what the process fetched so far.
#ifndef ORVEL_VRK_REMOTE_H
#define ORVEL_VRK_REMOTE_H

#include <cstdint>

#include "VrkExport.h"

// The body bytes received from servers by every remote archive of the
// process since it started, all threads together (side files, records and
// their read-ahead, retries included). A host shows progress with it by
// taking the difference of two calls.
VRK_API uint64_t VrkRemoteBytesFetched();

#endif
