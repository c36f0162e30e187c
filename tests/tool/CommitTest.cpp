// A change to an archive is one commit: add, delete and create do all their
// work or leave nothing of it, whatever stops them (a file-size limit met at
// any write, a stop signal between files), and say that nothing was done. A
// failed write is an error with the system's reason, never a signal.
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <linux/capability.h>

#include "VrkFixture.h"

namespace fs = std::filesystem;

namespace vrktest {
namespace {

// Run in vrk's process: writes past `bytes` in any file fail (EFBIG, and
// SIGXFSZ unless vrk ignores it).
ChildSetup FileSizeLimit(uint64_t bytes) {
  return [bytes] {
    struct rlimit limit {bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
  };
}

class CommitTest : public VrkTest {
 protected:
  // Names and contents of the archive under test.
  std::map<std::string, std::string> Contents() const {
    const std::string out = Path("contents");
    fs::remove_all(out);
    RunResult r = Vrk({"extract", "-q", Archive(), "-C", "contents"});
    EXPECT_EQ(r.status, 0) << r.err;
    auto tree = ReadTree(out);
    fs::remove_all(out);
    return tree;
  }

  // Temporary archives vrk left beside the archive. (A journal may stay
  // after a file-size limit: rolling back rewrites bytes past the limit, so
  // the next open without it finishes the rollback.)
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> left;
    for (const std::string& name : DirectoryNames(Path("")))
      if (name.find("-new") != std::string::npos) left.push_back(name);
    return left;
  }

  // Runs `args` once without a limit to learn the largest file size it
  // leaves, then under every file-size limit from a few hundred bytes (room
  // for vrk's messages) to past that size, in steps smaller than the
  // archive's writes, the archive put back before each run. A run must end
  // with the archive holding `after`, or fail, say it left `undone` ("nothing
  // was added"), and leave the archive's files as they were, byte for byte.
  // Returns the number of runs that failed.
  int SweepFileSizeLimits(const std::vector<std::string>& args, const std::string& undone,
                          const std::map<std::string, std::string>& after) {
    std::map<std::string, std::string> pristine;
    for (const std::string& f : DiskFiles(Archive())) pristine[f] = ReadFile(Path(f));
    auto restore = [&] {
      for (const std::string& name : DirectoryNames(Path("")))
        if (name != "in" && name != "more") fs::remove_all(Path(name));
      for (const auto& [f, bytes] : pristine) WriteFile(Path(f), bytes);
    };
    RunResult free = Vrk(args);
    EXPECT_EQ(free.status, 0) << free.err;
    uint64_t largest = 0;
    for (const std::string& f : DirectoryNames(Path("")))
      if (fs::is_regular_file(Path(f))) largest = std::max<uint64_t>(largest, fs::file_size(Path(f)));
    restore();

    int failed = 0;
    const uint64_t step = 16;
    for (uint64_t limit = 200; limit <= largest + step; limit += step) {
      SCOPED_TRACE("file size limit " + std::to_string(limit));
      RunResult r = RunVrk(Path(""), args, "", FileSizeLimit(limit));
      if (r.status == 0) {
        EXPECT_EQ(Contents(), after);
      } else {
        ++failed;
        EXPECT_EQ(r.status, kFatal) << r.err;
        EXPECT_NE(r.err.find("File too large; " + undone + "\n"), std::string::npos) << r.err;
        EXPECT_EQ(Leftovers(), std::vector<std::string>{});
        if (Exists(Path(Archive() + "-journal"))) {  // left by the limit: an open settles it
          RunResult list = Vrk({"list", Archive()});
          EXPECT_EQ(list.status, 0) << list.err;
        }
        for (const auto& [f, bytes] : pristine) EXPECT_TRUE(ReadFile(Path(f)) == bytes) << f;
      }
      restore();
      if (HasFailure()) break;
    }
    return failed;
  }

  void SetUp() override {
    // A few small files of each kind (stored as they are, compressed,
    // empty), so that the sweep is short.
    WriteFile(Path("in/old.txt"), TextBytes(600, 1));
    WriteFile(Path("in/keep.bin"), RandomBytes(300, 2));
    WriteFile(Path("more/a.bin"), RandomBytes(400, 3));
    WriteFile(Path("more/b.txt"), TextBytes(1500, 4));
    WriteFile(Path("more/c.empty"), "");
    WriteFile(Path("more/d/e.bin"), RandomBytes(200, 5));
    RunResult c = Create({"-q", "-C", "in", "."});
    ASSERT_EQ(c.status, 0) << c.err;
  }
};

TEST_P(CommitTest, AddIsWholeOrNothingAtEveryWrite) {
  auto after = Contents();
  WriteFile(Path("more/old.txt"), TextBytes(500, 6));  // replaces a file
  for (const auto& [name, content] : ReadTree(Path("more"))) after[name] = content;
  const int failed = SweepFileSizeLimits({"add", "-q", Archive(), "-C", "more", "."},
                                         "nothing was added", after);
  EXPECT_GT(failed, 10) << "the limits met the add's writes";
}

TEST_P(CommitTest, DeleteIsWholeOrNothingAtEveryWrite) {
  RunResult added = Vrk({"add", "-q", Archive(), "-C", "more", "."});
  ASSERT_EQ(added.status, 0) << added.err;
  auto after = Contents();
  after.erase("old.txt");
  after.erase("d/e.bin");
  const int failed =
      SweepFileSizeLimits({"delete", Archive(), "old.txt", "d"}, "nothing was deleted", after);
  EXPECT_GT(failed, 5) << "the limits met the delete's writes";
}

TEST_P(CommitTest, CreateIsWholeOrNothingAtEveryWrite) {
  std::vector<std::string> args{"create", "-q", Archive(), "-C", "more", "."};
  if (!Advanced()) args.push_back("--basic");
  const int failed = SweepFileSizeLimits(args, "no archive written", ReadTree(Path("more")));
  EXPECT_GT(failed, 10) << "the limits met the create's writes";
}

// A stop signal while a file is compressed, after others went into the
// archive, undoes the add. It comes when the archive's size shows that one,
// then two files were appended.
TEST_P(CommitTest, StoppedAddLeavesNothing) {
  const auto before = Contents();
  for (int i = 0; i < 3; ++i) WriteFile(Path("big/t" + std::to_string(i)), TextBytes(3 << 18, 20 + i));
  ASSERT_EQ(Vrk({"create", "-q", "--basic", "probe.pak", "big/t0"}).status, 0);
  const double stored = static_cast<double>(fs::file_size(Path("probe.pak")));
  const double start = static_cast<double>(fs::file_size(Path(Archive())));
  for (int appended = 1; appended <= 2; ++appended) {
    SCOPED_TRACE(std::to_string(appended) + " file(s) appended");
    VrkProcess add(Path(""), {"add", "-q", "-j", "1", Archive(), "-C", "big", "."});
    ASSERT_TRUE(WaitUntil([&] {
      return static_cast<double>(fs::file_size(Path(Archive()))) > start + (appended - 0.5) * stored;
    }));
    add.Signal(SIGINT);
    RunResult r = add.Wait();
    if (r.status == 0) {  // it had finished: start again from the old archive
      ASSERT_EQ(Create({"-q", "-C", "in", "."}).status, 0);
      continue;
    }
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_EQ(r.err, "vrk: interrupted; nothing was added\n");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    EXPECT_EQ(Contents(), before);
    EXPECT_EQ(Vrk({"verify", Archive()}).status, 0);
  }
}

VRK_BOTH_VARIANTS(CommitTest);

// In a directory vrk may not write, every change fails with the directory
// named and the system's reason, and the archive stays as it was. Root
// passes permission checks, so vrk runs without that capability.
class DeniedTest : public VrkTest {
 protected:
  static ChildSetup WithoutOverride() {
    return [] {
      if (geteuid() != 0) return;
      if (prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) != 0 ||
          prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0) != 0)
        _exit(126);
    };
  }
  RunResult Denied(std::vector<std::string> args) const {
    return RunVrk(Path(""), args, "", WithoutOverride());
  }
};

TEST_P(DeniedTest, UnwritableDirectoryIsNamedWithTheReason) {
  if (RunVrk(Path(""), {"--version"}, "", WithoutOverride()).status == 126)
    GTEST_SKIP() << "running as root without the right to drop CAP_DAC_OVERRIDE";
  MakeSampleTree(Path("src"));
  fs::create_directory(Path("ro"));
  ASSERT_EQ(Create({"-q", "-C", "src", "."}, "ro/" + Archive()).status, 0);
  // A hole, so that compact has work to do.
  ASSERT_EQ(Vrk({"delete", "ro/" + Archive(), "readme.txt"}).status, 0);
  std::map<std::string, std::string> files;
  for (const std::string& f : DiskFiles("ro/" + Archive())) files[f] = ReadFile(Path(f));
  ASSERT_EQ(chmod(Path("ro").c_str(), 0555), 0);

  const std::string a = "ro/" + Archive();
  const std::string denied = "no file can be created in ro: Permission denied";
  const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
      {{"add", a, "src/readme.txt"}, denied + "; nothing was added\n"},
      {{"delete", a, "docs"}, denied + "; nothing was deleted\n"},
      {{"stamp", a, "7"}, denied + "\n"},
      {{"compact", a}, denied + "\n"},
  };
  for (const auto& [args, tail] : runs) {
    RunResult r = Denied(args);
    EXPECT_EQ(r.status, kFatal) << args[0];
    EXPECT_TRUE(r.err.size() >= tail.size() && r.err.compare(r.err.size() - tail.size(), tail.size(), tail) == 0)
        << args[0] << ": " << r.err;
  }
  std::vector<std::string> create{"create", "ro/new.vrk", "src"};
  RunResult c = Denied(create);
  EXPECT_EQ(c.status, kFatal);
  EXPECT_EQ(c.err.rfind("vrk: ro/new.vrk: cannot create ro/.new.vrk-new", 0), 0u) << c.err;
  EXPECT_NE(c.err.find(".vrk beside it: Permission denied; no archive written\n"), std::string::npos)
      << c.err;
  chmod(Path("ro").c_str(), 0755);
  for (const auto& [f, bytes] : files) EXPECT_TRUE(ReadFile(Path(f)) == bytes) << f;
}

// On a file system mounted read-only the reason is the system's own.
TEST_P(DeniedTest, ReadOnlyFileSystemIsNamed) {
  const std::string disk = Path("disk");
  fs::create_directory(disk);
  if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << ")";
  WriteFile(Path("in/a.txt"), "a");
  const std::string a = "disk/" + Archive();
  RunResult made = Create({"-q", "-C", "in", "."}, a);
  const int remounted = mount("tmpfs", disk.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=1m");
  RunResult add = Vrk({"add", a, "in/a.txt"});
  RunResult create = Vrk({"create", "disk/new.vrk", "in"});
  umount2(disk.c_str(), MNT_DETACH);

  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_EQ(remounted, 0) << std::strerror(errno);
  EXPECT_EQ(add.status, kFatal);
  EXPECT_EQ(add.err, "vrk: " + a + ": in/a.txt: cannot write " + a +
                         ": Read-only file system; nothing was added\n");
  EXPECT_EQ(create.status, kFatal);
  EXPECT_NE(create.err.find(" beside it: Read-only file system; no archive written\n"),
            std::string::npos)
      << create.err;
}

VRK_BOTH_VARIANTS(DeniedTest);

// Output into a pipe nobody reads is an error with its reason.
TEST(WriteSignals, ClosedPipeIsAnError) {
  TempDir dir;
  WriteFile(dir / "in/a.txt", "a");
  ASSERT_EQ(RunVrk(dir.path(), {"create", "-q", "a.vrk", "-C", "in", "."}).status, 0);
  const ChildSetup closedPipe = [] {
    int ends[2];
    if (pipe(ends) != 0) _exit(125);
    close(ends[0]);
    dup2(ends[1], STDOUT_FILENO);
  };
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"list", "a.vrk"}, {"cat", "a.vrk", "a.txt"}}) {
    RunResult r = RunVrk(dir.path(), args, "", closedPipe);
    EXPECT_EQ(r.status, kFatal) << args[0];
    EXPECT_EQ(r.err, "vrk: standard output: Broken pipe\n") << args[0];
  }
}

}  // namespace
}  // namespace vrktest
