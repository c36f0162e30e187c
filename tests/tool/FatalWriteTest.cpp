// Failures that no later write can escape (a full disk, a read-only
// destination) stop an extraction at once, in one message with a count of
// what was not extracted; a directory where an archive's file goes is named
// as such.
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "VrkFixture.h"

namespace vrktest {
namespace {

namespace fs = std::filesystem;

class FatalWriteTest : public VrkTest {};

size_t LineCount(const std::string& text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// A small tmpfs, unmounted when the test ends.
class SmallDisk {
 public:
  explicit SmallDisk(std::string dir) : dir_(std::move(dir)) {
    fs::create_directories(dir_);
    mounted_ = mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=64k") == 0;
    error_ = mounted_ ? 0 : errno;
  }
  ~SmallDisk() {
    if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  std::string Error() const { return std::strerror(error_); }
  bool MakeReadOnly() const {
    return mount("tmpfs", dir_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k") == 0;
  }

 private:
  std::string dir_;
  bool mounted_;
  int error_;
};

TEST_P(FatalWriteTest, FullOrReadOnlyDiskStopsExtractionOnce) {
  for (int i = 0; i < 40; ++i) WriteFile(Path("in/f" + std::to_string(100 + i)), RandomBytes(8192, i));
  ASSERT_EQ(Create({"-q", "-C", "in", "."}).status, 0);
  SmallDisk disk(Path("disk"));
  if (!disk.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (" << disk.Error() << ")";

  RunResult full = Vrk({"x", Archive(), "-C", "disk/full"});
  EXPECT_EQ(full.status, kFatal);
  EXPECT_EQ(LineCount(full.err), 1u) << full.err;
  EXPECT_NE(full.err.find(": No space left on device; extraction stopped: "), std::string::npos)
      << full.err;
  // The count is what is missing on the disk.
  const size_t written = DirectoryNames(Path("disk/full")).size();
  ASSERT_LT(written, 40u);
  EXPECT_NE(full.err.find(std::to_string(40 - written) + " of 40 files, links and directories "
                                                          "were not extracted\n"),
            std::string::npos)
      << full.err;

  ASSERT_TRUE(disk.MakeReadOnly()) << std::strerror(errno);
  RunResult readOnly = Vrk({"x", Archive(), "-C", "disk/full"});
  EXPECT_EQ(readOnly.status, kFatal);
  EXPECT_EQ(LineCount(readOnly.err), 1u) << readOnly.err;
  EXPECT_NE(readOnly.err.find(": Read-only file system; extraction stopped: 40 of 40 "),
            std::string::npos)
      << readOnly.err;
}

TEST_P(FatalWriteTest, DirectoryGivenAsArchiveIsNamed) {
  WriteFile(Path("in/a.txt"), "a");
  fs::create_directory(Path(Archive()));
  const std::string notArchive = "vrk: " + Archive() + ": a directory, not an archive file";
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"create", Archive(), "in"}, notArchive + "; no archive written\n"},
      {{"add", Archive(), "in/a.txt"}, "Is a directory"},
      {{"list", Archive()}, "Is a directory"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    if (!Advanced() && args[0] == "create") args.push_back("--basic");
    RunResult r = Vrk(args);
    EXPECT_EQ(r.status, kFatal) << args[0];
    if (c.err.back() == '\n') {
      EXPECT_EQ(r.err, c.err);
    } else {
      EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
  }
  if (!Advanced()) return;
  fs::remove(Path(Archive()));
  fs::create_directory(Path("pack.bhl"));
  RunResult side = Vrk({"create", Archive(), "in"});
  EXPECT_EQ(side.err, "vrk: pack.vrk: pack.bhl: a directory, not the archive's side file; "
                      "no archive written\n");
}

VRK_BOTH_VARIANTS(FatalWriteTest);

}  // namespace
}  // namespace vrktest
