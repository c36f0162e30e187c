// The exported allocator base class and the allocation globals.
#include "orvel/CPacketAllocator.h"

VRK_API CPacketAllocator* g_vrkAllocator = nullptr;
VRK_API unsigned int g_sMemoryUsed = 0;

CPacketAllocator::CPacketAllocator() {}
CPacketAllocator::CPacketAllocator(const CPacketAllocator&) {}
CPacketAllocator::~CPacketAllocator() {}
CPacketAllocator& CPacketAllocator::operator=(const CPacketAllocator&) { return *this; }

// The base class is a null allocator; hosts override both operations.
void* CPacketAllocator::Alloc(unsigned int, unsigned int) { return nullptr; }
void CPacketAllocator::Free(void*) {}
