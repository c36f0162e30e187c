// Progress callbacks.
#ifndef ORVEL_VRK_CALLBACKS_H
#define ORVEL_VRK_CALLBACKS_H

#include "VrkExport.h"

class IOrvelPacket;

// Callback kinds. Each callback gets (archive, total, current); its result
// is ignored, so a callback cannot cancel an operation.
enum {
  VRKCB_KIND_1 = 1,             // never called
  VRKCB_KIND_2 = 2,             // never called
  VRKCB_KIND_3 = 3,             // never called
  VRKCB_COMPACT = 4,            // CompactPacket, before each file is copied
  VRKCB_GROW_TABLES = 5,        // table growth, after each entry is moved
  VRKCB_MAKE_PATCH = 6,         // building a patch, before each file
  VRKCB_APPLY_PATCH = 7,        // applying a patch, before each record
  VRKCB_WRITE_BLOCK_TABLE = 8,  // writing the block table
  VRKCB_WRITE_HASH_TABLE = 9    // writing the hash table (advanced archive)
};

typedef int (*VrkCallback)(IOrvelPacket* packet, int total, int current);

// Stores `callback` for `kind` (1 to 9; null clears it). Other kinds are
// ignored.
VRK_API void SetVrkCallback(unsigned long kind,
                            int (*callback)(IOrvelPacket*, int, int));

#endif
