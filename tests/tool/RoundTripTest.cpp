// create, list, info, extract and cat on both variants; identical archives
// whatever the number of compression threads.
#include <algorithm>

#include "VrkFixture.h"

namespace vrktest {
namespace {

class RoundTripTest : public VrkTest {};

TEST_P(RoundTripTest, ExtractGivesBackEveryFileByteForByte) {
  auto tree = MakeSampleTree(Path("src"));
  RunResult c = Create({"-C", "src", "."});
  ASSERT_EQ(c.status, 0) << c.err;

  RunResult x = Vrk({"extract", Archive(), "-C", "out"});
  ASSERT_EQ(x.status, 0) << x.err;
  EXPECT_EQ(ReadTree(Path("out")), tree);

  // Named extraction takes just those files.
  RunResult one = Vrk({"extract", Archive(), "docs/guide.txt", "-C", "one"});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(ReadTree(Path("one")),
            (std::map<std::string, std::string>{{"docs/guide.txt", tree["docs/guide.txt"]}}));
}

TEST_P(RoundTripTest, NamesComeFromThePathsAsGiven) {
  MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"src/docs", "src/readme.txt"}).status, 0);
  RunResult l = Vrk({"list", Archive()});
  ASSERT_EQ(l.status, 0) << l.err;
  EXPECT_EQ(l.out, "src/docs/deep/nested/note.txt\nsrc/docs/guide.txt\nsrc/readme.txt\n");
}

TEST_P(RoundTripTest, LongListingAndJsonAgree) {
  auto tree = MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"-C", "src", "."}).status, 0);

  nlohmann::json files = Json({"list", Archive(), "--json"});
  ASSERT_TRUE(files.is_array());
  ASSERT_EQ(files.size(), tree.size());
  for (const auto& f : files) {
    std::string name = f["name"];
    ASSERT_TRUE(tree.count(name)) << name;
    EXPECT_EQ(f["original_size"], tree[name].size()) << name;
    bool compressed = f["compressed"];
    // Text shrinks and is compressed; random bytes and empty files are kept
    // as they are because compressing would not make them smaller.
    if (name.find(".txt") != std::string::npos) {
      EXPECT_TRUE(compressed) << name;
      EXPECT_LT(f["stored_size"], f["original_size"]) << name;
    } else {
      EXPECT_FALSE(compressed) << name;
      EXPECT_EQ(f["stored_size"], f["original_size"]) << name;
    }
  }

  RunResult l = Vrk({"list", "-l", Archive()});
  ASSERT_EQ(l.status, 0);
  EXPECT_NE(l.out.find("stored"), std::string::npos);
  EXPECT_NE(l.out.find(" c "), std::string::npos);
  EXPECT_NE(l.out.find("bin/noise.bin"), std::string::npos);
}

TEST_P(RoundTripTest, StoreKeepsEverythingUncompressed) {
  MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"--store", "-C", "src", "."}).status, 0);
  for (const auto& f : Json({"list", Archive(), "--json"})) {
    EXPECT_FALSE(f["compressed"]) << f["name"];
    EXPECT_EQ(f["stored_size"], f["original_size"]);
  }
  RunResult x = Vrk({"extract", Archive(), "-C", "out"});
  EXPECT_EQ(x.status, 0) << x.err;
  EXPECT_EQ(ReadTree(Path("out")), ReadTree(Path("src")));
}

TEST_P(RoundTripTest, InfoDescribesTheArchive) {
  auto tree = MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"--version", "2:5", "--table-size", "100", "-C", "src", "."}).status, 0);
  nlohmann::json info = Json({"info", Archive(), "--json"});
  EXPECT_EQ(info["variant"], Advanced() ? "advanced" : "basic");
  EXPECT_EQ(info["files"], tree.size());
  EXPECT_EQ(info["stamp"]["high"], 2);
  EXPECT_EQ(info["stamp"]["low"], 5);
  EXPECT_EQ(info["base_version"], Advanced() ? 5 : 0);
  EXPECT_EQ(info["table_size"], 128);
  EXPECT_EQ(info["wasted_bytes"], 0);
  EXPECT_EQ(info["disk"].size(), Advanced() ? 3u : 1u);

  RunResult text = Vrk({"info", Archive()});
  ASSERT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("variant:"), std::string::npos);
  EXPECT_NE(text.out.find("table size:    128"), std::string::npos);
}

TEST_P(RoundTripTest, CatWritesOneFileAndFindsNamesInAnyCase) {
  auto tree = MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"-C", "src", "."}).status, 0);
  RunResult r = Vrk({"cat", Archive(), "bin/noise.bin"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, tree["bin/noise.bin"]);
  EXPECT_EQ(Vrk({"cat", Archive(), "DOCS/Guide.TXT"}).out, tree["docs/guide.txt"]);
  EXPECT_EQ(Vrk({"cat", Archive(), "empty.dat"}).out, "");

  RunResult missing = Vrk({"cat", Archive(), "nope.txt"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("nope.txt"), std::string::npos);
}

TEST_P(RoundTripTest, SameArchiveForOneAndFourThreads) {
  MakeSampleTree(Path("src"));
  for (int i = 0; i < 40; ++i)
    WriteFile(Path("src/many/f" + std::to_string(i) + ".txt"), TextBytes(1000 + 997 * i, 100 + i));
  std::string a1 = Advanced() ? "one.vrk" : "one.pak", a4 = Advanced() ? "four.vrk" : "four.pak";
  std::vector<std::string> variant = Advanced() ? std::vector<std::string>{}
                                                : std::vector<std::string>{"--basic"};
  auto create = [&](const std::string& archive, const char* jobs) {
    std::vector<std::string> args{"create", archive, "--jobs", jobs, "-C", "src", "."};
    args.insert(args.end(), variant.begin(), variant.end());
    return Vrk(args);
  };
  ASSERT_EQ(create(a1, "1").status, 0);
  ASSERT_EQ(create(a4, "4").status, 0);
  std::vector<std::string> f1 = DiskFiles(a1), f4 = DiskFiles(a4);
  for (size_t i = 0; i < f1.size(); ++i) {
    std::string b1 = ReadFile(Path(f1[i])), b4 = ReadFile(Path(f4[i]));
    EXPECT_FALSE(b1.empty()) << f1[i];
    EXPECT_TRUE(b1 == b4) << f1[i] << " differs from " << f4[i];
  }
}

TEST_P(RoundTripTest, BackslashNamesExtractIntoDirectories) {
  auto tree = MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"--backslash", "-C", "src", "."}).status, 0);
  RunResult l = Vrk({"list", Archive()});
  EXPECT_NE(l.out.find("docs\\deep\\nested\\note.txt"), std::string::npos) << l.out;
  EXPECT_EQ(l.out.find('/'), std::string::npos);
  ASSERT_EQ(Vrk({"extract", Archive(), "-C", "out"}).status, 0);
  EXPECT_EQ(ReadTree(Path("out")), tree);
}

TEST_P(RoundTripTest, ProtectedTablesRoundTrip) {
  auto tree = MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({Advanced() ? "--encipher" : "--scramble", "-C", "src", "."}).status, 0);
  nlohmann::json info = Json({"info", Archive(), "--json"});
  EXPECT_NE(info["flags"].get<unsigned>() & 2u, 0u);
  ASSERT_EQ(Vrk({"extract", Archive(), "-C", "out"}).status, 0);
  EXPECT_EQ(ReadTree(Path("out")), tree);
}

TEST_P(RoundTripTest, CaseClashesAndTheArchiveItselfAreNotPacked) {
  WriteFile(Path("src/a.txt"), "one");
  WriteFile(Path("src/A.txt"), "two");
  RunResult clash = Create({"-C", "src", "."});
  EXPECT_EQ(clash.status, 1);
  EXPECT_NE(clash.err.find("ignore case"), std::string::npos) << clash.err;

  // Packing the directory that holds the archive skips the archive.
  WriteFile(Path("self/x.txt"), "x");
  std::string archive = std::string("self/") + Archive();
  std::vector<std::string> args{"create", archive, "self"};
  if (!Advanced()) args.push_back("--basic");
  ASSERT_EQ(Vrk(args).status, 0);
  RunResult self = Vrk(args);  // now the archive is there when the tree is walked
  ASSERT_EQ(self.status, 0) << self.err;
  EXPECT_EQ(Vrk({"list", archive}).out, "self/x.txt\n");
}

VRK_BOTH_VARIANTS(RoundTripTest);

}  // namespace
}  // namespace vrktest
