// Writers of one archive, in one process or in several, never lose each
// other's commits: one bracket at a time holds the archive, and a bracket
// starts from the latest commit.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "OrvelPacket.h"
#include "common/PacketTestUtil.h"
#include "common/TempDir.h"
#include "frame/WriterLock.h"

using namespace orvel_test;

namespace {

std::string Content(int writer, int step) {
  return std::string(50 + step * 13 % 400, static_cast<char>('a' + writer)) + std::to_string(step);
}

class WriterLock : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    path_ = dir_ / "w.vrk";
    IOrvelPacket* p = g_piVrkSystem->NewPacket(path_.c_str(), GetParam(), 32, 64, 0, 1);
    ASSERT_NE(p, nullptr);
    g_piVrkSystem->FreePacket(p);
  }
  void TearDown() override { orvel::SetLockWaitMs(10000); }

  IOrvelPacket* Open() { return g_piVrkSystem->LoadPacket(path_.c_str()); }

  TempDir dir_;
  std::string path_;
};

TEST_P(WriterLock, ASecondWriterWaitsThenGetsBusyAndChangesNothing) {
  IOrvelPacket* a = Open();
  IOrvelPacket* b = Open();
  ASSERT_TRUE(a && b);
  orvel::SetLockWaitMs(50);
  a->BeginUpdate();
  ASSERT_EQ(Add(*a, "from_a", "A"), 0);
  b->BeginUpdate();
  EXPECT_EQ(Add(*b, "from_b", "B"), VRKERR_BUSY);
  EXPECT_EQ(b->DeleteFile("from_a"), VRKERR_BUSY);
  EXPECT_EQ(b->EndUpdate(), VRKERR_BUSY);
  b->SetPacketVersion(9, 9);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BUSY);
  // A reader does not wait for the bracket: it sees the last commit, and
  // the next one as soon as it is made.
  IOrvelPacket* reader = Open();
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->GetFileBlockIndex("from_a"), -1);
  ASSERT_EQ(a->EndUpdate(), 0);
  EXPECT_EQ(ReadAll(*reader, "from_a"), "A");
  g_piVrkSystem->FreePacket(reader);

  // Once A committed, B's next bracket starts from A's commit.
  b->BeginUpdate();
  ASSERT_EQ(Add(*b, "from_b", "B"), 0);
  ASSERT_EQ(b->EndUpdate(), 0);
  g_piVrkSystem->FreePacket(a);
  g_piVrkSystem->FreePacket(b);
  IOrvelPacket* c = Open();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ReadAll(*c, "from_a"), "A");
  EXPECT_EQ(ReadAll(*c, "from_b"), "B");
  unsigned high = 0, low = 0, base = 0;
  c->GetPacketVersion(&high, &low, &base);
  EXPECT_EQ(high, 0u);
  g_piVrkSystem->FreePacket(c);
  EXPECT_FALSE(std::filesystem::exists(path_ + "-journal"));
}

TEST_P(WriterLock, AStaleWriterKeepsTheCommitsItDidNotSee) {
  IOrvelPacket* a = Open();
  IOrvelPacket* b = Open();
  ASSERT_TRUE(a && b);
  for (int round = 0; round < 3; ++round) {
    a->BeginUpdate();
    ASSERT_EQ(Add(*a, "a" + std::to_string(round), Content(0, round)), 0);
    ASSERT_EQ(a->EndUpdate(), 0);
    b->BeginUpdate();
    ASSERT_EQ(Add(*b, "b" + std::to_string(round), Content(1, round), 2), 0);
    ASSERT_EQ(b->DeleteFile(("a" + std::to_string(round)).c_str()), 0);
    ASSERT_EQ(b->EndUpdate(), 0);
    b->SetPacketVersion(5, static_cast<unsigned>(round));
    ASSERT_EQ(g_nVrkErrCode, 0);
  }
  g_piVrkSystem->FreePacket(a);
  g_piVrkSystem->FreePacket(b);
  IOrvelPacket* c = Open();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->GetFileCount(), 4u);  // the list file and b0..b2
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(ReadAll(*c, ("b" + std::to_string(round)).c_str()), Content(1, round));
    EXPECT_EQ(c->GetFileBlockIndex(("a" + std::to_string(round)).c_str()), -1);
  }
  g_piVrkSystem->FreePacket(c);
}

// Several processes add and delete at once; every commit survives.
TEST_P(WriterLock, ConcurrentProcessesLoseNoCommit) {
  constexpr int kWriters = 4;
  constexpr int kSteps = 30;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child != 0) continue;
    // Even writers keep one object open throughout (their tables go stale
    // between brackets); odd ones open the archive for every bracket.
    int failures = 0;
    IOrvelPacket* kept = w % 2 == 0 ? g_piVrkSystem->LoadPacket(path_.c_str()) : nullptr;
    for (int step = 0; step < kSteps; ++step) {
      IOrvelPacket* p = kept ? kept : g_piVrkSystem->LoadPacket(path_.c_str());
      if (!p) {
        ++failures;
        continue;
      }
      p->BeginUpdate();
      const std::string name = "w" + std::to_string(w) + "_" + std::to_string(step);
      if (Add(*p, name, Content(w, step), step % 2) != 0) ++failures;
      // Every third step removes the file of the step before.
      if (step % 3 == 2 &&
          p->DeleteFile(("w" + std::to_string(w) + "_" + std::to_string(step - 1)).c_str()) != 0)
        ++failures;
      if (p->EndUpdate() != 0) ++failures;
      if (!kept) g_piVrkSystem->FreePacket(p);
    }
    g_piVrkSystem->FreePacket(kept);
    _exit(failures);
  }
  for (int w = 0; w < kWriters; ++w) {
    int status = 0;
    ASSERT_GT(wait(&status), 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  IOrvelPacket* p = Open();
  ASSERT_NE(p, nullptr);
  unsigned expected = 1;
  for (int w = 0; w < kWriters; ++w) {
    for (int step = 0; step < kSteps; ++step) {
      const std::string name = "w" + std::to_string(w) + "_" + std::to_string(step);
      if (step % 3 == 1) {
        EXPECT_EQ(p->GetFileBlockIndex(name.c_str()), -1) << name;
      } else {
        EXPECT_EQ(ReadAll(*p, name.c_str()), Content(w, step)) << name;
        ++expected;
      }
    }
  }
  EXPECT_EQ(p->GetFileCount(), expected);
  g_piVrkSystem->FreePacket(p);
}

INSTANTIATE_TEST_SUITE_P(Variants, WriterLock, ::testing::Values(0, 8),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param ? "advanced" : "basic";
                         });

}  // namespace
