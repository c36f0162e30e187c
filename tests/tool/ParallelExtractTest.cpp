// vrk extract -j: files read by several threads, from a URL or the disk,
// land as with one, named in the same order, and a damaged file in the
// middle is reported as with one.
#include <cstdio>
#include <filesystem>

#include "VrkFixture.h"
#include "common/NginxServer.h"

namespace vrktest {
namespace {

class ParallelExtractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A few hundred files in nested directories: text, noise, empty, and
    // some larger than the remote layer's largest read-ahead (1 MiB).
    for (unsigned i = 0; i < 300; ++i) {
      const std::string name = "d" + std::to_string(i % 7) + "/s" + std::to_string(i % 3) + "/f" +
                               std::to_string(i) + ".dat";
      std::string bytes;
      if (i % 50 == 7) {
        bytes = RandomBytes((1u << 20) + 1000 * i, i);
      } else if (i % 11 == 0) {
        bytes = "";
      } else {
        bytes = i % 2 ? TextBytes(100 + 37 * i, i) : RandomBytes(50 + 23 * i, i);
      }
      tree_[name] = bytes;
      WriteFile(work_ / ("src/" + name), bytes);
    }
    ASSERT_EQ(Vrk({"create", "-q", www_ / "tree.vrk", "-C", work_ / "src", "."}).status, kDone);
    ASSERT_EQ(Vrk({"create", "-q", "--basic", www_ / "tree.pak", "-C", work_ / "src", "."}).status,
              kDone);
  }

  RunResult Vrk(const std::vector<std::string>& args) const { return RunVrk(work_.path(), args); }

  // vrk extract -v of `archive` into a fresh directory, with `jobs` (none:
  // the default).
  RunResult Extract(const std::string& archive, const std::string& jobs, const std::string& out) {
    std::vector<std::string> args{"extract", "-v", archive, "-C", work_ / out};
    if (!jobs.empty()) args.insert(args.begin() + 1, {"-j", jobs});
    return Vrk(args);
  }

  // Flips two bytes inside the stored bytes of f150.dat (noise, stored as
  // it is) on the disk.
  void DamageMiddleFile() {
    const std::string path = www_ / "tree.vrk";
    std::string bytes = ReadFile(path);
    const std::string& victim = tree_.at("d3/s0/f150.dat");
    const size_t at = bytes.find(victim.substr(100, 64));
    ASSERT_NE(at, std::string::npos);
    bytes[at] ^= 0x11, bytes[at + 1] ^= 0x22;
    WriteFile(path, bytes);
  }

  TempDir www_;
  TempDir work_;
  std::map<std::string, std::string> tree_;
};

TEST_F(ParallelExtractTest, EveryWayGivesTheSameTreeAndMessages) {
  orvel_test::NginxServer nginx(www_.path());
  const bool served = nginx.Running();
  if (!served) std::fprintf(stderr, "URL cases skipped: %s\n", nginx.Problem().c_str());
  const RunResult reference = Extract(www_ / "tree.vrk", "", "reference");
  ASSERT_EQ(reference.status, kDone) << reference.err;
  ASSERT_EQ(ReadTree(work_ / "reference"), tree_);
  struct Case {
    const char* what;
    bool remote;
    const char* jobs;
    const char* archive;
  };
  const Case cases[] = {
      {"disk -j 4", false, "4", "tree.vrk"}, {"disk -j 2", false, "2", "tree.vrk"},
      {"basic -j 3", false, "3", "tree.pak"}, {"URL by default", true, "", "tree.vrk"},
      {"URL -j 1", true, "1", "tree.vrk"},    {"URL -j 7", true, "7", "tree.vrk"},
  };
  int n = 0;
  for (const Case& c : cases) {
    if (c.remote && !served) continue;
    SCOPED_TRACE(c.what);
    const std::string out = "out" + std::to_string(n++);
    const RunResult r = Extract(c.remote ? nginx.Url(c.archive) : www_ / c.archive, c.jobs, out);
    EXPECT_EQ(r.status, kDone) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.out == reference.out) << "names written in another order";
    EXPECT_TRUE(ReadTree(work_ / out) == tree_);
  }
}

TEST_F(ParallelExtractTest, ADamagedFileMidwayIsReportedAsWithOneThread) {
  DamageMiddleFile();
  orvel_test::NginxServer nginx(www_.path());
  std::vector<std::string> archives{www_ / "tree.vrk"};
  if (nginx.Running()) archives.push_back(nginx.Url("tree.vrk"));
  for (const std::string& archive : archives) {
    SCOPED_TRACE(archive);
    const RunResult one = Extract(archive, "1", "one");
    EXPECT_EQ(one.status, kWarnings);
    EXPECT_NE(one.err.find("f150.dat"), std::string::npos) << one.err;
    for (const char* jobs : {"2", "5"}) {
      const std::string out = std::string("many") + jobs;
      const RunResult many = Extract(archive, jobs, out);
      EXPECT_EQ(many.status, one.status) << jobs;
      EXPECT_EQ(many.err, one.err) << jobs;
      EXPECT_TRUE(many.out == one.out) << jobs;
      EXPECT_TRUE(ReadTree(work_ / out) == ReadTree(work_ / "one")) << jobs;
    }
    std::filesystem::remove_all(work_ / "one");
    for (const char* out : {"many2", "many5"}) std::filesystem::remove_all(work_ / out);
  }
}

TEST_F(ParallelExtractTest, JobsOutOfRangeAreRefused) {
  for (const char* jobs : {"0", "65", "x"}) {
    const RunResult r = Extract(www_ / "tree.vrk", jobs, "out");
    EXPECT_EQ(r.status, kFatal) << jobs;
    EXPECT_FALSE(Exists(work_ / "out")) << jobs;
  }
}

}  // namespace
}  // namespace vrktest
