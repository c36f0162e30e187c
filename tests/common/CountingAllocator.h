// A host allocator for tests: counts every block, checks the alignment the
// library asks for, and can be told to fail.
#ifndef ORVEL_TESTS_COMMON_COUNTING_ALLOCATOR_H
#define ORVEL_TESTS_COMMON_COUNTING_ALLOCATOR_H

#include <cstdlib>
#include <set>

#include "orvel/CPacketAllocator.h"

namespace orvel_test {

class CountingAllocator : public CPacketAllocator {
 public:
  void* Alloc(unsigned int size, unsigned int alignment) override {
    if (alignment != 16) aligned16_ = false;
    if (failAfter_ >= 0 && static_cast<long>(allocations_) >= failAfter_) return nullptr;
    void* p = std::aligned_alloc(16, (size + 15) / 16 * 16 + 16);
    if (!p) return nullptr;
    ++allocations_;
    live_.insert(p);
    return p;
  }
  void Free(void* p) override {
    if (live_.erase(p) == 0) foreign_ = true;
    std::free(p);
  }
  // Allocations succeed `n` more times, then fail (negative: never fail).
  void fail_after(long n) { failAfter_ = static_cast<long>(allocations_) + n; if (n < 0) failAfter_ = -1; }
  unsigned long allocations() const { return allocations_; }
  unsigned long live() const { return live_.size(); }
  bool always_aligned_16() const { return aligned16_; }
  // True when Free was given a block this allocator never handed out.
  bool freed_foreign() const { return foreign_; }

 private:
  unsigned long allocations_ = 0;
  long failAfter_ = -1;
  bool aligned16_ = true;
  bool foreign_ = false;
  std::set<void*> live_;
};

// Installs an allocator for the lifetime of the object.
class ScopedAllocator {
 public:
  explicit ScopedAllocator(CPacketAllocator* a) : previous_(g_vrkAllocator) { g_vrkAllocator = a; }
  ~ScopedAllocator() { g_vrkAllocator = previous_; }
  ScopedAllocator(const ScopedAllocator&) = delete;
  ScopedAllocator& operator=(const ScopedAllocator&) = delete;

 private:
  CPacketAllocator* previous_;
};

}  // namespace orvel_test

#endif
