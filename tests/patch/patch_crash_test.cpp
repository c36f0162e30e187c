// Applying a patch, stopped at each file-changing call in turn by a crash
// or a power loss (unsynced writes lost or torn): the copy reopens exactly
// at a level boundary (its stamp claims no level whose files are missing),
// and applying the patch again finishes the job.
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "PatchFixture.h"
#include "common/StoppedRuns.h"
#include "frame/FaultPoints.h"

namespace fs = std::filesystem;

namespace orvel_test {
namespace {

using Files = std::map<std::string, std::string>;

// Patched copies learn files by their hashes alone, so they are read by
// name rather than listed.
Files FilesOf(IOrvelPacket& p) {
  Files out;
  for (const char* name : {"base.txt", "a", "b", "c"}) out[name] = ReadAll(p, name);
  return out;
}

class PatchCrash : public PatchTest {
 protected:
  // Levels 2 to 4 written into the source. A patch carries each file's
  // last version at its level, so a copy's boundaries are: the copy as it
  // was, then b and c at level 3, then a at level 4.
  void Build() {
    Side src = CreateSource();
    // The copy holds a and c too, larger than any later version: the patch
    // replaces them in place, the writes the journal must undo.
    Write(src, 1, {{"a", RandomBytes(6000, 9)}, {"c", RandomBytes(3000, 10)}}, 0);
    CopySource();
    const Files before = FilesOf(*src);
    Write(src, 2, {{"a", Text(4000, 2)}, {"b", Text(50, 3)}});
    Write(src, 3, {{"b", Text(9000, 4)}, {"c", Text(10, 5)}}, 1 | 2);
    Write(src, 4, {{"a", Text(20, 6)}}, 2);
    src->SetPacketVersion(0, 4);
    ASSERT_EQ(src.patcher->CreatePatchFile(), 0) << g_nVrkErrCode;
    const Files last = FilesOf(*src);
    Files third = before;
    third["b"] = last.at("b");
    third["c"] = last.at("c");
    levels_ = {{1, before}, {3, third}, {4, last}};
  }

  // The copy's level and files, after the open that recovers it.
  std::pair<unsigned, Files> State() const {
    Side dst = Open(Dst());
    if (!dst.packet) return {0, {}};
    return {Level(*dst), FilesOf(*dst)};
  }

  // The bytes of the copy's three files.
  std::string Bytes() const {
    std::string out;
    for (const char* ext : {".vrk", ".bhl", ".lst"}) out += ReadFileBytes(Dst(ext)) + '|';
    return out;
  }
  void Restore(const fs::path& from) const {
    fs::remove_all(tmp_ / "copy");
    fs::copy(from, tmp_ / "copy");
  }
  void ApplyToCopy() const {
    Side dst = Open(Dst());
    Apply(dst);
  }

  std::vector<std::pair<unsigned, Files>> levels_;
};

TEST_F(PatchCrash, AKilledApplyStopsAtALevelBoundaryAndAReapplyFinishes) {
  Build();
  const fs::path pristine = tmp_ / "pristine";
  fs::copy(tmp_ / "copy", pristine);
  orvel::ArmFaultPlan(orvel::FaultAction::kNone, 0);
  {
    Side dst = Open(Dst());
    ASSERT_EQ(Apply(dst), 0);
  }
  const uint64_t points = orvel::FaultPointsPassed();
  orvel::DisarmFaultPlan();
  ASSERT_EQ(State(), levels_.back());
  for (const auto action : {orvel::FaultAction::kCrash, orvel::FaultAction::kLoseUnsynced,
                            orvel::FaultAction::kTearUnsynced}) {
    for (uint64_t k = 1; k <= points; ++k) {
      SCOPED_TRACE(static_cast<int>(action));
      fs::remove_all(tmp_ / "copy");
      fs::copy(pristine, tmp_ / "copy");
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        orvel::ArmFaultPlan(action, k);
        Side dst = Open(Dst());
        Apply(dst);
        _exit(0);
      }
      int status = 0;
      waitpid(child, &status, 0);
      ASSERT_TRUE(WIFEXITED(status));
      const auto state = State();
      bool boundary = false;
      for (const auto& level : levels_) boundary |= state == level;
      EXPECT_TRUE(boundary) << "crash before point " << k << ": level " << state.first;
      EXPECT_FALSE(fs::exists(Dst() + "-journal")) << k;
      {
        Side dst = Open(Dst());
        ASSERT_TRUE(dst.packet);
        Apply(dst);
      }
      EXPECT_EQ(State(), levels_.back()) << "reapply after crash before point " << k;
    }
  }
}

// The levels of one call commit together: stopped anywhere, the copy
// reopens byte for byte as it was before the call or as the whole patch
// leaves it, never at a level in between.
TEST_F(PatchCrash, AStoppedApplyLeavesTheStartingOrTheFinalArchiveByteForByte) {
  Build();
  const fs::path pristine = tmp_ / "pristine";
  fs::copy(tmp_ / "copy", pristine);
  const std::string before = Bytes();
  const uint64_t points = CountPoints([&] { ApplyToCopy(); });
  const std::string after = Bytes();
  ASSERT_TRUE(State() == levels_.back());
  ASSERT_TRUE(before != after);
  for (const auto action : kStops) {
    for (uint64_t k = 1; k <= points; ++k) {
      Restore(pristine);
      ASSERT_EQ(RunStopped(action, k, [&] { ApplyToCopy(); }), orvel::kFaultExitCode)
          << StopName(action, k);
      const auto state = State();  // the open recovers
      const std::string bytes = Bytes();
      EXPECT_TRUE(bytes == before || bytes == after) << StopName(action, k);
      EXPECT_TRUE(state == levels_.front() || state == levels_.back()) << StopName(action, k);
    }
  }
}

// A level that fails (its block file is missing) leaves the levels before
// it committed and durable when the call returns: a power loss right after
// it keeps them. Should the commit itself fail, they are still committed.
TEST_F(PatchCrash, TheLevelsBeforeAFailedOneAreDurableWhenTheCallReturns) {
  Build();
  const fs::path pristine = tmp_ / "pristine";
  fs::copy(tmp_ / "copy", pristine);
  fs::remove(Block(4));
  const auto third = levels_[1];
  ApplyToCopy();
  ASSERT_TRUE(State() == third);
  const std::string expected = Bytes();

  for (const auto action : {orvel::FaultAction::kLoseUnsynced, orvel::FaultAction::kTearUnsynced}) {
    Restore(pristine);
    const int status = RunStopped(action, UINT64_MAX, [&] {
      ApplyToCopy();
      // The machine loses power as the call returns.
      orvel::ArmFaultPlan(action, 1);
      orvel::PassFaultPoint(orvel::FaultKind::kSync);
    });
    ASSERT_EQ(status, orvel::kFaultExitCode);
    EXPECT_TRUE(State() == third) << StopName(action, 1);
    EXPECT_TRUE(Bytes() == expected) << StopName(action, 1);
  }

  // Any one call failing with an I/O error on the way: unless the error
  // struck level 3 itself (the call then reports it rather than the missing
  // block file), the copy is at the third level, even when it was the
  // commit that failed.
  Restore(pristine);
  const uint64_t points = CountPoints([&] { ApplyToCopy(); });
  for (uint64_t k = 1; k <= points; ++k) {
    Restore(pristine);
    orvel::ArmFaultPlan(orvel::FaultAction::kFail, k);
    int rc;
    {
      Side dst = Open(Dst());
      ASSERT_TRUE(dst.packet) << k;
      rc = Apply(dst);
    }
    orvel::DisarmFaultPlan();
    EXPECT_LT(rc, 0) << k;
    const auto state = State();
    if (rc == VRKERR_NO_SOURCE || state.first == 3) {
      EXPECT_TRUE(state == third) << "I/O error at point " << k << ": level " << state.first;
    } else {
      EXPECT_EQ(state.first, 1u) << "I/O error at point " << k;
    }
  }
}

// A build's block files reach the disk before the patch file that refers to
// them: a build stopped anywhere leaves no patch file, a damaged one that
// loading refuses, or one that applies whole.
TEST_F(PatchCrash, AStoppedBuildLeavesNoPatchFileOrOneThatAppliesWhole) {
  Build();
  const fs::path pristine = tmp_ / "pristine";
  fs::copy(tmp_ / "copy", pristine);
  auto build = [&] {
    Side src = Open(Src());
    src.patcher->CreatePatchFile();
  };
  fs::remove(Src(".vrx"));
  const uint64_t points = CountPoints(build);
  ASSERT_TRUE(fs::exists(Src(".vrx")));
  for (const auto action : kStops) {
    for (uint64_t k = 1; k <= points; ++k) {
      fs::remove(Src(".vrx"));
      ASSERT_EQ(RunStopped(action, k, build), orvel::kFaultExitCode) << StopName(action, k);
      if (!fs::exists(Src(".vrx"))) continue;
      Restore(pristine);
      Side dst = Open(Dst());
      std::string patch = Src(".vrx");
      if (dst.builder->LoadPatchFile(patch.c_str()) != 0) continue;
      EXPECT_EQ(Apply(dst), 0) << StopName(action, k);
      dst = Side(nullptr);
      EXPECT_TRUE(State() == levels_.back()) << StopName(action, k);
    }
  }
}

}  // namespace
}  // namespace orvel_test
