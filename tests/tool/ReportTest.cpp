// What vrk says when an archive is damaged or the disk fills up: one line
// naming the archive (and the side file at fault) and the damage in plain
// words; the library's constant only with --debug.
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "VrkFixture.h"

namespace vrktest {
namespace {

class ReportTest : public VrkTest {
 protected:
  void SetUp() override {
    MakeSampleTree(Path("src"));
    RunResult c = Create({"-C", "src", "."});
    ASSERT_EQ(c.status, 0) << c.err;
  }
  // The error output of `vrk list` on the archive under test.
  std::string ListError(bool debug = false) const {
    std::vector<std::string> args{"list", Archive()};
    if (debug) args.insert(args.begin(), "--debug");
    RunResult r = Vrk(args);
    EXPECT_EQ(r.status, kFatal) << r.out;
    return r.err;
  }
  void Overwrite(const std::string& file, size_t at, const std::string& bytes) const {
    std::string content = ReadFile(Path(file));
    ASSERT_LE(at + bytes.size(), content.size());
    content.replace(at, bytes.size(), bytes);
    WriteFile(Path(file), content);
  }
};

TEST_P(ReportTest, TruncatedArchiveSaysTruncatedAndDebugAddsTheConstant) {
  std::filesystem::resize_file(Path(Archive()), std::filesystem::file_size(Path(Archive())) / 2);
  const std::string err = ListError();
  EXPECT_EQ(err.rfind("vrk: " + Archive() + ": the archive is truncated (it has ", 0), 0u) << err;
  EXPECT_EQ(err.find("VRKERR_"), std::string::npos) << err;
  // And the line that points at vrk salvage, for an archive of its variant.
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
  EXPECT_NE(err.find("try `vrk salvage " + Archive() + " " + Named("NEW") + "`"), std::string::npos)
      << err;
  EXPECT_NE(ListError(true).find(" [VRKERR_"), std::string::npos);
}

VRK_BOTH_VARIANTS(ReportTest);

class AdvancedReportTest : public ReportTest {};

TEST_P(AdvancedReportTest, MissingSideFileIsNamed) {
  std::filesystem::remove(Path("pack.bhl"));
  EXPECT_EQ(ListError(), "vrk: pack.vrk: pack.bhl: the table side file is missing\n");
}

TEST_P(AdvancedReportTest, DamagedTableSaysWhichTable) {
  const std::string side = ReadFile(Path("pack.bhl"));
  uint32_t blockTable = 0, hashTable = 0;
  std::memcpy(&blockTable, side.data() + 16, 4);
  std::memcpy(&hashTable, side.data() + 32, 4);

  Overwrite("pack.bhl", blockTable + 3, "\x5A");
  EXPECT_EQ(ListError(), "vrk: pack.vrk: pack.bhl: the block table is damaged "
                         "(its checksum does not match)\n"
                         "vrk: try `vrk salvage pack.vrk NEW.vrk` to recover the intact files\n");
  WriteFile(Path("pack.bhl"), side);
  Overwrite("pack.bhl", hashTable + 5, "\x5A");
  EXPECT_NE(ListError().find("pack.bhl: the hash table is damaged"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Advanced, AdvancedReportTest, ::testing::Values(kAdvanced), VariantName);

// A compaction or a create that runs out of space says so (compaction used
// to report a failed signature write), naming the archive, not the
// temporary file that create writes first.
TEST(FullDisk, CompactAndCreateSayTheDiskIsFull) {
  TempDir dir;
  const std::string disk = dir / "disk";
  std::filesystem::create_directory(disk);
  if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno) << ")";
  WriteFile(dir / "in/big.bin", RandomBytes(600 * 1024, 1));
  WriteFile(dir / "in/small.txt", "small");
  RunResult created = RunVrk(disk, {"create", "-q", "a.vrk", "-C", dir / "in", "."});
  RunResult deleted = RunVrk(disk, {"delete", "a.vrk", "small.txt"});
  RunResult compact = RunVrk(disk, {"compact", "-q", "a.vrk"});
  RunResult second = RunVrk(disk, {"create", "-q", "b.vrk", "-C", dir / "in", "big.bin"});
  umount2(disk.c_str(), MNT_DETACH);

  ASSERT_EQ(created.status, 0) << created.err;
  ASSERT_EQ(deleted.status, 0) << deleted.err;
  EXPECT_EQ(compact.status, kFatal);
  EXPECT_EQ(compact.err.rfind("vrk: a.vrk: the disk is full: No space left on device", 0), 0u)
      << compact.err;
  EXPECT_EQ(second.err,
            "vrk: b.vrk: big.bin: the disk is full: No space left on device; no archive written\n");
}

}  // namespace
}  // namespace vrktest
