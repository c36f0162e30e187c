#include "HeapMeter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> g_held{0};
std::atomic<size_t> g_peak{0};
std::atomic<size_t> g_base{0};

void* Take(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  const size_t held = g_held += malloc_usable_size(p);
  size_t peak = g_peak.load();
  while (held > peak && !g_peak.compare_exchange_weak(peak, held)) {
  }
  return p;
}

void Give(void* p) {
  if (!p) return;
  g_held -= malloc_usable_size(p);
  std::free(p);
}

}  // namespace

void* operator new(size_t size) { return Take(size); }
void* operator new[](size_t size) { return Take(size); }
void operator delete(void* p) noexcept { Give(p); }
void operator delete[](void* p) noexcept { Give(p); }
void operator delete(void* p, size_t) noexcept { Give(p); }
void operator delete[](void* p, size_t) noexcept { Give(p); }

namespace vrktest {

void ResetHeapPeak() {
  g_base = g_held.load();
  g_peak = g_held.load();
}

size_t HeapPeakGrowth() { return g_peak.load() - g_base.load(); }

}  // namespace vrktest
