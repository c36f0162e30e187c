// create, list, info, extract and cat on both variants; identical archives
// whatever the number of compression threads.
#include <algorithm>
#include <iterator>

#include "VrkFixture.h"

namespace vrktest {
namespace {

class RoundTripTest : public VrkTest {};

TEST_P(RoundTripTest, ExtractGivesBackEveryFileByteForByte) {
  auto tree = MakeSampleTree(Path("src"));
  // Plain, stored, backslash-named and protected-table archives, and the
  // fastest and the slowest compression levels, all give the tree back.
  const std::vector<std::string> options[] = {
      {}, {"--store"}, {"--backslash"}, {Advanced() ? "--encipher" : "--scramble"},
      {"--level", "1"}, {"--level", "9"}};
  for (size_t i = 0; i < std::size(options); ++i) {
    const std::string archive = Named("a" + std::to_string(i)), out = "out" + std::to_string(i);
    std::vector<std::string> args = options[i];
    args.insert(args.end(), {"-C", "src", "."});
    RunResult c = Create(args, archive);
    ASSERT_EQ(c.status, 0) << c.err;
    RunResult x = Vrk({"extract", archive, "-C", out});
    ASSERT_EQ(x.status, 0) << x.err;
    EXPECT_EQ(ReadTree(Path(out)), tree) << archive;
  }
  for (const auto& f : Json({"list", Named("a1"), "--json"})) EXPECT_FALSE(f["compressed"]);
  // Level 1 writes other, larger streams.
  const auto storedBytes = [&](const std::string& archive) {
    uint64_t sum = 0;
    for (const auto& f : Json({"list", archive, "--json"})) sum += f["stored_size"].get<uint64_t>();
    return sum;
  };
  EXPECT_GT(storedBytes(Named("a4")), storedBytes(Named("a0")));
  const std::string backslashed = Vrk({"list", Named("a2")}).out;
  EXPECT_NE(backslashed.find("docs\\deep\\nested\\note.txt"), std::string::npos) << backslashed;
  EXPECT_EQ(backslashed.find('/'), std::string::npos);
  EXPECT_NE(Json({"info", Named("a3"), "--json"})["flags"].get<unsigned>() & 2u, 0u);

  // Named extraction takes just those files.
  RunResult one = Vrk({"extract", Named("a0"), "docs/guide.txt", "-C", "one"});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(ReadTree(Path("one")),
            (std::map<std::string, std::string>{{"docs/guide.txt", tree["docs/guide.txt"]}}));
}

TEST_P(RoundTripTest, ListingInfoAndCatDescribeTheArchive) {
  auto tree = MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"--stamp", "2:5", "--table-size", "100", "-C", "src", "."}).status, 0);
  nlohmann::json files = Json({"list", Archive(), "--json"});
  ASSERT_EQ(files.size(), tree.size());
  for (const auto& f : files) {
    const std::string name = f["name"];
    ASSERT_TRUE(tree.count(name)) << name;
    EXPECT_EQ(f["original_size"], tree[name].size()) << name;
    // Text shrinks and is compressed; random bytes and empty files are kept
    // as they are because compressing would not make them smaller.
    const bool text = name.find(".txt") != std::string::npos;
    EXPECT_EQ(f["compressed"], text) << name;
    EXPECT_EQ(f["stored_size"] < f["original_size"], text) << name;
  }
  EXPECT_NE(Vrk({"list", "-l", Archive()}).out.find(" " + std::to_string(tree.size()) + " files\n"),
            std::string::npos);

  nlohmann::json info = Json({"info", Archive(), "--json"});
  EXPECT_EQ(info["variant"], Advanced() ? "advanced" : "basic");
  EXPECT_EQ(info["files"], tree.size());
  EXPECT_EQ(info["stamp"], (nlohmann::json{{"high", 2}, {"low", 5}}));
  EXPECT_EQ(info["base_version"], Advanced() ? 5 : 0);
  EXPECT_EQ(info["table_size"], 128);
  EXPECT_EQ(info["disk"].size(), Advanced() ? 3u : 1u);
  EXPECT_NE(Vrk({"info", Archive()}).out.find("table size:    128"), std::string::npos);

  EXPECT_EQ(Vrk({"cat", Archive(), "bin/noise.bin"}).out, tree["bin/noise.bin"]);
  EXPECT_EQ(Vrk({"cat", Archive(), "DOCS/Guide.TXT"}).out, tree["docs/guide.txt"]);
  RunResult missing = Vrk({"cat", Archive(), "nope.txt"});
  EXPECT_EQ(missing.status, kFatal);
  EXPECT_NE(missing.err.find("nope.txt"), std::string::npos);
}

TEST_P(RoundTripTest, SameArchiveForOneAndFourThreads) {
  MakeSampleTree(Path("src"));
  for (int i = 0; i < 40; ++i)
    WriteFile(Path("src/many/f" + std::to_string(i) + ".txt"), TextBytes(1000 + 997 * i, 100 + i));
  ASSERT_EQ(Create({"--jobs", "1", "-C", "src", "."}, Named("one")).status, 0);
  // --level 8 is the default level: it changes nothing either.
  ASSERT_EQ(Create({"--jobs", "4", "--level", "8", "-C", "src", "."}, Named("four")).status, 0);
  std::vector<std::string> f1 = DiskFiles(Named("one")), f4 = DiskFiles(Named("four"));
  for (size_t i = 0; i < f1.size(); ++i) {
    const std::string b1 = ReadFile(Path(f1[i]));
    EXPECT_FALSE(b1.empty()) << f1[i];
    EXPECT_TRUE(b1 == ReadFile(Path(f4[i]))) << f1[i] << " differs from " << f4[i];
  }
}

// Names are the paths as given; names the archive cannot hold are kept under
// aliases, what cannot be read is skipped with one warning line each and the
// rest packed; the archive itself is not packed. Without a record, names the
// archive cannot hold are skipped.
TEST_P(RoundTripTest, NamesComeFromThePathsAsGivenWithoutClashesOrTheArchive) {
  MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"src/docs", "src/readme.txt", "src/docs/guide.txt"}).status, 0);
  EXPECT_EQ(Vrk({"list", Archive()}).out,
            "src/docs/deep/nested/note.txt\nsrc/docs/guide.txt\nsrc/readme.txt\n");
  WriteFile(Path("odd/A.txt"), "one");
  WriteFile(Path("odd/a.txt"), "two");
  WriteFile(Path("odd/line\nbreak.txt"), "three");
  const std::string dir(200, 'x');
  WriteFile(Path("odd/" + dir + "/" + std::string(60, 'y')), "four");
  WriteFile(Path("odd/ok.txt"), "five");
  RunResult odd = Create({"-C", "odd", ".", "missing.txt"}, Named("odd"));
  EXPECT_EQ(odd.status, kWarnings);
  EXPECT_EQ(std::count(odd.err.begin(), odd.err.end(), '\n'), 1) << odd.err;
  EXPECT_NE(odd.err.find("missing.txt"), std::string::npos) << odd.err;
  const std::string longName = dir + "/" + std::string(60, 'y');
  EXPECT_EQ(Vrk({"list", Named("odd")}).out,
            "A.txt\na.txt\nline\\x0Abreak.txt\nok.txt\n" + longName + "\n");
  EXPECT_EQ(Vrk({"cat", Named("odd"), longName}).out, "four");
  RunResult bare = Create({"--no-attributes", "-C", "odd", "."}, Named("bare"));
  EXPECT_EQ(bare.status, kWarnings);
  EXPECT_EQ(std::count(bare.err.begin(), bare.err.end(), '\n'), 3) << bare.err;
  for (const char* part : {"a.txt: skipped", "line break", "longer than 255"})
    EXPECT_NE(bare.err.find(part), std::string::npos) << part << " in " << bare.err;

  // Packing the directory that holds the archive skips the archive.
  WriteFile(Path("self/x.txt"), "x");
  const std::string archive = "self/" + Archive();
  ASSERT_EQ(Create({"self"}, archive).status, 0);
  RunResult self = Create({"self"}, archive);  // now the archive is there when the tree is walked
  ASSERT_EQ(self.status, 0) << self.err;
  EXPECT_EQ(Vrk({"list", archive}).out, "self/x.txt\n");
}

VRK_BOTH_VARIANTS(RoundTripTest);

}  // namespace
}  // namespace vrktest
