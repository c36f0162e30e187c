// The allocation rule: every block the library owns comes from the host's
// allocator when one is installed (g_vrkAllocator, alignment 16), else from
// the general heap. Failure is a null result, never an exception.
#ifndef ORVEL_FRAME_ALLOCATION_H
#define ORVEL_FRAME_ALLOCATION_H

#include <cstddef>
#include <new>

namespace orvel {

void* VrkAlloc(std::size_t size);
void VrkFree(void* p);

// Copies a string on the process heap (malloc), whatever allocator is
// installed; release with HeapStrFree. Null when out of memory.
char* HeapStrDup(const char* s);
void HeapStrFree(char* s);

// Base for library classes created with `new`: their memory follows the
// allocation rule. The allocation function is non-throwing, so `new T` yields
// null (and constructs nothing) when the allocator fails.
struct VrkHeapObject {
  static void* operator new(std::size_t size) noexcept { return VrkAlloc(size); }
  static void operator delete(void* p) noexcept { VrkFree(p); }
  static void* operator new[](std::size_t) = delete;
  static void operator delete[](void*) = delete;
};

// Owning pointer to a raw block from VrkAlloc.
struct VrkFreeDeleter {
  void operator()(void* p) const noexcept { VrkFree(p); }
};

// Standard-library allocator over the allocation rule, for internal
// containers. Throws std::bad_alloc on failure: callers catch it before it
// could reach the library boundary.
template <class T>
struct VrkStlAllocator {
  using value_type = T;
  VrkStlAllocator() noexcept = default;
  template <class U>
  VrkStlAllocator(const VrkStlAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    void* p = VrkAlloc(n * sizeof(T));
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t) noexcept { VrkFree(p); }
  template <class U>
  bool operator==(const VrkStlAllocator<U>&) const noexcept { return true; }
  template <class U>
  bool operator!=(const VrkStlAllocator<U>&) const noexcept { return false; }
};

}  // namespace orvel

#endif
