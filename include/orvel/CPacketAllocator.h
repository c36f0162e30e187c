// Host-installable allocator.
#ifndef ORVEL_CPACKET_ALLOCATOR_H
#define ORVEL_CPACKET_ALLOCATOR_H

#include "VrkExport.h"

// Base class of a host allocator. The base is a null allocator: Alloc
// returns null and Free does nothing. A host derives from it, overrides both
// and stores its object in g_vrkAllocator; from then on every block the
// library allocates or frees goes through it (Alloc is always asked for
// alignment 16). Install it before the first archive is created and keep it
// until the last object and the last ReadFileAlloc buffer are released; set
// the pointer back to null before the library is unloaded.
class VRK_API CPacketAllocator {
 public:
  CPacketAllocator();
  CPacketAllocator(const CPacketAllocator&);
  virtual ~CPacketAllocator();
  CPacketAllocator& operator=(const CPacketAllocator&);

  // Returns size bytes aligned to at least `alignment`, or null.
  virtual void* Alloc(unsigned int size, unsigned int alignment);
  // Releases a block returned by Alloc.
  virtual void Free(void* p);
};

// The installed allocator; null (the general heap) at load.
extern VRK_API CPacketAllocator* g_vrkAllocator;
// A counter kept for the host; the library never reads or changes it.
extern VRK_API unsigned int g_sMemoryUsed;

#endif
