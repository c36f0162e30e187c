// With a host allocator installed, every block the library takes while
// archives of both variants are created, filled, read, compacted and freed
// comes from it with alignment 16, and every one goes back to it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "OrvelPacket.h"
#include "common/CountingAllocator.h"
#include "common/TempDir.h"

using orvel_test::CountingAllocator;
using orvel_test::ScopedAllocator;
using orvel_test::TempDir;

namespace {

// This program's global operator new counts its calls while armed: the
// library takes every block through the allocation rule, so it never gets
// there (a std::string of a long path would). The replacements pair malloc
// with free, which the compiler cannot see through the operator names.
std::atomic<bool> g_countNew{false};
std::atomic<long> g_newCalls{0};

void* CountedNew(std::size_t n) noexcept {
  if (g_countNew) ++g_newCalls;
  return std::malloc(n ? n : 1);
}

}  // namespace

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  if (void* p = CountedNew(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  if (void* p = CountedNew(n)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return CountedNew(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return CountedNew(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

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

// Compaction swaps the archive file through an aside name, and a disk source
// named with wildcards is looked for in its directory: neither takes a block
// from the process heap (these paths are too long for in-place strings).
TEST(AllocationRule, FileSwapsAndWildcardSourcesTakeNothingFromTheProcessHeap) {
  TempDir tmp;
  orvel_test::WriteFileBytes(tmp / "a-source-file-with-a-long-name.txt", "source");
  const std::string pattern = tmp / "a-source-file-with-a-long-nam?.txt";
  for (int flags : {0, 8}) {
    const std::string path = tmp / (flags ? "an-advanced-archive.vrk" : "a-basic-archive.pak");
    IOrvelPacket* a = g_piVrkSystem->NewPacket(path.c_str(), flags, 32, 16, 0, 1);
    ASSERT_NE(a, nullptr);
    a->BeginUpdate();
    ASSERT_EQ(a->AddFileFromMemory("one", 0, "1", 1, 0, 0), 0);
    ASSERT_EQ(a->DeleteFile("one"), 0);
    ASSERT_EQ(a->EndUpdate(), 0);
    g_newCalls = 0;
    g_countNew = true;
    EXPECT_EQ(a->CompactPacket(), 0);
    a->BeginUpdate();  // the source is found; its literal name does not open
    EXPECT_NE(a->AddFileFromDisk("x", 0, pattern.c_str(), 0, 0), VRKERR_NO_SOURCE);
    EXPECT_EQ(a->EndUpdate(), 0);
    g_countNew = false;
    EXPECT_EQ(g_newCalls.load(), 0) << flags;
    g_piVrkSystem->FreePacket(a);
  }
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
