#include "frame/Allocation.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "orvel/CPacketAllocator.h"

namespace orvel {

void* VrkAlloc(std::size_t size) {
  // The pointer is read anew every time: which allocator serves a block
  // depends on its value at that moment.
  if (CPacketAllocator* host = g_vrkAllocator) {
    if (size > UINT_MAX) return nullptr;
    return host->Alloc(static_cast<unsigned int>(size), 16);
  }
  // glibc's malloc returns 16-byte aligned blocks on x86_64.
  return std::malloc(size ? size : 1);
}

void VrkFree(void* p) {
  if (!p) return;
  if (CPacketAllocator* host = g_vrkAllocator) {
    host->Free(p);
    return;
  }
  std::free(p);
}

char* HeapStrDup(const char* s) {
  if (!s) return nullptr;
  std::size_t n = std::strlen(s) + 1;
  char* copy = static_cast<char*>(std::malloc(n));
  if (copy) std::memcpy(copy, s, n);
  return copy;
}

void HeapStrFree(char* s) { std::free(s); }

}  // namespace orvel
