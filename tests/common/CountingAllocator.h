// A host allocator for tests: counts every block, checks the alignment the
// library asks for, and can be told to fail.
#ifndef ORVEL_TESTS_COMMON_COUNTING_ALLOCATOR_H
#define ORVEL_TESTS_COMMON_COUNTING_ALLOCATOR_H

#include <cstdlib>
#include <map>

#include "orvel/CPacketAllocator.h"

namespace orvel_test {

class CountingAllocator : public CPacketAllocator {
 public:
  void* Alloc(unsigned int size, unsigned int alignment) override {
    if (alignment != 16) aligned16_ = false;
    if (failAfter_ >= 0 && static_cast<long>(allocations_) >= failAfter_) return nullptr;
    if (liveBytes_ + size > byteLimit_) return nullptr;
    void* p = std::aligned_alloc(16, (size + 15) / 16 * 16 + 16);
    if (!p) return nullptr;
    ++allocations_;
    live_[p] = size;
    liveBytes_ += size;
    if (liveBytes_ > peakBytes_) peakBytes_ = liveBytes_;
    return p;
  }
  void Free(void* p) override {
    auto it = live_.find(p);
    if (it == live_.end()) {
      foreign_ = true;
    } else {
      liveBytes_ -= it->second;
      live_.erase(it);
    }
    std::free(p);
  }
  // Allocations succeed `n` more times, then fail (negative: never fail).
  void fail_after(long n) { failAfter_ = static_cast<long>(allocations_) + n; if (n < 0) failAfter_ = -1; }
  unsigned long allocations() const { return allocations_; }
  unsigned long live() const { return live_.size(); }
  // The most bytes held at once since construction or the last ResetPeak.
  unsigned long long peak_bytes() const { return peakBytes_; }
  void ResetPeak() { peakBytes_ = liveBytes_; }
  // Allocations that would hold more than `n` bytes at once fail.
  void limit_bytes(unsigned long long n) { byteLimit_ = n; }
  bool always_aligned_16() const { return aligned16_; }
  // True when Free was given a block this allocator never handed out.
  bool freed_foreign() const { return foreign_; }

 private:
  unsigned long allocations_ = 0;
  long failAfter_ = -1;
  bool aligned16_ = true;
  bool foreign_ = false;
  unsigned long long liveBytes_ = 0;
  unsigned long long peakBytes_ = 0;
  unsigned long long byteLimit_ = ~0ull;
  std::map<void*, unsigned int> live_;
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
