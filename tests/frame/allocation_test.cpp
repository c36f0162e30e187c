#include "frame/Allocation.h"

#include <gtest/gtest.h>

#include "common/CountingAllocator.h"
#include "orvel/CPacketAllocator.h"

using namespace orvel;
using orvel_test::CountingAllocator;
using orvel_test::ScopedAllocator;

namespace {
struct Tracked : VrkHeapObject {
  static inline int constructed = 0;
  int payload[8] = {};
  Tracked() { ++constructed; }
};
}  // namespace

TEST(AllocationRule, EveryBlockGoesThroughTheHostWithAlignment16AndComesBack) {
  CountingAllocator counter;
  {
    ScopedAllocator use(&counter);
    void* p = VrkAlloc(100);
    Tracked* t = new Tracked;
    ASSERT_TRUE(p && t);
    EXPECT_EQ(counter.live(), 2u);
    delete t, VrkFree(p), VrkFree(nullptr);
    // Name copies use the process heap, not the host.
    char* copy = HeapStrDup("(listfile)");
    EXPECT_STREQ(copy, "(listfile)");
    HeapStrFree(copy);
  }
  EXPECT_EQ(counter.allocations() * 10 + counter.live(), 20u);
  EXPECT_TRUE(counter.always_aligned_16() && !counter.freed_foreign());
}

TEST(AllocationRule, FailureIsNullAndConstructsNothing) {
  CountingAllocator counter;
  counter.fail_after(0);
  CPacketAllocator base;  // the base class serves nothing
  for (CPacketAllocator* host : {static_cast<CPacketAllocator*>(&counter), &base}) {
    ScopedAllocator use(host);
    Tracked::constructed = 0;
    EXPECT_EQ(VrkAlloc(16), nullptr);
    EXPECT_EQ(new Tracked, nullptr);
    EXPECT_EQ(Tracked::constructed, 0);
  }
}
