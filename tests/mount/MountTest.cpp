// vrk mount and vrk umount on both variants, through the built vrk. Every
// test skips, saying why, where FUSE cannot be used (no /dev/fuse, or a
// sandbox that refuses the mount).
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include <OrvelPacket.h>

#include "HostileTree.h"
#include "VrkFixture.h"
#include "common/NginxServer.h"

namespace fs = std::filesystem;

namespace vrktest {
namespace {

bool IsMountPoint(const std::string& dir) {
  struct stat here, parent;
  return stat(dir.c_str(), &here) == 0 && stat((dir + "/..").c_str(), &parent) == 0 &&
         here.st_dev != parent.st_dev;
}

// Takes down whatever is still mounted on `dir`.
void Unmount(const std::string& dir) {
  if (!IsMountPoint(dir)) return;
  RunVrk(dir + "/..", {"umount", dir});
  if (IsMountPoint(dir)) umount2(dir.c_str(), MNT_DETACH);
}

// Why this machine cannot mount, or "" when it can: /dev/fuse must open, and
// a first mount of a small archive must be let through.
const std::string& FuseUnusable() {
  static const std::string reason = [] {
    int fd = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0) return std::string("/dev/fuse: ") + std::strerror(errno);
    close(fd);
    TempDir probe;
    WriteFile(probe / "f", "probe");
    if (RunVrk(probe.path(), {"create", "-q", "p.vrk", "f"}).status != 0) return std::string();
    fs::create_directory(probe / "mnt");
    RunResult r = RunVrk(probe.path(), {"mount", "p.vrk", "mnt"});
    Unmount(probe / "mnt");
    // Only a refused mount counts; any other failure is for the tests to show.
    if (r.status != 0 && r.err.find("cannot mount there") != std::string::npos) return r.err;
    return std::string();
  }();
  return reason;
}

class MountTest : public VrkTest {
 protected:
  void SetUp() override {
    if (!FuseUnusable().empty()) GTEST_SKIP() << "FUSE cannot be used here: " << FuseUnusable();
  }
  void TearDown() override {
    for (const std::string& dir : mounts_) Unmount(dir);
  }

  // Mounts `archive` on the directory `rel`, which is created. What vrk
  // said before it went into the background is kept in `said_`.
  void Mount(const std::string& archive, const std::string& rel,
             const std::vector<std::string>& options = {}) {
    fs::create_directories(Path(rel));
    mounts_.push_back(Path(rel));
    std::vector<std::string> args{"mount", archive, rel};
    args.insert(args.end(), options.begin(), options.end());
    RunResult r = Vrk(args);
    said_ = r.err;
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(IsMountPoint(Path(rel)));
  }

  std::string said_;

 private:
  std::vector<std::string> mounts_;
};

TEST_P(MountTest, ShowsTheTreeThatExtractGives) {
  MakeSampleTree(Path("src"));
  fs::permissions(Path("src/docs/guide.txt"), static_cast<fs::perms>(0750));
  ASSERT_EQ(Create({"-q", "-C", "src", "."}).status, 0);
  ASSERT_EQ(Vrk({"extract", "-q", Archive(), "-C", "out"}).status, 0);
  Mount(Archive(), "mnt");
  EXPECT_EQ(std::system(("diff -r '" + Path("mnt") + "' '" + Path("out") + "'").c_str()), 0);

  // Modes (without write bits: the mount is read-only) and times are those
  // the tree record kept.
  struct stat source, sourceDir, file, dir;
  ASSERT_EQ(stat(Path("src/docs/guide.txt").c_str(), &source), 0);
  ASSERT_EQ(stat(Path("src/docs").c_str(), &sourceDir), 0);
  ASSERT_EQ(stat(Path("mnt/docs/guide.txt").c_str(), &file), 0);
  ASSERT_EQ(stat(Path("mnt/docs").c_str(), &dir), 0);
  EXPECT_EQ(file.st_mode, S_IFREG | (source.st_mode & 07555));
  EXPECT_EQ(dir.st_mode, S_IFDIR | (sourceDir.st_mode & 07555));
  EXPECT_EQ(file.st_size, 20000);
  EXPECT_EQ(dir.st_nlink, 3u);  // ".", its entry in the root, and deep/".."
  EXPECT_EQ(file.st_mtim.tv_sec, source.st_mtim.tv_sec);
  EXPECT_EQ(file.st_mtim.tv_nsec, source.st_mtim.tv_nsec);
  EXPECT_EQ(dir.st_mtim.tv_sec, sourceDir.st_mtim.tv_sec);

  // Without the record: read-only modes and the archive's time.
  const std::string bare = Advanced() ? "bare.vrk" : "bare.pak";
  ASSERT_EQ(Create({"-q", "--no-attributes", "-C", "src", "."}, bare).status, 0);
  Mount(bare, "bare");
  struct stat archive;
  ASSERT_EQ(stat(Path(bare).c_str(), &archive), 0);
  ASSERT_EQ(stat(Path("bare/docs/guide.txt").c_str(), &file), 0);
  ASSERT_EQ(stat(Path("bare/docs").c_str(), &dir), 0);
  EXPECT_EQ(file.st_mode, S_IFREG | 0444);
  EXPECT_EQ(dir.st_mode, S_IFDIR | 0555);
  EXPECT_EQ(file.st_mtim.tv_sec, archive.st_mtim.tv_sec);
  EXPECT_EQ(file.st_mtim.tv_nsec, archive.st_mtim.tv_nsec);
}

TEST_P(MountTest, ShowsSpelledNamesLinksAsStoredAndEmptyDirectories) {
  fs::create_directories(Path("src/Docs"));
  fs::create_directories(Path("src/empty"));
  WriteFile(Path("src/Docs/ReadMe.TXT"), "hello");
  fs::create_symlink("Docs/ReadMe.TXT", Path("src/inside"));
  fs::create_symlink("/etc/hostname", Path("src/outside"));
  ASSERT_EQ(Create({"-q", "-C", "src", "."}).status, 0);
  Mount(Archive(), "mnt");
  EXPECT_EQ(ReadFile(Path("mnt/Docs/ReadMe.TXT")), "hello");
  EXPECT_FALSE(fs::exists(Path("mnt/docs")));
  ASSERT_TRUE(fs::is_symlink(Path("mnt/inside")));
  EXPECT_EQ(fs::read_symlink(Path("mnt/inside")), "Docs/ReadMe.TXT");
  EXPECT_EQ(ReadFile(Path("mnt/inside")), "hello");
  EXPECT_EQ(fs::read_symlink(Path("mnt/outside")), "/etc/hostname");
  EXPECT_TRUE(fs::is_directory(Path("mnt/empty")));
  EXPECT_TRUE(fs::is_empty(Path("mnt/empty")));

  Mount(Archive(), "safe", {"--safe-links"});
  EXPECT_EQ(fs::read_symlink(Path("safe/inside")), "Docs/ReadMe.TXT");
  EXPECT_FALSE(Exists(Path("safe/outside")));  // leads out: not shown
}

// The issue's crafted record: "a" is both a directory and a link to x/y/z,
// so m -> a/../../.. is the top through the link but two levels above it
// through the directory. The mount, as extract, shows the directory; with
// --safe-links m is hidden, and nothing shown resolves outside.
// Names the archive stores under aliases show as spelled, the names of a
// hard-linked file share one inode, a FIFO shows as one, and root sees the
// recorded owners (others see their own, as extract gives them).
TEST_P(MountTest, ShowsAliasedNamesHardLinksFifosAndOwners) {
  fs::create_directories(Path("src/d"));
  WriteFile(Path("src/A.txt"), "upper");
  WriteFile(Path("src/a.txt"), "lower");
  WriteFile(Path("src/d/one"), "shared");
  ASSERT_EQ(link(Path("src/d/one").c_str(), Path("src/two").c_str()), 0);
  ASSERT_EQ(mkfifo(Path("src/pipe").c_str(), 0640), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(lchown(Path("src/a.txt").c_str(), 1234, 2345), 0);
  }
  RunResult c = Create({"-C", "src", "."});
  ASSERT_EQ(c.status, 0) << c.err;
  Mount(Archive(), "mnt");
  EXPECT_EQ(ReadFile(Path("mnt/A.txt")), "upper");
  EXPECT_EQ(ReadFile(Path("mnt/a.txt")), "lower");
  EXPECT_EQ(ReadFile(Path("mnt/two")), "shared");
  struct stat one, two, pipe, owned;
  ASSERT_EQ(stat(Path("mnt/d/one").c_str(), &one), 0);
  ASSERT_EQ(stat(Path("mnt/two").c_str(), &two), 0);
  EXPECT_EQ(one.st_ino, two.st_ino);
  EXPECT_EQ(one.st_nlink, 2u);
  ASSERT_EQ(lstat(Path("mnt/pipe").c_str(), &pipe), 0);
  EXPECT_TRUE(S_ISFIFO(pipe.st_mode));
  EXPECT_EQ(pipe.st_mode & 07777, 0440u);
  ASSERT_EQ(stat(Path("mnt/a.txt").c_str(), &owned), 0);
  EXPECT_EQ(owned.st_uid, root ? 1234u : geteuid());
  EXPECT_EQ(owned.st_gid, root ? 2345u : getegid());
}

TEST_P(MountTest, SafeLinksShowNothingLeadingOutside) {
  WriteFile(Path("src/x/y/z/keep"), "keep");
  WriteFile(Path("src/a/f"), "f");
  ASSERT_EQ(Create({"-q", "-C", "src", "."}).status, 0);
  WriteRecord(Path(Archive()),
              {RecordLink("a", "x/y/z"), RecordLink("m", "a/../../.."), RecordLink("p", "s/.."),
               RecordLink("s", "."), RecordDirectory("a"), RecordDirectory("x/y/z"),
               RecordFile("a/f"), RecordFile("x/y/z/keep")});
  Mount(Archive(), "mnt");
  EXPECT_EQ(ReadFile(Path("mnt/a/f")), "f");
  EXPECT_EQ(fs::read_symlink(Path("mnt/m")), "a/../../..");

  Mount(Archive(), "safe", {"--safe-links"});
  EXPECT_NE(said_.find("m: not shown: it leads outside the directory ('a/../../..') "
                       "(--safe-links)"),
            std::string::npos)
      << said_;
  EXPECT_EQ(ReadFile(Path("safe/a/f")), "f");
  EXPECT_FALSE(Exists(Path("safe/m")));
  EXPECT_FALSE(Exists(Path("safe/p")));
  EXPECT_EQ(fs::read_symlink(Path("safe/s")), ".");
  EXPECT_EQ(ResolvingOutside(Path("safe")), std::vector<std::string>{});
}

// A hostile archive may claim any original size for a few stored bytes; the
// mount refuses to read such a file before it holds memory for that size.
TEST_P(MountTest, AnInflatedSizeIsRefusedBeforeAnythingIsHeld) {
  WriteFile(Path("src/small.txt"), "small");
  ASSERT_EQ(Create({"-q", "--no-attributes", "-C", "src", "."}).status, 0);
  IOrvelPacket* p = g_piVrkSystem->LoadPacket(Path(Archive()).c_str());
  ASSERT_NE(p, nullptr);
  const unsigned char stored[16] = {0x11, 'h', 'o', 's', 't', 'i', 'l', 'e'};
  p->BeginUpdate();
  EXPECT_EQ(p->AddCompressedFile("inflated.bin", VRK_ADD_COMPRESS, stored, sizeof stored,
                                 0x7FFF0000u, 0, 0),
            0);
  EXPECT_EQ(p->EndUpdate(), 0);
  g_piVrkSystem->FreePacket(p);

  Mount(Archive(), "mnt");
  struct stat st;
  ASSERT_EQ(stat(Path("mnt/inflated.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0x7FFF0000);
  const int fd = open(Path("mnt/inflated.bin").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  char byte;
  EXPECT_EQ(read(fd, &byte, 1), -1);
  EXPECT_EQ(errno, EIO);
  close(fd);
  EXPECT_EQ(ReadFile(Path("mnt/small.txt")), "small");
}

TEST_P(MountTest, FilesAPatchAddedByHashAloneAreNotShown) {
  if (!Advanced()) GTEST_SKIP() << "patches are made from advanced archives";
  MakeSampleTree(Path("src"));
  WriteFile(Path("new.txt"), "carried by a patch");
  // Without a tree record, which would name the file in the copy too.
  ASSERT_EQ(Create({"-q", "--no-attributes", "--stamp", "0:1", "-C", "src", "."}).status, 0);
  fs::create_directory(Path("copy"));
  for (const std::string& f : DiskFiles(Archive())) fs::copy_file(Path(f), Path("copy/" + f));
  ASSERT_EQ(Vrk({"stamp", Archive(), "0:2"}).status, 0);
  ASSERT_EQ(Vrk({"add", "-q", "--no-attributes", Archive(), "new.txt", "--as", "extra/new.txt"}).status, 0);
  ASSERT_EQ(Vrk({"patch", "create", "-q", Archive()}).status, 0);
  ASSERT_EQ(Vrk({"patch", "apply", "-q", "copy/" + Archive(), "pack.vrx"}).status, 0);
  ASSERT_EQ(Vrk({"cat", "copy/" + Archive(), "extra/new.txt"}).out, "carried by a patch");

  Mount("copy/" + Archive(), "mnt");
  EXPECT_FALSE(Exists(Path("mnt/extra")));
  EXPECT_TRUE(Exists(Path("mnt/docs/guide.txt")));
}

TEST_P(MountTest, SeveralProcessesReadOneFileAtOnce) {
  auto tree = MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"-q", "-C", "src", "."}).status, 0);
  Mount(Archive(), "mnt");
  const std::string path = Path("mnt/big/large.txt");
  const std::string& expected = tree["big/large.txt"];

  // The children wait at a gate (a pipe the parent closes), then all open
  // and read the same file in small pieces.
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  std::vector<pid_t> readers;
  for (int i = 0; i < 6; ++i) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(gate[1]);
      char c;
      if (read(gate[0], &c, 1) != 0) _exit(2);
      int fd = open(path.c_str(), O_RDONLY);
      if (fd < 0) _exit(3);
      std::string got;
      char buf[1000];
      for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
      close(fd);
      _exit(got == expected ? 0 : 1);
    }
    readers.push_back(pid);
  }
  close(gate[0]);
  close(gate[1]);
  for (pid_t pid : readers) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "reader status " << status;
  }
}

// Another process's commits show within about a second, each file whole:
// the old version or the new one, never a mix.
TEST_P(MountTest, ShowsEachCommitOfAnotherProcess) {
  WriteFile(Path("src/a.txt"), "first");
  WriteFile(Path("src/gone.txt"), "to be deleted");
  ASSERT_EQ(Create({"-q", "-C", "src", "."}).status, 0);
  Mount(Archive(), "mnt");
  EXPECT_EQ(ReadFile(Path("mnt/a.txt")), "first");
  WriteFile(Path("src/a.txt"), "the second version, longer than the first");
  WriteFile(Path("src/b.txt"), "new");
  ASSERT_EQ(Vrk({"add", "-q", Archive(), "-C", "src", "a.txt", "b.txt"}).status, 0);
  ASSERT_EQ(Vrk({"delete", Archive(), "gone.txt"}).status, 0);
  bool shown = false;
  for (int i = 0; i < 50 && !shown; ++i) {
    const std::string a = ReadFile(Path("mnt/a.txt"));
    EXPECT_TRUE(a == "first" || a == "the second version, longer than the first") << a;
    shown = fs::exists(Path("mnt/b.txt")) && !fs::exists(Path("mnt/gone.txt")) &&
            a == "the second version, longer than the first";
    if (!shown) usleep(100000);
  }
  EXPECT_TRUE(shown);
  EXPECT_EQ(ReadFile(Path("mnt/b.txt")), "new");
}

TEST_P(MountTest, WritesAreRefusedWithErofs) {
  auto tree = MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"-q", "-C", "src", "."}).status, 0);
  Mount(Archive(), "mnt");
  const std::string file = Path("mnt/readme.txt"), dir = Path("mnt/docs");
  auto refused = [](const char* what, int rc) {
    const int err = errno;
    if (rc >= 0 && std::strncmp(what, "open", 4) == 0) close(rc);
    EXPECT_EQ(rc, -1) << what;
    EXPECT_EQ(err, EROFS) << what << ": " << std::strerror(err);
  };
  refused("open to write", open(file.c_str(), O_WRONLY));
  refused("open to read and write", open(file.c_str(), O_RDWR));
  refused("open to create", open(Path("mnt/new.txt").c_str(), O_WRONLY | O_CREAT, 0644));
  refused("truncate", truncate(file.c_str(), 0));
  refused("unlink", unlink(file.c_str()));
  refused("rename", rename(file.c_str(), Path("mnt/moved.txt").c_str()));
  refused("mkdir", mkdir(Path("mnt/newdir").c_str(), 0755));
  refused("rmdir", rmdir(Path("mnt/docs/deep/nested").c_str()));
  refused("chmod", chmod(file.c_str(), 0644));
  refused("symlink", symlink("readme.txt", Path("mnt/link").c_str()));
  EXPECT_EQ(ReadFile(file), tree["readme.txt"]);
}

TEST_P(MountTest, UmountAndRefusedMounts) {
  MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"-q", "-C", "src", "."}).status, 0);
  WriteFile(Path("junk.vrk"), std::string(4096, 'j'));
  fs::create_directory(Path("mnt"));

  RunResult junk = Vrk({"mount", "junk.vrk", "mnt"});
  EXPECT_EQ(junk.status, kFatal);
  EXPECT_NE(junk.err.find("not an archive"), std::string::npos) << junk.err;
  RunResult missing = Vrk({"mount", Archive(), "nowhere"});
  EXPECT_EQ(missing.status, kFatal);
  EXPECT_NE(missing.err.find("nowhere"), std::string::npos) << missing.err;
  EXPECT_FALSE(IsMountPoint(Path("mnt")));

  Mount(Archive(), "mnt");
  RunResult down = Vrk({"umount", "mnt"});
  EXPECT_EQ(down.status, 0) << down.err;
  EXPECT_FALSE(IsMountPoint(Path("mnt")));
  EXPECT_EQ(Vrk({"umount", "mnt"}).status, kFatal);
}

TEST_P(MountTest, ForegroundMountEndsCleanlyWhenUnmounted) {
  auto tree = MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"-q", "-C", "src", "."}).status, 0);
  fs::create_directory(Path("mnt"));
  const std::string cwd = Path(""), archive = Archive();
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(127);
    execl(VRK_BINARY, "vrk", "mount", "-f", archive.c_str(), "mnt", static_cast<char*>(nullptr));
    _exit(127);
  }
  // Asks `done` (once each time) for up to ten seconds.
  auto waitFor = [](auto done) {
    for (int i = 0; i < 200; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50)))
      if (done()) return true;
    return false;
  };
  const std::string mnt = Path("mnt");
  ASSERT_TRUE(waitFor([&] { return IsMountPoint(mnt); }));
  EXPECT_EQ(ReadFile(Path("mnt/bin/noise.bin")), tree["bin/noise.bin"]);
  EXPECT_EQ(Vrk({"umount", "mnt"}).status, 0);
  int status = -1;
  const bool ended = waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; });
  if (!ended) kill(pid, SIGKILL), waitpid(pid, &status, 0);
  EXPECT_TRUE(ended);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

// The process that holds `path` open, or 0: how a test finds the mount
// running in the background.
pid_t HolderOf(const std::string& path) {
  for (const auto& proc : fs::directory_iterator("/proc")) {
    const std::string pid = proc.path().filename();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator(proc.path() / "fd", ec)) {
      if (fs::read_symlink(fd.path(), ec) == path) return static_cast<pid_t>(std::stoi(pid));
    }
  }
  return 0;
}

// A relative mount point is unmounted when a signal ends the mount, in the
// foreground (Ctrl-C) as in the background (SIGTERM).
TEST_P(MountTest, SignalsUnmountWhateverDirWasGiven) {
  MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"-q", "-C", "src", "."}).status, 0);
  fs::create_directories(Path("sub/fg"));
  {
    VrkProcess fg(Path("sub"), {"mount", "-f", "../" + Archive(), "fg"});
    ASSERT_TRUE(WaitUntil([&] { return IsMountPoint(Path("sub/fg")); }));
    fg.Signal(SIGINT);
    RunResult r = fg.Wait();
    EXPECT_EQ(r.status, 128 + SIGINT) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(IsMountPoint(Path("sub/fg")));
  }
  Mount(Archive(), "bg");
  const pid_t daemon = HolderOf(Path(Archive()));
  ASSERT_GT(daemon, 0);
  ASSERT_EQ(kill(daemon, SIGTERM), 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsMountPoint(Path("bg")) && kill(daemon, 0) != 0; }));
  EXPECT_EQ(DirectoryNames(Path("bg")), std::vector<std::string>{});
}

// A non-empty directory is refused: the mount would hide what is in it.
TEST_P(MountTest, NonEmptyDirectoryOnlyWithNonemptyOption) {
  MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"-q", "-C", "src", "."}).status, 0);
  WriteFile(Path("full/mine.txt"), "mine");
  RunResult refused = Vrk({"mount", Archive(), "full"});
  EXPECT_EQ(refused.status, kFatal);
  EXPECT_EQ(refused.err, "vrk: full: not empty; mount on an empty directory, or give -o nonempty\n");
  EXPECT_FALSE(IsMountPoint(Path("full")));
  Mount(Archive(), "full", {"-o", "nonempty,ro"});
  EXPECT_TRUE(Exists(Path("full/readme.txt")));
  ASSERT_EQ(Vrk({"umount", "full"}).status, 0);
  EXPECT_EQ(ReadFile(Path("full/mine.txt")), "mine");
}

// An archive at a URL shows as on disk, its credentials never in the mount
// table. Replaced on the server, it keeps showing the version mounted until
// a read finds the change: that read fails (EIO), and the next lookup shows
// the new version. A basic archive cannot be read over HTTP.
TEST_P(MountTest, AnArchiveAtAUrlIsOpenedAgainOnceFoundReplaced) {
  WriteFile(Path("www/old/a.txt"), "first");
  WriteFile(Path("www/old/dir/big.dat"), RandomBytes(300000, 5));
  const std::string served = Advanced() ? "served.vrk" : "served.pak";
  ASSERT_EQ(Create({"-q", "-C", "www/old", "."}, "www/" + served).status, 0);
  orvel_test::NginxServer nginx(Path("www"));
  if (!nginx.Running()) GTEST_SKIP() << nginx.Problem();
  std::string url = nginx.Url(served);
  url.insert(url.find("//") + 2, "user:s3cret@");
  if (!Advanced()) {
    fs::create_directories(Path("mnt"));
    const RunResult r = Vrk({"mount", url, "mnt"});
    EXPECT_EQ(r.status, kFatal);
    EXPECT_FALSE(IsMountPoint(Path("mnt")));
    EXPECT_EQ(r.err.find("s3cret"), std::string::npos) << r.err;
    return;
  }
  Mount(url, "mnt");
  EXPECT_EQ(ReadFile(Path("mnt/a.txt")), "first");
  EXPECT_EQ(ReadFile("/proc/self/mounts").find("s3cret"), std::string::npos);

  // The new version is made beside and moved in place, its files renamed
  // one by one as a publisher would.
  WriteFile(Path("new/a.txt"), "the second version");
  WriteFile(Path("new/dir/big.dat"), RandomBytes(400000, 6));
  WriteFile(Path("new/added.txt"), "added");
  ASSERT_EQ(Create({"-q", "-C", "new", "."}, "next.vrk").status, 0);
  for (const char* ext : {".bhl", ".lst", ".vrk"})
    fs::rename(Path(std::string("next") + ext), Path(std::string("www/served") + ext));

  // a.txt was read whole at its open and is kept: still the first version.
  EXPECT_EQ(ReadFile(Path("mnt/a.txt")), "first");
  const int fd = open(Path("mnt/dir/big.dat").c_str(), O_RDONLY);
  char byte;
  if (fd >= 0) {
    errno = 0;
    EXPECT_EQ(read(fd, &byte, 1), -1);
    EXPECT_EQ(errno, EIO);
    close(fd);
  }
  EXPECT_TRUE(Exists(Path("mnt/added.txt")));
  EXPECT_EQ(ReadFile(Path("mnt/a.txt")), "the second version");
  EXPECT_EQ(ReadFile(Path("mnt/dir/big.dat")), RandomBytes(400000, 6));
}

VRK_BOTH_VARIANTS(MountTest);

}  // namespace
}  // namespace vrktest
