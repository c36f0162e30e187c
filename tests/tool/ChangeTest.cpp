// add, delete, compact, stamp and verify on both variants.
#include <cstdio>

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

  r = Vrk({"add", Archive(), "new/readme.txt", "--as", "renamed/inside.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  // Replacing with larger data keeps the other files intact.
  WriteFile(Path("new/docs/deep/nested/note.txt"), RandomBytes(50000, 77));
  ASSERT_EQ(Vrk({"add", Archive(), "-C", "new", "docs"}).status, 0);
  auto expected = tree_;
  expected["docs/deep/nested/note.txt"] = RandomBytes(50000, 77);
  expected["readme.txt"] = "replaced text";
  expected["extra.txt"] = TextBytes(5000, 9);
  expected["renamed/inside.txt"] = "kept?";
  ASSERT_EQ(Vrk({"extract", Archive(), "-C", "out"}).status, 0);
  EXPECT_EQ(ReadTree(Path("out")), expected);
}

TEST_P(ChangeTest, DeleteThenCompact) {
  RunResult d = Vrk({"delete", Archive(), "big/large.txt", "bin/noise.bin"});
  ASSERT_EQ(d.status, 0) << d.err;
  nlohmann::json info = Json({"info", Archive(), "--json"});
  EXPECT_EQ(info["files"], tree_.size() - 2);
  EXPECT_NE(info["flags"].get<unsigned>() & 1u, 0u) << "holes flag";
  const uint64_t before = info["disk_total"];

  RunResult c = Vrk({"compact", Archive()});
  ASSERT_EQ(c.status, 0) << c.err;
  info = Json({"info", Archive(), "--json"});
  EXPECT_LT(info["disk_total"].get<uint64_t>(), before);
  EXPECT_EQ(info["wasted_bytes"], 0);

  auto expected = tree_;
  expected.erase("big/large.txt"), expected.erase("bin/noise.bin");
  ASSERT_EQ(Vrk({"extract", Archive(), "-C", "out"}).status, 0);
  EXPECT_EQ(ReadTree(Path("out")), expected);

  RunResult missing = Vrk({"delete", Archive(), "readme.txt", "no-such-file"});
  EXPECT_EQ(missing.status, kWarnings);
  EXPECT_NE(missing.err.find("no-such-file: not in the archive"), std::string::npos) << missing.err;
  EXPECT_EQ(Vrk({"cat", Archive(), "readme.txt"}).status, kFatal) << "present names still go";
}

TEST_P(ChangeTest, StampIsCarriedByLaterFiles) {
  EXPECT_NE(Vrk({"stamp", Archive()}).out.find("stamp:         0:0"), std::string::npos);
  ASSERT_EQ(Vrk({"stamp", Archive(), "3:7"}).status, 0);
  EXPECT_NE(Vrk({"stamp", Archive()}).out.find("3:7"), std::string::npos);

  WriteFile(Path("new/later.txt"), "later");
  WriteFile(Path("new/pinned.txt"), "pinned");
  WriteFile(Path("new/readme.txt"), "replaced");
  ASSERT_EQ(Vrk({"add", Archive(), "-C", "new", "later.txt", "readme.txt"}).status, 0);
  ASSERT_EQ(Vrk({"add", Archive(), "-C", "new", "pinned.txt", "--stamp", "9"}).status, 0);
  for (const auto& f : Json({"list", Archive(), "--json"})) {
    const std::string name = f["name"];
    const unsigned high = f["version_high"], low = f["version_low"];
    const bool later = name == "later.txt" || name == "readme.txt";
    EXPECT_EQ(high * 100 + low, later ? 307u : name == "pinned.txt" ? 9u : 0u) << name;
  }
  EXPECT_EQ(Vrk({"stamp", Archive(), "1:x"}).status, 2);
}

TEST_P(ChangeTest, VerifyNamesTheDamagedFile) {
  // A second archive with one compressed file right after the header.
  WriteFile(Path("one/victim.txt"), TextBytes(100000, 42));
  const std::string archive = Named("victim");
  ASSERT_EQ(Create({"-C", "one", "."}, archive).status, 0);
  RunResult ok = Vrk({"verify", archive});
  ASSERT_EQ(ok.status, 0) << ok.err;
  EXPECT_NE(ok.out.find(Advanced() ? "1 file intact" : "1 file: 1 compressed decodes to its size"),
            std::string::npos)
      << ok.out;

  std::string bytes = ReadFile(Path(archive));
  bytes.replace((Advanced() ? 60 : 48) + 200, 64, 64, '\xFF');
  WriteFile(Path(archive), bytes);
  RunResult bad = Vrk({"verify", archive});
  EXPECT_EQ(bad.status, kWarnings);
  EXPECT_NE(bad.err.find("victim.txt"), std::string::npos) << bad.err;
  EXPECT_NE(bad.out.find("1 of 1 file damaged"), std::string::npos) << bad.out;
}

// verify says what it could check: basic archives keep no checksums, so a
// changed stored file there is "unchecked", never "intact"; files that no
// name list names cannot be read at all.
TEST_P(ChangeTest, VerifyNeverCallsUncheckedFilesIntact) {
  WriteFile(Path("two/noise.bin"), RandomBytes(5000, 8));
  WriteFile(Path("two/text.txt"), TextBytes(5000, 9));
  const std::string archive = Named("two");
  ASSERT_EQ(Create({"-C", "two", "."}, archive).status, 0);
  if (!Advanced()) {
    std::string bytes = ReadFile(Path(archive));
    const size_t at = bytes.find(RandomBytes(5000, 8).substr(1000, 64));
    ASSERT_NE(at, std::string::npos);
    bytes[at] ^= 0x20;
    WriteFile(Path(archive), bytes);
    RunResult r = Vrk({"verify", archive});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, archive + ": 2 files: 1 compressed decodes to its size; 1 stored unchecked "
                               "(basic archives keep no checksums)\n");
    return;
  }
  // Without a name list, names come from the tree record if there is one.
  ASSERT_EQ(Create({"--no-attributes", "-C", "two", "."}, Named("bare")).status, 0);
  for (const std::string stem : {"two", "bare"}) std::remove(Path(stem + ".lst").c_str());
  RunResult named = Vrk({"verify", archive});
  EXPECT_EQ(named.status, kWarnings);
  // Salvage writes the name list anew, and verify says so.
  EXPECT_EQ(named.err, "vrk: two.lst missing: names taken from the tree record\n"
                       "vrk: try `vrk salvage two.vrk NEW.vrk` to recover the intact files\n");
  EXPECT_EQ(named.out, archive + ": 2 files intact\n");
  RunResult bare = Vrk({"verify", Named("bare")});
  EXPECT_EQ(bare.status, kWarnings);
  EXPECT_EQ(bare.err, "vrk: bare.lst missing: 2 files cannot be named\n"
                      "vrk: try `vrk salvage bare.vrk NEW.vrk` to recover the intact files\n");
  EXPECT_EQ(bare.out, "bare.vrk: 0 files intact, 2 not checked\n");
}

VRK_BOTH_VARIANTS(ChangeTest);

}  // namespace
}  // namespace vrktest
