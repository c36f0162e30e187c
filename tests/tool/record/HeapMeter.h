// The most heap memory this test program held at once through operator new
// (HeapMeter.cpp replaces it), from a chosen point on.
#ifndef VRK_TEST_HEAP_METER_H
#define VRK_TEST_HEAP_METER_H

#include <cstddef>

namespace vrktest {

// Starts a new measurement from what is held now.
void ResetHeapPeak();
// The most bytes held at once since ResetHeapPeak, beyond what was held then.
size_t HeapPeakGrowth();

}  // namespace vrktest

#endif
