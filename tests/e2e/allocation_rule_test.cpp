// With a host allocator installed, every block the library takes while
// archives of both variants are created, filled, read, compacted and freed
// comes from it with alignment 16, and every one goes back to it.
#include <gtest/gtest.h>

#include <string>

#include "OrvelPacket.h"
#include "common/CountingAllocator.h"
#include "common/TempDir.h"

using orvel_test::CountingAllocator;
using orvel_test::ScopedAllocator;
using orvel_test::TempDir;

namespace {

void Workout(const std::string& path, int flags) {
  IOrvelPacket* a = g_piVrkSystem->NewPacket(path.c_str(), flags, 32, 4, 0, 1);
  ASSERT_NE(a, nullptr) << g_nVrkErrCode;
  std::string text(5000, 'a');
  a->BeginUpdate();
  for (int i = 0; i < 12; ++i) {  // enough to grow the tables twice
    std::string name = "dir/file" + std::to_string(i) + ".txt";
    ASSERT_EQ(a->AddFileFromMemory(name.c_str(), 1, text.data(), 5000, 0, 0), 0);
  }
  ASSERT_EQ(a->DeleteFile("dir/file3.txt"), 0);
  ASSERT_EQ(a->EndUpdate(), 0);
  ASSERT_EQ(a->CompactPacket(), 0);
  g_piVrkSystem->FreePacket(a);

  a = g_piVrkSystem->LoadPacket(path.c_str());
  ASSERT_NE(a, nullptr) << g_nVrkErrCode;
  unsigned size = 0;
  void* p = a->ReadFileAlloc("DIR/FILE7.TXT", &size, 0xFFFFFFFFu);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(p), size), text);
  a->FreeBuffer(p);
  g_piVrkSystem->FreePacket(a);
}

}  // namespace

TEST(AllocationRule, EveryBlockOfBothVariantsGoesThroughTheHostAllocator) {
  TempDir tmp;
  CountingAllocator counter;
  {
    ScopedAllocator use(&counter);
    Workout(tmp / "basic.pak", 0);
    Workout(tmp / "adv.vrk", 8 | 6);
  }
  EXPECT_TRUE(counter.allocations() > 0 && counter.live() == 0);
  EXPECT_TRUE(counter.always_aligned_16() && !counter.freed_foreign());
}

TEST(AllocationRule, AFailingAllocatorGivesNullNotACrash) {
  TempDir tmp;
  CountingAllocator counter;
  for (long budget = 0; budget < 12; ++budget) {
    counter.fail_after(budget);
    ScopedAllocator use(&counter);
    if (IOrvelPacket* a = g_piVrkSystem->NewPacket((tmp / "x.vrk").c_str(), 8, 32, 16, 0, 0))
      g_piVrkSystem->FreePacket(a);
    if (IOrvelPacket* a = g_piVrkSystem->NewPacket((tmp / "x.pak").c_str(), 0, 32, 16, 0, 0))
      g_piVrkSystem->FreePacket(a);
  }
  counter.fail_after(-1);
  EXPECT_EQ(counter.live(), 0u);
}
