// The tar and zip habits of the command line: aliases, selecting names by
// directory and wildcard, --exclude, -T, -v, the overwrite policies of
// extract, add creating its archive, and list -l totals.
#include <filesystem>
#include <sstream>

#include "VrkFixture.h"

namespace vrktest {
namespace {

class HabitsTest : public VrkTest {
 protected:
  // The names `vrk ls` prints for ARGS after the archive.
  std::vector<std::string> Listed(const std::vector<std::string>& args) const {
    std::vector<std::string> all{"ls", Archive()};
    all.insert(all.end(), args.begin(), args.end());
    RunResult r = Vrk(all);
    EXPECT_EQ(r.status, 0) << r.err;
    return Lines(r.out);
  }
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

using Names = std::vector<std::string>;

TEST_P(HabitsTest, NamesDirectoriesAndWildcardsSelect) {
  MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"-C", "src", "."}).status, 0);
  EXPECT_EQ(Listed({"docs"}), (Names{"docs/deep/nested/note.txt", "docs/guide.txt"}));
  EXPECT_EQ(Listed({"*.txt"}), (Names{"readme.txt"}));  // `*` stays within a component
  EXPECT_EQ(Listed({"**note.txt", "big/**"}), (Names{"big/large.txt", "docs/deep/nested/note.txt"}));
  EXPECT_EQ(Listed({"bin/?iny.bin", "bin/[n]*"}), (Names{"bin/noise.bin", "bin/tiny.bin"}));
  EXPECT_EQ(Listed({"DOCS/Guide.TXT"}), (Names{"docs/guide.txt"}));
  EXPECT_EQ(Listed({"**e**e**e**e**e**.txt"}), (Names{"docs/deep/nested/note.txt"}));

  // A pattern that matches nothing is named, after the rest is done.
  RunResult partly = Vrk({"ls", Archive(), "readme.txt", "nothing*"});
  EXPECT_EQ(partly.status, kWarnings);
  EXPECT_EQ(partly.out, "readme.txt\n");
  EXPECT_NE(partly.err.find("nothing*: not in the archive"), std::string::npos) << partly.err;

  RunResult x = Vrk({"x", Archive(), "b*", "-C", "out"});
  ASSERT_EQ(x.status, 0) << x.err;
  EXPECT_EQ(DirectoryNames(Path("out")), (Names{"big", "bin"}));

  RunResult rm = Vrk({"rm", Archive(), "-v", "bin", "nope"});
  EXPECT_EQ(rm.status, kWarnings);
  EXPECT_EQ(rm.out, "bin/\nbin/noise.bin\nbin/tiny.bin\n");
  EXPECT_NE(rm.err.find("nope"), std::string::npos);
  EXPECT_EQ(Vrk({"ls", Archive(), "bin"}).status, kWarnings);
  EXPECT_EQ(Vrk({"test", Archive()}).status, 0);

  // Many `**` over a long name take polynomial time, not years.
  const std::string longer = Advanced() ? "long.vrk" : "long.pak";
  WriteFile(Path("long/" + std::string(200, 'a')), "x");
  ASSERT_EQ(Create({"-C", "long", "."}, longer).status, 0);
  EXPECT_EQ(Vrk({"ls", longer, "**a**a**a**a**a**a**b"}).status, kWarnings);
}

TEST_P(HabitsTest, ExcludeAndFilesFromChooseWhatIsPacked) {
  MakeSampleTree(Path("src"));
  RunResult c = Create({"-v", "-C", "src", ".", "--exclude", "*.BIN", "--exclude", "docs/deep"});
  ASSERT_EQ(c.status, 0) << c.err;
  const Names kept{"big/large.txt", "docs/guide.txt", "empty.dat", "readme.txt"};
  // bin stays, emptied, as tar keeps a directory whose files are excluded.
  EXPECT_EQ(Listed({}), (Names{"big/large.txt", "bin/", "docs/guide.txt", "empty.dat", "readme.txt"}));
  const Names said = Lines(c.out);  // -v: each name, then the summary
  ASSERT_EQ(said.size(), 5u) << c.out;
  EXPECT_EQ(Names(said.begin(), said.end() - 1), kept);
  EXPECT_EQ(said.back().rfind(Archive() + ": 4 files, ", 0), 0u) << said.back();

  std::vector<std::string> fromStdin{"c", Archive(), "-T", "-", "-C", "src"};
  if (!Advanced()) fromStdin.push_back("--basic");
  RunResult t = Vrk(fromStdin, "readme.txt\r\n\nbin\n");
  ASSERT_EQ(t.status, 0) << t.err;
  EXPECT_EQ(Listed({}), (Names{"readme.txt", "bin/noise.bin", "bin/tiny.bin"}));  // in -T order
  RunResult x = Vrk({"x", Archive(), "-T", "-", "-C", "out"}, "bin/tiny.bin\n");
  ASSERT_EQ(x.status, 0) << x.err;
  EXPECT_EQ(ReadTree(Path("out")).size(), 1u);
  EXPECT_EQ(Vrk({"c", Archive()}).status, 2);  // neither PATHs nor -T
}

TEST_P(HabitsTest, ExtractReplacesUnlessKept) {
  namespace fs = std::filesystem;
  auto tree = MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"-C", "src", "."}).status, 0);
  WriteFile(Path("out/readme.txt"), "mine");
  WriteFile(Path("out/docs/guide.txt"), "stale");
  const auto now = fs::file_time_type::clock::now();
  fs::last_write_time(Path("out/readme.txt"), now + std::chrono::hours(1));
  fs::last_write_time(Path("out/docs/guide.txt"), now - std::chrono::hours(1000));

  RunResult k = Vrk({"x", Archive(), "-k", "-C", "out"});
  EXPECT_EQ(k.status, 0) << k.err;
  EXPECT_EQ(ReadFile(Path("out/docs/guide.txt")), "stale");
  EXPECT_EQ(ReadFile(Path("out/bin/noise.bin")), tree["bin/noise.bin"]);
  EXPECT_EQ(Lines(k.err).size(), 2u) << k.err;  // one line for each file kept

  RunResult newer = Vrk({"x", Archive(), "--keep-newer", "-C", "out"});
  EXPECT_EQ(newer.status, 0) << newer.err;
  EXPECT_EQ(ReadFile(Path("out/readme.txt")), "mine");
  EXPECT_EQ(ReadFile(Path("out/docs/guide.txt")), tree["docs/guide.txt"]);
  EXPECT_NE(newer.err.find("readme.txt"), std::string::npos);

  ASSERT_EQ(Vrk({"x", Archive(), "-C", "out"}).status, 0);
  EXPECT_EQ(ReadTree(Path("out")), tree);
}

TEST_P(HabitsTest, AddCreatesItsArchiveAndChecksNames) {
  MakeSampleTree(Path("src"));
  RunResult a = Vrk({"a", Named("new"), "-C", "src", "readme.txt"});
  ASSERT_EQ(a.status, Advanced() ? 0 : 2) << a.err;  // add makes advanced archives only
  if (!Advanced()) return;
  for (const std::string& f : DiskFiles(Named("new"))) EXPECT_TRUE(Exists(Path(f))) << f;
  for (const char* bad : {"../x", "/x", "a/../../x"}) {
    RunResult r = Vrk({"a", Named("new"), "src/empty.dat", "--as", bad});
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find("--as"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Vrk({"ls", Named("new")}).out, "readme.txt\n");
}

TEST_P(HabitsTest, LongListingCountsAndTotals) {
  auto tree = MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"-C", "src", "."}).status, 0);
  uint64_t size = 0, stored = 0;
  for (const auto& f : Json({"ls", Archive(), "--json"})) {
    size += f["original_size"].get<uint64_t>();
    stored += f["stored_size"].get<uint64_t>();
  }
  char saved[16];
  std::snprintf(saved, sizeof saved, "%.0f%%", 100.0 * (1.0 - double(stored) / double(size)));
  std::istringstream totals(Lines(Vrk({"ls", "-l", Archive()}).out).back());
  std::string s, st, sv, n, files;
  totals >> s >> st >> sv >> n >> files;
  EXPECT_EQ(Names({s, st, sv, n, files}),
            Names({std::to_string(size), std::to_string(stored), saved, "7", "files"}));

  const Names human = Lines(Vrk({"ls", "-l", "-h", Archive(), "big"}).out);
  ASSERT_EQ(human.size(), 3u);
  EXPECT_NE(human[1].find(" 293K "), std::string::npos) << human[1];  // 300000 bytes
  EXPECT_NE(human[2].find(" 1 file"), std::string::npos) << human[2];
  EXPECT_EQ(human[2].find("files"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Variants, HabitsTest, ::testing::Values(kAdvanced, kBasic), VariantName);

}  // namespace
}  // namespace vrktest
