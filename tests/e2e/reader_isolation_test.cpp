// Readers beside a writer: a writer process is stopped before each call
// that changes a file (its whole bracket and its commit), and readers of
// other processes look at the archive then. Every look must show the last
// commit or the new one, whole: every file's bytes and the queries from one
// of the two. A reader may wait (and give up, busy) only while the writer
// is applying its commit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "OrvelPacket.h"
#include "common/PacketTestUtil.h"
#include "common/StoppedRuns.h"
#include "common/TempDir.h"
#include "frame/WriterLock.h"

using namespace orvel_test;

namespace {

using Op = std::function<void(IOrvelPacket&)>;

std::string Content(int i, int version) {
  return std::string(200 + i * 37, static_cast<char>('a' + i)) + "v" + std::to_string(version) +
         std::string(i * 11, 'z');
}

std::vector<std::string> Names() {
  std::vector<std::string> names;
  for (int i = 0; i < 20; ++i) names.push_back("f" + std::to_string(i));
  return names;
}

struct Scenario {
  const char* name;
  unsigned tableSize;
  Op prepare;  // run (and committed) before the archive is copied
  Op op;       // the writer that is stopped
};

// The points a writer passed when its commit began: before them it was in
// its bracket, where no reader may wait for it.
uint64_t g_commitBegins = 0;

void Commit(IOrvelPacket& p) {
  g_commitBegins = orvel::FaultPointsPassed();
  ASSERT_EQ(p.EndUpdate(), 0);
}

void AddFiles(IOrvelPacket& p, int from, int to, int version, unsigned flags) {
  for (int i = from; i < to; ++i)
    ASSERT_EQ(Add(p, "f" + std::to_string(i), Content(i, version), flags), 0) << i;
}

std::vector<Scenario> Scenarios() {
  return {
      // Records replaced by others of the same size and of a smaller one.
      {"replacement", 32,
       [](IOrvelPacket& p) {
         p.BeginUpdate();
         AddFiles(p, 0, 6, 0, 1);
         p.EndUpdate();
       },
       [](IOrvelPacket& p) {
         p.BeginUpdate();
         AddFiles(p, 1, 3, 1, 3);
         ASSERT_EQ(Add(p, "f4", "short", 2), 0);
         Commit(p);
       }},
      // Enough new files to grow the tables.
      {"growth", 16,
       [](IOrvelPacket& p) {
         p.BeginUpdate();
         AddFiles(p, 0, 2, 0, 1);
         p.EndUpdate();
       },
       [](IOrvelPacket& p) {
         p.BeginUpdate();
         AddFiles(p, 2, 20, 0, 1);
         ASSERT_EQ(p.DeleteFile("f0"), 0);
         Commit(p);
       }},
      // Compaction of an archive with holes: nothing readable changes.
      {"compaction", 32,
       [](IOrvelPacket& p) {
         p.BeginUpdate();
         AddFiles(p, 0, 8, 0, 1);
         p.EndUpdate();
         p.BeginUpdate();
         ASSERT_EQ(p.DeleteFile("f1"), 0);
         ASSERT_EQ(p.DeleteFile("f5"), 0);
         p.EndUpdate();
       },
       [](IOrvelPacket& p) {
         g_commitBegins = orvel::FaultPointsPassed();
         ASSERT_EQ(p.CompactPacket(), 0);
       }},
  };
}

// What a reader sees: the file count, then per name its size query and
// its bytes (or the failure code). "busy" when the reader had to give up.
std::string Look(IOrvelPacket& p) {
  std::string seen = "count " + std::to_string(p.GetFileCount()) + "\n";
  for (const std::string& name : Names()) {
    const unsigned size = p.GetFileOriginalSize(name.c_str());
    const std::string bytes = ReadAll(p, name.c_str());
    if (bytes == "<" + std::to_string(VRKERR_BUSY) + ">") return "busy";
    seen += name + " " + std::to_string(size) + " " + bytes + "\n";
  }
  return seen;
}

std::string LookFresh(const std::string& path) {
  IOrvelPacket* p = g_piVrkSystem->LoadPacket(path.c_str());
  if (!p) return g_nVrkErrCode == VRKERR_BUSY ? "busy" : "open " + std::to_string(g_nVrkErrCode);
  const std::string seen = Look(*p);
  g_piVrkSystem->FreePacket(p);
  return seen;
}

// True while a writer holds the commit lock (it is applying a commit).
bool CommitInProgress(const std::string& path) {
  orvel::WriterLock probe(orvel::LockByte::kCommit);
  return !probe.Acquire(path.c_str(), false, 0, nullptr);
}

class ReaderIsolation : public ::testing::TestWithParam<std::tuple<int, int>> {
 protected:
  void TearDown() override { orvel::SetLockWaitMs(10000); }
  int Flags() const { return std::get<0>(GetParam()); }
  Scenario Case() const { return Scenarios()[static_cast<size_t>(std::get<1>(GetParam()))]; }
};

TEST_P(ReaderIsolation, EveryLookShowsTheLastCommitOrTheNewOne) {
  const Scenario s = Case();
  TempDir dir;
  const std::string base = dir / "base", run = dir / "run";
  std::filesystem::create_directory(base);
  {
    IOrvelPacket* p = g_piVrkSystem->NewPacket((base + "/a.vrk").c_str(), Flags(), 32, s.tableSize, 0, 1);
    ASSERT_NE(p, nullptr);
    s.prepare(*p);
    g_piVrkSystem->FreePacket(p);
  }
  const std::string path = run + "/a.vrk";
  CopyDirectory(base, run, true);
  const std::string before = LookFresh(path);
  const uint64_t points = CountPoints([&] {
    IOrvelPacket* p = g_piVrkSystem->LoadPacket(path.c_str());
    ASSERT_NE(p, nullptr);
    s.op(*p);
    g_piVrkSystem->FreePacket(p);
  });
  const std::string after = LookFresh(path);
  ASSERT_GT(points, 3u);
  ASSERT_EQ(before.rfind("count", 0), 0u) << before;
  ASSERT_EQ(after.rfind("count", 0), 0u) << after;
  if (std::string(s.name) != "compaction") {
    ASSERT_NE(before, after);
  }

  orvel::SetLockWaitMs(100);
  unsigned looked = 0, waited = 0;
  for (uint64_t k = 1; k <= points; ++k) {
    CopyDirectory(base, run, true);
    IOrvelPacket* early = g_piVrkSystem->LoadPacket(path.c_str());  // open all along
    ASSERT_NE(early, nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      g_piVrkSystem->FreePacket(early);  // the reader is the parent's
      orvel::ArmFaultPlan(orvel::FaultAction::kStop, k);
      IOrvelPacket* p = g_piVrkSystem->LoadPacket(path.c_str());
      if (p) s.op(*p);
      _exit(p ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
    ASSERT_TRUE(WIFSTOPPED(status)) << "point " << k;
    const bool committing = CommitInProgress(path);
    for (const std::string& seen : {Look(*early), LookFresh(path)}) {
      if (seen == "busy") {
        EXPECT_TRUE(committing && k > g_commitBegins)
            << s.name << ": a reader waited for a bracket at point " << k;
        ++waited;
        continue;
      }
      ++looked;
      EXPECT_TRUE(seen == before || seen == after)
          << s.name << ", point " << k << ":\n" << seen << "\nbefore:\n" << before;
    }
    kill(child, SIGCONT);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "point " << k;
    // The reader that stayed open sees the commit once it is made.
    EXPECT_EQ(Look(*early), after) << s.name << ", point " << k;
    g_piVrkSystem->FreePacket(early);
  }
  EXPECT_GT(looked, 0u) << s.name;
  (void)waited;
}

INSTANTIATE_TEST_SUITE_P(Writers, ReaderIsolation,
                         ::testing::Combine(::testing::Values(0, 8), ::testing::Values(0, 1, 2)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
                           return std::string(std::get<0>(info.param) ? "advanced_" : "basic_") +
                                  Scenarios()[static_cast<size_t>(std::get<1>(info.param))].name;
                         });

}  // namespace
