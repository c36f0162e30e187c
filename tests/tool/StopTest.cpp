// Nothing a user had is lost: a create or extract stopped by a signal leaves
// the old archive and no partial file under a real name, the temporary
// files of a killed create are removed by the next one (and only those), and
// a file too large for an archive is refused from its size, before anything
// is read or written. (A stopped add: CommitTest.)
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <thread>

#include "VrkFixture.h"

namespace vrktest {
namespace {

class StopTest : public VrkTest {
 protected:
  // True when `dir` holds a name with `part` in it.
  bool Holds(const std::string& dir, const std::string& part) const {
    return !Named(dir, part).empty();
  }
  // The names in `dir` with `part` in them.
  std::vector<std::string> Named(const std::string& dir, const std::string& part) const {
    std::vector<std::string> names;
    for (const std::string& name : DirectoryNames(Path(dir)))
      if (name.find(part) != std::string::npos) names.push_back(name);
    return names;
  }
  // A create of large files into the archive under test, in the background;
  // returns once its temporary archive has been started.
  std::unique_ptr<VrkProcess> SlowCreate() {
    for (int i = 0; i < 3; ++i) WriteFile(Path("new/t" + std::to_string(i)), TextBytes(4 << 20, i));
    std::vector<std::string> args{"create", "-q", Archive(), "-C", "new", "."};
    if (!Advanced()) args.push_back("--basic");
    auto create = std::make_unique<VrkProcess>(Path(""), args);
    EXPECT_TRUE(WaitUntil([&] {
      const std::vector<std::string> names = Named(".", "-new");
      return !names.empty() && std::filesystem::file_size(Path(names[0])) > 0;
    }));
    return create;
  }
  // The temporary archive file of process `pid`.
  std::string TemporaryOf(long pid) const {
    return "." + Archive() + "-new" + std::to_string(pid) + (Advanced() ? ".vrk" : "");
  }
};

// The id of a process that has ended.
long EndedProcess() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

TEST_P(StopTest, StoppedCreateLeavesTheOldArchive) {
  WriteFile(Path("old/kept.txt"), "kept");
  ASSERT_EQ(Create({"-C", "old", "."}).status, 0);
  std::map<std::string, std::string> before;
  for (const std::string& f : DiskFiles(Archive())) before[f] = ReadFile(Path(f));

  // Enough text that LZO1X-999 takes seconds; the stop comes once the new
  // archive has been started under its temporary name.
  for (int i = 0; i < 3; ++i) WriteFile(Path("new/t" + std::to_string(i)), TextBytes(8 << 20, i));
  std::vector<std::string> args{"create", Archive(), "-C", "new", "."};
  if (!Advanced()) args.push_back("--basic");
  VrkProcess create(Path(""), args);
  ASSERT_TRUE(WaitUntil([&] { return Holds(".", "-new"); }));
  create.Signal(SIGINT);
  RunResult r = create.Wait();
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
  for (const auto& [file, bytes] : before) EXPECT_TRUE(ReadFile(Path(file)) == bytes) << file;
  EXPECT_FALSE(Holds(".", "-new")) << "temporary files are removed";
  EXPECT_EQ(Vrk({"list", Archive()}).out, "kept.txt\n");
}

TEST_P(StopTest, KilledCreateIsClearedByTheNextOne) {
  WriteFile(Path("old/kept.txt"), "kept");
  ASSERT_EQ(Create({"-q", "-C", "old", "."}).status, 0);
  auto killed = SlowCreate();
  killed->Signal(SIGKILL);
  killed->Wait();
  const std::vector<std::string> left = Named(".", "-new");
  ASSERT_FALSE(left.empty());

  // Names like vrk's that are not provably its own stay: not an archive, a
  // name vrk does not make, another archive's temporary file, a side file
  // without its archive file.
  const std::string dead = std::to_string(EndedProcess());
  std::vector<std::string> foreign = {TemporaryOf(EndedProcess()), "." + Archive() + "-new12x",
                                      ".other.vrk-new" + dead + ".vrk", "." + Archive() + "-new" + dead + ".bhl"};
  WriteFile(Path(foreign[0]), "notes of my own");
  for (size_t i = 1; i < foreign.size(); ++i) WriteFile(Path(foreign[i]), std::string("VRK\x1A", 4) + "data");
  std::sort(foreign.begin(), foreign.end());

  ASSERT_EQ(Create({"-q", "-C", "old", "."}).status, 0);
  EXPECT_EQ(Named(".", "-new"), foreign);
  EXPECT_EQ(Vrk({"list", Archive()}).out, "kept.txt\n");
}

// A create that is running keeps its temporary files while another create
// of the same archive runs, even when the process id in their name is not
// its own: its lock on them shows that they are in use.
TEST_P(StopTest, LiveCreateKeepsItsTemporaryFiles) {
  WriteFile(Path("old/kept.txt"), "kept");
  auto live = SlowCreate();
  live->Signal(SIGSTOP);
  const std::string own = TemporaryOf(live->Pid());
  const std::string renamed = TemporaryOf(EndedProcess());
  ASSERT_TRUE(Exists(Path(own)));
  const std::vector<std::string> before = Named(".", "-new");
  RunResult other = Create({"-q", "-C", "old", "."});
  EXPECT_EQ(other.status, 0) << other.err;
  EXPECT_EQ(Named(".", "-new"), before);

  ASSERT_EQ(rename(Path(own).c_str(), Path(renamed).c_str()), 0);
  other = Create({"-q", "-C", "old", "."});
  EXPECT_EQ(other.status, 0) << other.err;
  EXPECT_TRUE(Exists(Path(renamed))) << "a locked temporary file stays";
  ASSERT_EQ(rename(Path(renamed).c_str(), Path(own).c_str()), 0);

  // Still its own: a stop removes them.
  live->Signal(SIGINT);
  live->Signal(SIGCONT);
  RunResult r = live->Wait();
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_EQ(r.err, "vrk: interrupted; no archive written\n");
  EXPECT_FALSE(Holds(".", "-new"));
  EXPECT_EQ(Vrk({"list", Archive()}).out, "kept.txt\n");
}

TEST_P(StopTest, StoppedExtractLeavesNoPartialFile) {
  // Large files of zeros (holes, so quick to make) pack small but take a
  // while to write out.
  const off_t size = 32 << 20;
  for (int i = 0; i < 6; ++i) {
    const std::string path = Path("in/z" + std::to_string(i));
    WriteFile(path, "");
    ASSERT_EQ(truncate(path.c_str(), size), 0);
  }
  ASSERT_EQ(Create({"-C", "in", "."}).status, 0);
  // With worker threads reading ahead too.
  for (const char* jobs : {"1", "4"}) {
    SCOPED_TRACE(jobs);
    std::filesystem::remove_all(Path("out"));
    VrkProcess extract(Path(""), {"extract", "-j", jobs, Archive(), "-C", "out"});
    ASSERT_TRUE(WaitUntil([&] { return Exists(Path("out")) && !DirectoryNames(Path("out")).empty(); }));
    extract.Signal(SIGTERM);
    RunResult r = extract.Wait();
    EXPECT_EQ(r.status, 143) << r.err;
    EXPECT_FALSE(Holds("out", ".part"));
    for (const std::string& name : DirectoryNames(Path("out")))
      EXPECT_EQ(ReadFile(Path("out/" + name)).size(), size_t{size}) << name << " is partial";
  }
}

TEST_P(StopTest, FileTooLargeIsRefusedBeforeReading) {
  // 5 GiB of holes: reading it would take long and fill memory.
  const std::string sparse = Path("big/sparse.bin");
  WriteFile(sparse, "");
  ASSERT_EQ(truncate(sparse.c_str(), 5ll << 30), 0);
  RunResult r = Create({"big"});
  EXPECT_EQ(r.status, kFatal);
  EXPECT_NE(r.err.find("sparse.bin: too large for an archive"), std::string::npos) << r.err;
  EXPECT_EQ(DirectoryNames(Path("")), (std::vector<std::string>{"big"})) << "nothing left behind";

  // Beside other files, it is skipped and the rest is packed.
  WriteFile(Path("big/small.txt"), "small");
  r = Create({"big"});
  EXPECT_EQ(r.status, kWarnings);
  EXPECT_EQ(Vrk({"list", Archive()}).out, "big/small.txt\n");
  EXPECT_EQ(Vrk({"add", Archive(), sparse}).status, kWarnings);
}

VRK_BOTH_VARIANTS(StopTest);

}  // namespace
}  // namespace vrktest
