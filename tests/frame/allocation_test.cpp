#include "frame/Allocation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "orvel/CPacketAllocator.h"
#include "common/CountingAllocator.h"

using namespace orvel;
using orvel_test::CountingAllocator;
using orvel_test::ScopedAllocator;

namespace {

struct Tracked : VrkHeapObject {
  static int constructed;
  int payload[8] = {};
  Tracked() { ++constructed; }
};
int Tracked::constructed = 0;

}  // namespace

TEST(AllocationRule, GoesThroughTheInstalledAllocatorWithAlignment16) {
  CountingAllocator counter;
  {
    ScopedAllocator use(&counter);
    void* p = VrkAlloc(100);
    ASSERT_NE(p, nullptr);
    Tracked* t = new Tracked;
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(counter.live(), 2u);
    delete t;
    VrkFree(p);
    VrkFree(nullptr);
  }
  EXPECT_EQ(counter.allocations(), 2u);
  EXPECT_EQ(counter.live(), 0u);
  EXPECT_TRUE(counter.always_aligned_16());
}

TEST(AllocationRule, FailureIsNullAndConstructsNothing) {
  CountingAllocator counter;
  counter.fail_after(0);
  ScopedAllocator use(&counter);
  Tracked::constructed = 0;
  EXPECT_EQ(VrkAlloc(16), nullptr);
  EXPECT_EQ(new Tracked, nullptr);
  EXPECT_EQ(Tracked::constructed, 0);
}

TEST(AllocationRule, NameCopiesUseTheProcessHeap) {
  CountingAllocator counter;
  ScopedAllocator use(&counter);
  char* copy = HeapStrDup("(listfile)");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "(listfile)");
  HeapStrFree(copy);
  EXPECT_EQ(counter.allocations(), 0u);
}

TEST(AllocationRule, TheBaseAllocatorIsANullAllocator) {
  CPacketAllocator base;
  EXPECT_EQ(base.Alloc(16, 16), nullptr);
  base.Free(nullptr);
  ScopedAllocator use(&base);
  EXPECT_EQ(VrkAlloc(16), nullptr);
}
