// Every writing operation of both variants, stopped by a crash or failed by
// an I/O error at each of its file-changing calls in turn: the archive must
// reopen as it was before the operation or as it is after it, never a mix,
// with nothing left beside it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "OrvelPacket.h"
#include "common/PacketTestUtil.h"
#include "common/StoppedRuns.h"
#include "common/TempDir.h"
#include "frame/FaultPoints.h"

using namespace orvel_test;
namespace fs = std::filesystem;

namespace {

using Op = std::function<void(IOrvelPacket&)>;

struct Scenario {
  const char* name;
  int flags;        // 0 basic, 8 advanced; 2 scrambles or enciphers the tables
  unsigned table;   // table size of the archive the setup writes
  Op setup;         // committed before the operation
  Op op;            // the operation under test, on an archive opened anew
};

std::string Text(size_t n, char seed) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (seed + i * 7 + i / 13) % 26);
  return s;
}

// A careful host: a bracket whose changes did not all succeed is dropped
// (the object is freed without its EndUpdate), so that it commits all of
// them or none.
void Bracket(IOrvelPacket& p, const std::function<bool()>& body) {
  p.BeginUpdate();
  if (body()) p.EndUpdate();
}

// The archive as a host sees it: stamp, then every listed name and its
// contents; "<open N>" when it does not open.
std::string Snapshot(const std::string& path) {
  IOrvelPacket* p = g_piVrkSystem->LoadPacket(path.c_str());
  if (!p) return "<open " + std::to_string(g_nVrkErrCode) + ">";
  unsigned high = 0, low = 0, base = 0;
  p->GetPacketVersion(&high, &low, &base);
  std::string out = std::to_string(high) + "." + std::to_string(low) + "\n";
  char name[300];
  for (unsigned i = 0; p->GetFileName(i, name, sizeof name) == 0; ++i)
    out += std::string(name) + "=" + ReadAll(*p, name) + "\n";
  out += "count " + std::to_string(p->GetFileCount());
  g_piVrkSystem->FreePacket(p);
  // Sizes too: a compaction changes nothing else, and a rollback must also
  // give back what an interrupted writer appended.
  const std::string stem = path.substr(0, path.size() - 4);
  for (const char* ext : {".vrk", ".bhl", ".lst"}) {
    std::error_code ec;
    const auto size = fs::file_size(stem + ext, ec);
    if (!ec) out += std::string(" ") + ext + "=" + std::to_string(size);
  }
  return out;
}

void RunOp(const std::string& path, const Op& op) {
  IOrvelPacket* p = g_piVrkSystem->LoadPacket(path.c_str());
  if (p) op(*p);
  g_piVrkSystem->FreePacket(p);
}

// Only the archive's own files stay beside it.
std::vector<std::string> Leftovers(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string n = e.path().filename().string();
    if (n.find("-journal") != std::string::npos || n.size() < 4 ||
        (n.substr(n.size() - 4) == "temp") || n.substr(n.size() - 3) == "old")
      out.push_back(n);
  }
  return out;
}

class CrashPoints : public ::testing::TestWithParam<Scenario> {
 protected:
  void SetUp() override {
    const Scenario& s = GetParam();
    base_ = dir_ / "base";
    fs::create_directory(base_);
    IOrvelPacket* p = g_piVrkSystem->NewPacket(Archive(base_).c_str(), s.flags, 32, s.table, 3, 4);
    ASSERT_NE(p, nullptr);
    s.setup(*p);
    g_piVrkSystem->FreePacket(p);
    before_ = Snapshot(Archive(base_));
    const std::string clean = Fresh("clean");
    orvel::ArmFaultPlan(orvel::FaultAction::kNone, 0);
    RunOp(Archive(clean), s.op);
    points_ = orvel::FaultPointsPassed();
    orvel::DisarmFaultPlan();
    after_ = Snapshot(Archive(clean));
    ASSERT_NE(before_, after_) << "the operation must change something";
    ASSERT_GT(points_, 0u);
  }

  static std::string Archive(const std::string& dir) { return dir + "/a.vrk"; }

  // A copy of the committed archive in a directory of its own.
  std::string Fresh(const std::string& tag) {
    const std::string d = dir_ / tag;
    fs::remove_all(d);
    fs::copy(base_, d);
    return d;
  }

  void ExpectBeforeOrAfter(const std::string& d, const std::string& what) {
    const std::string now = Snapshot(Archive(d));
    EXPECT_TRUE(now == before_ || now == after_) << what << "\n" << now;
    EXPECT_EQ(Leftovers(d), std::vector<std::string>{}) << what;
  }

  TempDir dir_;
  std::string base_;
  std::string before_, after_;
  uint64_t points_ = 0;
};

TEST_P(CrashPoints, AKilledWriterLeavesTheLastCommitOrTheNewOne) {
  for (uint64_t k = 1; k <= points_; ++k) {
    const std::string d = Fresh("k" + std::to_string(k));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      orvel::ArmFaultPlan(orvel::FaultAction::kCrash, k);
      RunOp(Archive(d), GetParam().op);
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), orvel::kFaultExitCode) << "point " << k;
    // The path never goes missing, even while a compaction swaps files: an
    // opener that found it missing would take the swap for one cut short.
    EXPECT_TRUE(fs::exists(Archive(d))) << "crash before point " << k;
    ExpectBeforeOrAfter(d, "crash before point " + std::to_string(k));
    fs::remove_all(d);
  }
}

// The machine stops instead: every write not yet synced is lost, or every
// other one (write-back cut short).
TEST_P(CrashPoints, APowerLossLeavesTheLastCommitOrTheNewOne) {
  for (const auto action : {orvel::FaultAction::kLoseUnsynced, orvel::FaultAction::kTearUnsynced}) {
    for (uint64_t k = 1; k <= points_; ++k) {
      const std::string d = Fresh("p" + std::to_string(k));
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        orvel::ArmFaultPlan(action, k);
        RunOp(Archive(d), GetParam().op);
        _exit(0);
      }
      int status = 0;
      waitpid(child, &status, 0);
      ASSERT_TRUE(WIFEXITED(status));
      ExpectBeforeOrAfter(d, std::string(action == orvel::FaultAction::kLoseUnsynced
                                             ? "power lost"
                                             : "write-back torn") +
                                 " before point " + std::to_string(k));
      fs::remove_all(d);
    }
  }
}

TEST_P(CrashPoints, AFailedCallLosesNothingAndARetrySucceeds) {
  for (uint64_t k = 1; k <= points_; ++k) {
    const std::string d = Fresh("f" + std::to_string(k));
    orvel::ArmFaultPlan(orvel::FaultAction::kFail, k);
    RunOp(Archive(d), GetParam().op);
    orvel::DisarmFaultPlan();
    const std::string what = "failure at point " + std::to_string(k);
    ExpectBeforeOrAfter(d, what);
    if (Snapshot(Archive(d)) == before_) {
      RunOp(Archive(d), GetParam().op);
      EXPECT_EQ(Snapshot(Archive(d)), after_) << what << ", then a retry";
    }
    fs::remove_all(d);
  }
}

void Fill(IOrvelPacket& p, int count, size_t size) {
  Bracket(p, [&] {
    for (int i = 0; i < count; ++i)
      if (Add(p, "f" + std::to_string(i), Text(size + i, static_cast<char>(i)), i % 2)) return false;
    return true;
  });
}

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> out;
  const Op fill = [](IOrvelPacket& p) { Fill(p, 6, 300); };
  for (int flags : {0, 2, 8, 10}) {
    out.push_back({"add", flags, 16, fill, [](IOrvelPacket& p) {
                     Bracket(p, [&] {
                       return Add(p, "new1", Text(5000, 1), 1) == 0 &&
                              Add(p, "new2", Text(40, 2), 2) == 0;
                     });
                   }});
    out.push_back({"replace_smaller", flags, 16, fill, [](IOrvelPacket& p) {
                     Bracket(p, [&] { return Add(p, "f2", Text(30, 9), 2) == 0; });
                   }});
    out.push_back({"replace_larger", flags, 16, fill, [](IOrvelPacket& p) {
                     Bracket(p, [&] { return Add(p, "f3", Text(9000, 9), 2) == 0; });
                   }});
    out.push_back({"delete", flags, 16, fill, [](IOrvelPacket& p) {
                     Bracket(p, [&] { return p.DeleteFile("f1") == 0; });
                   }});
    out.push_back({"compact", flags, 16,
                   [](IOrvelPacket& p) {
                     Fill(p, 6, 300);
                     Bracket(p, [&] { return p.DeleteFile("f2") == 0; });
                   },
                   [](IOrvelPacket& p) { p.CompactPacket(); }});
    out.push_back({"stamp", flags, 16, fill,
                   [](IOrvelPacket& p) { p.SetPacketVersion(7, 8); }});
    out.push_back({"grow", flags, 8, fill, [](IOrvelPacket& p) {
                     Bracket(p, [&] {
                       for (int i = 0; i < 6; ++i)
                         if (Add(p, "g" + std::to_string(i), Text(50, 3), 2)) return false;
                       return true;
                     });
                   }});
    // A commit that changes two of many table pieces: a stamp and a
    // replacement in place among 150 files.
    out.push_back({"replace_few_pieces", flags, 256, [](IOrvelPacket& p) { Fill(p, 150, 20); },
                   [](IOrvelPacket& p) {
                     Bracket(p, [&] {
                       p.SetFileVersion("f5", 0, 9);
                       return Add(p, "f100", Text(120, 5), 2) == 0;
                     });
                   }});
    out.push_back({"create_over", flags, 16, fill, [flags](IOrvelPacket& p) {
                     const std::string path = p.GetPacketPath();
                     p.CreatePacket(path.c_str(), flags & 2, 8, 1, 1);
                   }});
  }
  return out;
}

std::string ScenarioName(const ::testing::TestParamInfo<Scenario>& info) {
  static const char* const kVariants[] = {"basic", "", "basic_scrambled", "", "", "", "", "",
                                          "advanced", "", "advanced_enciphered"};
  return std::string(kVariants[info.param.flags]) + "_" + info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Writers, CrashPoints, ::testing::ValuesIn(Scenarios()), ScenarioName);

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

// A compaction stopped at each point, its directory copied before the next
// open: the copies recover exactly as the original does, and the user's file
// that carries the name earlier builds gave an aside file survives it all.
class CopiedCrashPoints : public CrashPoints {};

TEST_P(CopiedCrashPoints, ACopiedDirectoryRecoversAsTheOriginalDoes) {
  const std::string planted = "a user's own file";
  for (const auto action : kStops) {
    for (uint64_t k = 1; k <= points_; ++k) {
      const std::string what = StopName(action, k);
      const std::string d = Fresh("c" + std::to_string(k));
      WriteFileBytes(d + "/a.vrkold", planted);
      const std::vector<std::string> names = Names(d);
      ASSERT_NE(RunStopped(action, k, [&] { RunOp(Archive(d), GetParam().op); }), -1);
      const std::string kept = dir_ / "kept", fresh = dir_ / "fresh";
      CopyDirectory(d, kept, true);
      CopyDirectory(d, fresh, false);
      const std::string now = Snapshot(Archive(d));
      EXPECT_TRUE(now == before_ || now == after_) << what << "\n" << now;
      for (const std::string& copy : {d, kept, fresh}) {
        EXPECT_EQ(Snapshot(Archive(copy)), now) << what << ", " << copy;
        EXPECT_EQ(Names(copy), names) << what << ", " << copy;
        EXPECT_EQ(ReadFileBytes(copy + "/a.vrkold"), planted) << what << ", " << copy;
      }
      fs::remove_all(d);
    }
  }
}

// Recovery itself is stopped at each of its points in turn: the next open
// still finds the old archive or the new one, in place and in a copy.
TEST_P(CopiedCrashPoints, ARecoveryStoppedInTurnStillRecovers) {
  const Op open = [](IOrvelPacket&) {};
  for (uint64_t k = 1; k <= points_; ++k) {
    const std::string stopped = Fresh("s");
    const Op& op = GetParam().op;
    ASSERT_NE(RunStopped(orvel::FaultAction::kCrash, k, [&] { RunOp(Archive(stopped), op); }), -1);
    for (uint64_t j = 1;; ++j) {
      const std::string d = dir_ / "r";
      CopyDirectory(stopped, d, true);
      const int status = RunStopped(orvel::FaultAction::kCrash, j, [&] { RunOp(Archive(d), open); });
      ASSERT_NE(status, -1);
      const std::string what = StopName(orvel::FaultAction::kCrash, k) + ", recovery " +
                               StopName(orvel::FaultAction::kCrash, j);
      const std::string copy = dir_ / "copy";
      CopyDirectory(d, copy, false);
      const std::string now = Snapshot(Archive(d));
      EXPECT_TRUE(now == before_ || now == after_) << what << "\n" << now;
      EXPECT_EQ(Snapshot(Archive(copy)), now) << what;
      EXPECT_EQ(Leftovers(d), std::vector<std::string>{}) << what;
      if (status != orvel::kFaultExitCode) break;  // the recovery ran to its end
    }
  }
}

std::vector<Scenario> Compactions() {
  std::vector<Scenario> out;
  for (const Scenario& s : Scenarios())
    if (std::string(s.name) == "compact") out.push_back(s);
  return out;
}

INSTANTIATE_TEST_SUITE_P(Compaction, CopiedCrashPoints, ::testing::ValuesIn(Compactions()),
                         ScenarioName);

}  // namespace
