// The library's checksum, available to hosts.
#ifndef ORVEL_VRK_CHECKSUM_H
#define ORVEL_VRK_CHECKSUM_H

#include "VrkExport.h"

// CRC-32 (the one of zlib and PNG) of `size` bytes. The archives and patch
// files store this value after their data. A null buffer or a size of 0 is
// reported as a failed assertion and gives 0.
VRK_API unsigned long CalcVrkCheckSum(void* buffer, unsigned long size);

#endif
