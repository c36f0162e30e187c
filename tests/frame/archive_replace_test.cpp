// Replacing an archive's files by a new set, stopped at each file-changing
// call in turn (killed, power cut, torn write-back, or a failed call): the
// next open finds the old set whole or the new one whole, and a failed call
// leaves the new set where it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/StoppedRuns.h"
#include "common/TempDir.h"
#include "frame/ArchiveGuard.h"
#include "frame/FaultPoints.h"
#include "orvel/VrkErrors.h"
#include "orvel/VrkReplace.h"

namespace orvel_test {
namespace {

namespace fs = std::filesystem;
using Contents = std::vector<std::string>;  // per file; "-" for absent

const char* kNames[] = {"a.vrk", "a.bhl", "a.lst"};
const char* kNew[] = {".a.vrk-new1.vrk", ".a.vrk-new1.bhl", ".a.vrk-new1.lst"};

class ArchiveReplace : public ::testing::TestWithParam<unsigned> {
 protected:
  // The old set has its first GetParam() files; the new set all three.
  void Prepare() {
    for (unsigned i = 0; i < 3; ++i) {
      fs::remove(dir_ / kNames[i]);
      fs::remove(dir_ / kNew[i]);
      if (i < GetParam()) WriteFileBytes(dir_ / kNames[i], "old " + std::to_string(i));
      WriteFileBytes(dir_ / kNew[i], "new file " + std::to_string(i));
    }
    fs::remove(dir_ / "a.vrk-journal");
  }
  Contents Read(const char* const* names) const {
    Contents c;
    for (unsigned i = 0; i < 3; ++i)
      c.push_back(fs::exists(dir_ / names[i]) ? ReadFileBytes(dir_ / names[i]) : "-");
    return c;
  }
  Contents Old() const {
    Contents c;
    for (unsigned i = 0; i < 3; ++i) c.push_back(i < GetParam() ? "old " + std::to_string(i) : "-");
    return c;
  }
  Contents New() const { return {"new file 0", "new file 1", "new file 2"}; }
  int Replace() const {
    std::string t[3], r[3];
    const char* targets[3];
    const char* replacements[3];
    for (unsigned i = 0; i < 3; ++i) {
      t[i] = dir_ / kNames[i];
      r[i] = dir_ / kNew[i];
      targets[i] = t[i].c_str();
      replacements[i] = r[i].c_str();
    }
    return VrkReplaceArchive(targets, replacements, 3);
  }
  void RecoverAsAnOpenWould() const {
    const std::string archive = dir_ / kNames[0];
    EXPECT_EQ(orvel::ArchiveGuard::RecoverBeforeOpen(archive.c_str()), 0);
    EXPECT_FALSE(fs::exists(archive + "-journal"));
  }

  TempDir dir_;
};

TEST_P(ArchiveReplace, EveryStopLeavesOneWholeSetAndAFailureLosesNothing) {
  Prepare();
  const uint64_t points = orvel_test::CountPoints([this] { ASSERT_EQ(Replace(), 0); });
  ASSERT_EQ(Read(kNames), New());
  for (const char* leftover : kNew) EXPECT_FALSE(fs::exists(dir_ / leftover));
  ASSERT_GT(points, 3u);

  for (const auto action : orvel_test::kStops) {
    for (uint64_t k = 1; k <= points; ++k) {
      SCOPED_TRACE(orvel_test::StopName(action, k));
      Prepare();
      ASSERT_GE(orvel_test::RunStopped(action, k, [this] { Replace(); }), 0);
      RecoverAsAnOpenWould();
      const Contents now = Read(kNames);
      EXPECT_TRUE(now == Old() || now == New()) << now[0] << " | " << now[1] << " | " << now[2];
    }
  }
  for (uint64_t k = 1; k <= points; ++k) {
    SCOPED_TRACE("failed call at point " + std::to_string(k));
    Prepare();
    orvel::ArmFaultPlan(orvel::FaultAction::kFail, k);
    const int rc = Replace();
    orvel::DisarmFaultPlan();
    RecoverAsAnOpenWould();
    if (rc == 0) {
      EXPECT_EQ(Read(kNames), New());
    } else {
      EXPECT_EQ(Read(kNames), Old());
      EXPECT_EQ(Read(kNew), New());
    }
  }
}

Contents ReadIn(const fs::path& dir, const std::vector<std::string>& names) {
  Contents c;
  for (const std::string& n : names)
    c.push_back(fs::exists(dir / n) ? ReadFileBytes((dir / n).string()) : "-");
  return c;
}

// Files the user keeps beside the archive under names that earlier builds
// took for leftovers of their own.
const std::vector<std::string> kPlanted = {"a.vrkold", "a.vrktemp"};

// The directory of a replacement stopped at each point is copied before the
// next open: each copy recovers to the set the original recovers to, and
// the user's files beside them survive.
TEST_P(ArchiveReplace, ACopiedDirectoryRecoversAsTheOriginalDoes) {
  Prepare();
  const uint64_t points = CountPoints([&] { EXPECT_EQ(Replace(), 0); });
  const std::vector<std::string> names(kNames, kNames + 3);
  const Contents planted = {"mine, not a leftover", "mine too"};
  TempDir copies;
  for (const auto action : kStops) {
    for (uint64_t k = 1; k <= points; ++k) {
      SCOPED_TRACE(StopName(action, k));
      Prepare();
      for (unsigned i = 0; i < kPlanted.size(); ++i)
        WriteFileBytes(dir_ / kPlanted[i], planted[i]);
      ASSERT_NE(RunStopped(action, k, [&] { Replace(); }), -1);
      const fs::path kept = copies / "kept", fresh = copies / "fresh";
      CopyDirectory(dir_.path(), kept, true);
      CopyDirectory(dir_.path(), fresh, false);
      RecoverAsAnOpenWould();
      const Contents now = Read(kNames);
      EXPECT_TRUE(now == Old() || now == New()) << now[0] << " | " << now[1] << " | " << now[2];
      for (const fs::path& copy : {kept, fresh}) {
        const std::string archive = (copy / kNames[0]).string();
        EXPECT_EQ(orvel::ArchiveGuard::RecoverBeforeOpen(archive.c_str()), 0) << copy;
        EXPECT_FALSE(fs::exists(archive + "-journal")) << copy;
        EXPECT_EQ(ReadIn(copy, names), now) << copy;
        EXPECT_EQ(ReadIn(copy, kPlanted), planted) << copy;
      }
      EXPECT_EQ(ReadIn(dir_.path(), kPlanted), planted);
    }
  }
  for (const std::string& n : kPlanted) fs::remove(dir_ / n);
}

INSTANTIATE_TEST_SUITE_P(OldFiles, ArchiveReplace, ::testing::Values(3u, 1u, 0u));

// Large files of one size whose first and last bytes agree are told apart
// by their whole contents: a copy stopped anywhere still recovers to the
// set the original recovers to, never the new archive file with the old
// side file.
TEST(ArchiveReplaceMarks, FilesThatDifferOnlyInTheirMiddlesAreToldApart) {
  TempDir dir, copies;
  std::string oldBytes(300000, 'x');
  for (size_t i = 0; i < oldBytes.size(); ++i) oldBytes[i] = static_cast<char>('a' + i % 23);
  std::string newBytes = oldBytes;
  newBytes[150000] = '!';
  const std::vector<std::string> names = {"a.vrk", "a.bhl"};
  const Contents oldSet = {oldBytes, "old side"}, newSet = {newBytes, "new side"};
  const std::string t0 = dir / "a.vrk", t1 = dir / "a.bhl", r0 = dir / "n.vrk", r1 = dir / "n.bhl";
  const char* targets[] = {t0.c_str(), t1.c_str()};
  const char* replacements[] = {r0.c_str(), r1.c_str()};
  const auto prepare = [&] {
    for (unsigned i = 0; i < 2; ++i) {
      WriteFileBytes(targets[i], oldSet[i]);
      WriteFileBytes(replacements[i], newSet[i]);
    }
  };
  prepare();
  const uint64_t points =
      CountPoints([&] { EXPECT_EQ(VrkReplaceArchive(targets, replacements, 2), 0); });
  for (uint64_t k = 1; k <= points; ++k) {
    SCOPED_TRACE("stop before point " + std::to_string(k));
    prepare();
    RunStopped(orvel::FaultAction::kCrash, k, [&] { VrkReplaceArchive(targets, replacements, 2); });
    const fs::path copy = copies / "copy";
    CopyDirectory(dir.path(), copy, false);
    const std::string copied = (copy / "a.vrk").string();
    EXPECT_EQ(orvel::ArchiveGuard::RecoverBeforeOpen(t0.c_str()), 0);
    EXPECT_EQ(orvel::ArchiveGuard::RecoverBeforeOpen(copied.c_str()), 0);
    const Contents now = ReadIn(dir.path(), names);
    EXPECT_TRUE(now == oldSet || now == newSet) << now[1];
    EXPECT_EQ(ReadIn(copy, names), now);
    fs::remove(r0);
    fs::remove(r1);
  }
}

TEST(ArchiveReplaceArguments, RefusesFilesOutsideTheTargetsDirectory) {
  TempDir dir;
  fs::create_directory(dir / "sub");
  WriteFileBytes(dir / "sub/new.vrk", "new");
  WriteFileBytes(dir / "a.vrk", "old");
  const std::string target = dir / "a.vrk", elsewhere = dir / "sub/new.vrk";
  const char* targets[] = {target.c_str()};
  const char* replacements[] = {elsewhere.c_str()};
  EXPECT_EQ(VrkReplaceArchive(targets, replacements, 1), VRKERR_NULL_PATH);
  EXPECT_EQ(VrkReplaceArchive(targets, replacements, 0), VRKERR_NULL_PATH);
  EXPECT_EQ(ReadFileBytes(target), "old");
}

}  // namespace
}  // namespace orvel_test
