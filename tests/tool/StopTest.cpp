// Nothing a user had is lost: a create or extract stopped by a signal leaves
// the old archive and no partial file under a real name, and a file too
// large for an archive is refused from its size, before anything is read or
// written.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "VrkFixture.h"

namespace vrktest {
namespace {

class StopTest : public VrkTest {
 protected:
  // True when `dir` holds a name with `part` in it.
  bool Holds(const std::string& dir, const std::string& part) const {
    for (const std::string& name : DirectoryNames(Path(dir)))
      if (name.find(part) != std::string::npos) return true;
    return false;
  }
};

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

// A stopped add commits the files it added, with their record entries, and
// leaves a whole archive.
TEST_P(StopTest, StoppedAddKeepsAWholeArchive) {
  WriteFile(Path("old/Kept.txt"), "kept");
  ASSERT_EQ(Create({"-C", "old", "."}).status, 0);
  std::map<std::string, std::string> added;
  for (int i = 0; i < 3; ++i) {
    added["New" + std::to_string(i) + ".txt"] = TextBytes(6 << 20, 10 + i);
    WriteFile(Path("new/New" + std::to_string(i) + ".txt"), added["New" + std::to_string(i) + ".txt"]);
  }
  VrkProcess add(Path(""), {"add", Archive(), "-C", "new", "."});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  add.Signal(SIGINT);
  EXPECT_EQ(add.Wait().status, 130);
  RunResult verify = Vrk({"verify", Archive()});
  EXPECT_EQ(verify.status, 0) << verify.err;
  ASSERT_EQ(Vrk({"extract", Archive(), "-C", "out"}).status, 0);
  auto tree = ReadTree(Path("out"));
  EXPECT_EQ(tree["Kept.txt"], "kept");
  tree.erase("Kept.txt");
  for (const auto& [name, content] : tree)
    EXPECT_TRUE(content == added[name]) << name << " under its spelled name";
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
  VrkProcess extract(Path(""), {"extract", Archive(), "-C", "out"});
  ASSERT_TRUE(WaitUntil([&] { return Exists(Path("out")) && !DirectoryNames(Path("out")).empty(); }));
  extract.Signal(SIGTERM);
  RunResult r = extract.Wait();
  EXPECT_EQ(r.status, 143) << r.err;
  EXPECT_FALSE(Holds("out", ".part"));
  for (const std::string& name : DirectoryNames(Path("out")))
    EXPECT_EQ(ReadFile(Path("out/" + name)).size(), size_t{size}) << name << " is partial";
}

TEST_P(StopTest, FileTooLargeIsRefusedBeforeReading) {
  // 5 GiB of holes: reading it would take long and fill memory.
  const std::string sparse = Path("big/sparse.bin");
  WriteFile(sparse, "");
  ASSERT_EQ(truncate(sparse.c_str(), 5ll << 30), 0);
  RunResult r = Create({"big"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("sparse.bin: too large for an archive"), std::string::npos) << r.err;
  EXPECT_EQ(DirectoryNames(Path("")), (std::vector<std::string>{"big"})) << "nothing left behind";

  // Beside other files, it is skipped and the rest is packed.
  WriteFile(Path("big/small.txt"), "small");
  r = Create({"big"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Vrk({"list", Archive()}).out, "big/small.txt\n");
  EXPECT_EQ(Vrk({"add", Archive(), sparse}).status, 1);
}

VRK_BOTH_VARIANTS(StopTest);

}  // namespace
}  // namespace vrktest
