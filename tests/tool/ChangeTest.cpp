// add, delete, compact, stamp and verify on both variants.
#include <fstream>

#include "VrkFixture.h"

namespace vrktest {
namespace {

class ChangeTest : public VrkTest {
 protected:
  void SetUp() override {
    tree_ = MakeSampleTree(Path("src"));
    RunResult c = Create({"-C", "src", "."});
    ASSERT_EQ(c.status, 0) << c.err;
  }
  std::string Cat(const std::string& name) const { return Vrk({"cat", Archive(), name}).out; }

  std::map<std::string, std::string> tree_;
};

TEST_P(ChangeTest, AddReplacesUnlessKeep) {
  WriteFile(Path("new/readme.txt"), "replaced text");
  RunResult r = Vrk({"add", Archive(), "-C", "new", "readme.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Cat("readme.txt"), "replaced text");

  WriteFile(Path("new/readme.txt"), "kept?");
  WriteFile(Path("new/extra.txt"), TextBytes(5000, 9));
  r = Vrk({"add", Archive(), "--keep", "-C", "new", "readme.txt", "extra.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Cat("readme.txt"), "replaced text");
  EXPECT_EQ(Cat("extra.txt"), TextBytes(5000, 9));

  r = Vrk({"add", Archive(), "new/readme.txt", "--as", "renamed/inside.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Cat("renamed/inside.txt"), "kept?");

  // The listing holds every name once, and everything still reads back.
  nlohmann::json files = Json({"list", Archive(), "--json"});
  EXPECT_EQ(files.size(), tree_.size() + 2);
  RunResult v = Vrk({"verify", Archive()});
  EXPECT_EQ(v.status, 0) << v.err;
}

TEST_P(ChangeTest, ReplacingWithLargerDataKeepsTheOtherFilesIntact) {
  WriteFile(Path("new/docs/deep/nested/note.txt"), RandomBytes(50000, 77));
  ASSERT_EQ(Vrk({"add", Archive(), "-C", "new", "docs"}).status, 0);
  auto expected = tree_;
  expected["docs/deep/nested/note.txt"] = RandomBytes(50000, 77);
  ASSERT_EQ(Vrk({"extract", Archive(), "-C", "out"}).status, 0);
  EXPECT_EQ(ReadTree(Path("out")), expected);
}

TEST_P(ChangeTest, DeleteThenCompact) {
  RunResult d = Vrk({"delete", Archive(), "big/large.txt", "bin/noise.bin"});
  ASSERT_EQ(d.status, 0) << d.err;
  nlohmann::json info = Json({"info", Archive(), "--json"});
  EXPECT_EQ(info["files"], tree_.size() - 2);
  EXPECT_NE(info["flags"].get<unsigned>() & 1u, 0u) << "holes flag";
  EXPECT_GT(info["wasted_bytes"].get<unsigned>(), 0u);
  uint64_t before = info["disk_total"];

  RunResult c = Vrk({"compact", Archive()});
  ASSERT_EQ(c.status, 0) << c.err;
  info = Json({"info", Archive(), "--json"});
  EXPECT_LT(info["disk_total"].get<uint64_t>(), before);
  EXPECT_EQ(info["wasted_bytes"], 0);
  EXPECT_EQ(info["flags"].get<unsigned>() & 1u, 0u);

  auto expected = tree_;
  expected.erase("big/large.txt");
  expected.erase("bin/noise.bin");
  ASSERT_EQ(Vrk({"extract", Archive(), "-C", "out"}).status, 0);
  EXPECT_EQ(ReadTree(Path("out")), expected);
  EXPECT_EQ(Vrk({"verify", Archive()}).status, 0);

  RunResult missing = Vrk({"delete", Archive(), "readme.txt", "no-such-file"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no-such-file: not in the archive"), std::string::npos) << missing.err;
  EXPECT_EQ(Vrk({"cat", Archive(), "readme.txt"}).status, 1) << "present names still go";
}

TEST_P(ChangeTest, StampIsCarriedByLaterFiles) {
  RunResult s = Vrk({"stamp", Archive()});
  ASSERT_EQ(s.status, 0) << s.err;
  EXPECT_NE(s.out.find("stamp:         0:0"), std::string::npos) << s.out;

  ASSERT_EQ(Vrk({"stamp", Archive(), "3:7"}).status, 0);
  EXPECT_NE(Vrk({"stamp", Archive()}).out.find("3:7"), std::string::npos);

  WriteFile(Path("new/later.txt"), "later");
  WriteFile(Path("new/pinned.txt"), "pinned");
  WriteFile(Path("new/readme.txt"), "replaced");
  ASSERT_EQ(Vrk({"add", Archive(), "-C", "new", "later.txt", "readme.txt"}).status, 0);
  ASSERT_EQ(Vrk({"add", Archive(), "-C", "new", "pinned.txt", "--version", "9"}).status, 0);
  for (const auto& f : Json({"list", Archive(), "--json"})) {
    std::string name = f["name"];
    unsigned high = f["version_high"], low = f["version_low"];
    if (name == "later.txt" || name == "readme.txt") {
      EXPECT_EQ(high, 3u) << name;
      EXPECT_EQ(low, 7u) << name;
    } else if (name == "pinned.txt") {
      EXPECT_EQ(high, 0u);
      EXPECT_EQ(low, 9u);
    } else {
      EXPECT_EQ(low, 0u) << name;
    }
  }
  EXPECT_EQ(Vrk({"stamp", Archive(), "1:x"}).status, 2);
}

// Overwrites `count` bytes at `offset` of `path` with 0xFF.
void Damage(const std::string& path, long offset, size_t count) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(offset);
  f.write(std::string(count, '\xFF').data(), static_cast<std::streamsize>(count));
}

TEST_P(ChangeTest, VerifyNamesTheDamagedFile) {
  // A second archive with one compressed file right after the header.
  WriteFile(Path("one/victim.txt"), TextBytes(100000, 42));
  std::string archive = Advanced() ? "victim.vrk" : "victim.pak";
  std::vector<std::string> args{"create", archive, "-C", "one", "."};
  if (!Advanced()) args.push_back("--basic");
  ASSERT_EQ(Vrk(args).status, 0);
  RunResult ok = Vrk({"verify", archive});
  ASSERT_EQ(ok.status, 0) << ok.err;
  EXPECT_NE(ok.out.find("1 files intact"), std::string::npos) << ok.out;

  Damage(Path(archive), (Advanced() ? 60 : 48) + 200, 64);
  RunResult bad = Vrk({"verify", archive});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("victim.txt"), std::string::npos) << bad.err;
  EXPECT_NE(bad.out.find("1 of 1 files damaged"), std::string::npos) << bad.out;
}

TEST_P(ChangeTest, VerifyRefusesSomethingElse) {
  WriteFile(Path("junk.vrk"), RandomBytes(4096, 3));
  RunResult r = Vrk({"verify", "junk.vrk"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "vrk: junk.vrk: VRKERR_BAD_SIGNATURE (-6): not an archive of this format\n");
}

VRK_BOTH_VARIANTS(ChangeTest);

}  // namespace
}  // namespace vrktest
