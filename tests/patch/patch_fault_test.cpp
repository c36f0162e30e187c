// Patching with every allocation failing in turn: a build either fails with
// a code or writes a complete patch, an interrupted apply is finished by
// applying again, and nothing leaks.
#include <filesystem>

#include "PatchFixture.h"
#include "common/CountingAllocator.h"

namespace orvel_test {
namespace {

namespace fs = std::filesystem;

class PatchFaultTest : public PatchTest {
 protected:
  void SetUp() override {
    Side src = CreateSource();
    CopySource();
    fs::copy(tmp_ / "copy", tmp_ / "pristine");
    src->SetPacketVersion(0, 4);
    Write(src, 2, {{"a.txt", Text(3000, 1)}, {"b.txt", Text(10, 2)}});
    Write(src, 3, {{"c.bin", RandomBytes(900, 3)}, {"e", ""}}, 0);
    Write(src, 4, {{"a.txt", Text(4000, 4)}});
    for (const char* name : kNames) expected_.push_back(ReadAll(*src, name));
  }

  // Puts the copy back at level 1.
  void RestoreCopy() const {
    fs::copy(tmp_ / "pristine", tmp_ / "copy", fs::copy_options::overwrite_existing | fs::copy_options::recursive);
  }

  void ExpectPatched(const std::string& archive) {
    Side dst = Open(archive);
    ASSERT_NE(dst.packet, nullptr);
    EXPECT_EQ(Level(*dst), 4u);
    for (size_t i = 0; i < kNames.size(); ++i) EXPECT_EQ(ReadAll(*dst, kNames[i]), expected_[i]);
  }

  const std::vector<const char*> kNames{"a.txt", "b.txt", "c.bin", "e"};
  std::vector<std::string> expected_;
  CountingAllocator allocator_;
};

TEST_F(PatchFaultTest, BuildFailsWithACodeOrWritesACompletePatch) {
  ScopedAllocator scoped(&allocator_);
  bool completed = false;
  for (long k = 0; !completed; ++k) {
    fs::remove(Src(".vrx"));
    {
      Side src = Open(Src());
      const unsigned long before = allocator_.allocations();
      allocator_.fail_after(k);
      const int rc = src.patcher->CreatePatchFile();
      allocator_.fail_after(-1);
      completed = allocator_.allocations() - before < static_cast<unsigned long>(k);
      if (rc < 0) {
        ASSERT_FALSE(completed) << "failed without a fault, k=" << k;
        continue;
      }
      ASSERT_EQ(rc, 0) << "k=" << k;
    }
    RestoreCopy();  // a fresh copy at level 1 takes the patch whole
    Side dst = Open(Dst());
    ASSERT_EQ(Apply(dst), 0) << "k=" << k;
    dst = Side(nullptr);
    ExpectPatched(Dst());
  }
  EXPECT_EQ(allocator_.live(), 0u);
}

TEST_F(PatchFaultTest, InterruptedApplyIsFinishedByApplyingAgain) {
  {
    Side src = Open(Src());
    ASSERT_EQ(src.patcher->CreatePatchFile(), 0);
  }
  ScopedAllocator scoped(&allocator_);
  bool completed = false;
  for (long k = 0; !completed; ++k) {
    RestoreCopy();
    int rc;
    {
      Side dst = Open(Dst());
      ASSERT_NE(dst.packet, nullptr);
      const unsigned long before = allocator_.allocations();
      allocator_.fail_after(k);
      rc = Apply(dst);
      allocator_.fail_after(-1);
      completed = allocator_.allocations() - before < static_cast<unsigned long>(k);
    }
    if (rc != 0) {
      ASSERT_FALSE(completed) << "failed without a fault, k=" << k;
      Side dst = Open(Dst());  // what reached the disk, finished by a second apply
      ASSERT_NE(dst.packet, nullptr) << "k=" << k;
      ASSERT_EQ(Apply(dst), 0) << "k=" << k;
    }
    ExpectPatched(Dst());
    if (HasFailure()) FAIL() << "k=" << k << " rc=" << rc;
  }
  EXPECT_EQ(allocator_.live(), 0u);
}

}  // namespace
}  // namespace orvel_test
