// Links are data: extract makes every stored link as it was, last, and never
// writes anything through a link, stored or planted; --safe-links leaves
// nothing in the destination that resolves outside it. Every test extracts
// into box/out beside a canary directory box/canary, and checks that nothing
// reached the canary or box itself.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "HostileTree.h"
#include "VrkFixture.h"

namespace fs = std::filesystem;

namespace vrktest {
namespace {

std::string LinkTarget(const std::string& path) {
  std::error_code ec;
  return fs::read_symlink(path, ec).string();
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// VRK_NO_OPENAT2 set for the vrk runs of one scope: the O_NOFOLLOW walk.
class WalkWithoutOpenat2 {
 public:
  explicit WalkWithoutOpenat2(bool on) : on_(on) {
    if (on_) setenv("VRK_NO_OPENAT2", "1", 1);
  }
  ~WalkWithoutOpenat2() {
    if (on_) unsetenv("VRK_NO_OPENAT2");
  }

 private:
  bool on_;
};

class LinkTest : public VrkTest {
 protected:
  void SetUp() override {
    WriteFile(Path("box/canary/keep.txt"), "canary");
    WriteFile(Path("box/canary/sub/keep.txt"), "canary");
  }

  std::string Canary() const { return Path("box/canary"); }

  // Nothing was written beside the destination: the canary holds what it
  // held, and box holds only it and the destinations.
  void ExpectCanaryUntouched(const std::vector<std::string>& destinations) const {
    EXPECT_EQ(ReadTree(Canary()), (std::map<std::string, std::string>{{"keep.txt", "canary"},
                                                                      {"sub/keep.txt", "canary"}}));
    std::vector<std::string> expected = destinations;
    expected.push_back("canary");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(DirectoryNames(Path("box")), expected);
  }

  // --safe-links kept everything in `dest` inside it, and nothing was
  // written beside the destinations.
  void ExpectContained(const std::string& dest,
                       const std::vector<std::string>& destinations) const {
    EXPECT_EQ(ResolvingOutside(Path("box/" + dest)), std::vector<std::string>{});
    ExpectCanaryUntouched(destinations);
  }

  static void ExpectSays(const RunResult& r, const std::string& text) {
    EXPECT_NE(r.err.find(text), std::string::npos) << "wanted: " << text << "\nsaid: " << r.err;
  }

  RunResult Extract(const std::string& archive, const std::string& dest,
                    const std::vector<std::string>& extra = {}) const {
    std::vector<std::string> args{"extract", "-q", archive, "-C", "box/" + dest};
    args.insert(args.end(), extra.begin(), extra.end());
    return Vrk(args);
  }

  // An archive ARCHIVE of the files `files` ("file NAME" each), its record
  // replaced by `record` unless that is empty.
  void CraftArchive(const std::vector<std::string>& files,
                    const std::vector<vrk::TreeEntry>& record,
                    const std::string& archive = "") const {
    const std::string name = archive.empty() ? Archive() : archive;
    const std::string dir = "craft-" + name;
    for (const std::string& f : files) WriteFile(Path(dir + "/" + f), "file " + f);
    RunResult c = Create({"-q", "--stamp", "0:1", "-C", dir, "."}, name);
    ASSERT_EQ(c.status, 0) << c.err;
    if (!record.empty()) WriteRecord(Path(name), record);
  }
};

// The way with vrk alone: a directory of the name a stored link
// has keeps the link from being made, and a later link walks through it.
TEST_P(LinkTest, ALinkNeverMadeIsNeverFollowed) {
  fs::create_directories(Path("tree1/b/c"));
  fs::create_directories(Path("tree2/a"));
  ASSERT_EQ(symlink("b/c", Path("tree1/a").c_str()), 0);
  ASSERT_EQ(symlink("a/../..", Path("tree1/m").c_str()), 0);
  WriteFile(Path("tree2/a/f"), "hi");
  ASSERT_EQ(Create({"-q", "-C", "tree1", "."}).status, 0);
  RunResult added = Vrk({"add", "-q", Archive(), "-C", "tree2", "a"});
  ASSERT_EQ(added.status, 0) << added.err;

  // By default the link is made as stored; nothing goes through it.
  RunResult x = Extract(Archive(), "out");
  EXPECT_EQ(x.status, kWarnings);
  EXPECT_EQ(x.err,
            "vrk: " + Archive() + ": a: symbolic link not made: a directory has taken its name\n");
  EXPECT_EQ(ReadFile(Path("box/out/a/f")), "hi");
  EXPECT_EQ(LinkTarget(Path("box/out/m")), "a/../..");

  RunResult safe = Extract(Archive(), "safe", {"--safe-links"});
  EXPECT_EQ(safe.status, kWarnings);
  ExpectSays(safe,
             "m: symbolic link not made: it leads outside the directory ('a/../..') "
             "(--safe-links)");
  EXPECT_FALSE(Exists(Path("box/safe/m")));
  EXPECT_EQ(ReadFile(Path("box/safe/a/f")), "hi");
  ExpectContained("safe", {"out", "safe"});
}

// A crafted record: "a" both a directory and a link to x/y/z, so that
// m -> a/../../.. looks like the top through the link but is two levels
// above it through the directory.
TEST_P(LinkTest, ACraftedRecordReachesNoHigherThanTheDisk) {
  CraftArchive({"x/y/z/keep", "a/f"},
               {RecordLink("a", "x/y/z"), RecordLink("m", "a/../../.."), RecordDirectory("a"),
                RecordDirectory("x/y/z"), RecordFile("a/f"), RecordFile("x/y/z/keep")});
  RunResult safe = Extract(Archive(), "out", {"--safe-links"});
  EXPECT_EQ(safe.status, kWarnings);
  ExpectSays(safe, "a: symbolic link not made: a directory has taken its name");
  ExpectSays(safe, "m: symbolic link not made");
  EXPECT_EQ(
      ReadTree(Path("box/out")),
      (std::map<std::string, std::string>{{"a/f", "file a/f"}, {"x/y/z/keep", "file x/y/z/keep"}}));
  ExpectContained("out", {"out"});
}

// The crafted record carried into a copy by a patch.
TEST_P(LinkTest, ACraftedRecordAPatchCarriesIsJudgedTheSame) {
  if (!Advanced()) GTEST_SKIP() << "patches are made from advanced archives";
  CraftArchive({"x/y/z/keep", "a/f"},
               {RecordDirectory("x/y/z"), RecordFile("a/f"), RecordFile("x/y/z/keep")});
  fs::create_directory(Path("copy"));
  for (const std::string& f : DiskFiles(Archive())) fs::copy_file(Path(f), Path("copy/" + f));
  ASSERT_EQ(Vrk({"stamp", Archive(), "0:2"}).status, 0);
  WriteRecord(Path(Archive()),
              {RecordLink("a", "x/y/z"), RecordLink("m", "a/../../.."), RecordDirectory("a"),
               RecordDirectory("x/y/z"), RecordFile("a/f"), RecordFile("x/y/z/keep")},
              2);
  ASSERT_EQ(Vrk({"patch", "create", "-q", Archive()}).status, 0);
  RunResult applied = Vrk({"patch", "apply", "-q", "copy/" + Archive(), "pack.vrx"});
  ASSERT_EQ(applied.status, 0) << applied.err;

  RunResult safe = Extract("copy/" + Archive(), "out", {"--safe-links"});
  EXPECT_EQ(safe.status, kWarnings);
  ExpectSays(safe, "m: symbolic link not made");
  EXPECT_EQ(ReadFile(Path("box/out/a/f")), "file a/f");
  ExpectContained("out", {"out"});
}

// Stored links to the canary (absolute, by '..' chains, in letter-case
// variants) each followed by files below their names, and a link whose
// name a directory entry also has. In the default mode the files land
// below the destination, the links are made as stored where their names are
// free, and nothing is written through them, with openat2 or without; nor
// through those links by a second archive's files.
TEST_P(LinkTest, HostileArchivesWriteNothingOutsideTheDestination) {
  const std::string canary = Canary();
  CraftArchive(
      {"d/x", "e/y", "f/g/z", "up/v", "r/w", "plain"},
      {RecordLink("d", canary), RecordFile("d/x"), RecordLink("e", "../canary"), RecordFile("e/y"),
       RecordLink("e/in", canary), RecordLink("f/g", "../../canary"), RecordFile("f/g/z"),
       RecordLink("Up", canary), RecordFile("up/v"), RecordLink("r", canary), RecordDirectory("r"),
       RecordFile("r/w"), RecordLink("deep", "../../../../../../../../../../tmp"),
       RecordLink("hop", "e/../../canary"), RecordLink("plain/x", "."), RecordFile("plain")});
  CraftArchive({"hop/y", "Up/z", "deep/w", "e/in/sub/w"}, {}, Named("second"));
  const std::map<std::string, std::string> files{{"d/x", "file d/x"},     {"e/y", "file e/y"},
                                                 {"f/g/z", "file f/g/z"}, {"up/v", "file up/v"},
                                                 {"r/w", "file r/w"},     {"plain", "file plain"}};
  for (const bool walk : {false, true}) {
    const WalkWithoutOpenat2 forced(walk);
    const std::string out = walk ? "walked" : "out";
    RunResult x = Extract(Archive(), out);
    EXPECT_EQ(x.status, kWarnings);
    for (const char* taken : {"d", "e", "f/g", "r"})
      ExpectSays(x,
                 std::string(taken) + ": symbolic link not made: a directory has taken its name");
    ExpectSays(x, "plain/x: ");
    EXPECT_EQ(ReadTree(Path("box/" + out)), files);
    EXPECT_EQ(LinkTarget(Path("box/" + out + "/Up")), canary);
    EXPECT_EQ(LinkTarget(Path("box/" + out + "/deep")), "../../../../../../../../../../tmp");
    EXPECT_EQ(LinkTarget(Path("box/" + out + "/hop")), "e/../../canary");

    RunResult second = Extract(Named("second"), out);
    EXPECT_EQ(second.status, kWarnings);
    for (const char* refused :
         {"hop/y: 'hop' is a symbolic link", "Up/z: 'Up' is a symbolic link",
          "deep/w: 'deep' is a symbolic link", "e/in/sub/w: 'in' is a symbolic link"})
      ExpectSays(second, refused);
    EXPECT_EQ(ReadTree(Path("box/" + out)), files);
  }

  RunResult safe = Extract(Archive(), "safe", {"--safe-links"});
  EXPECT_EQ(safe.status, kWarnings);
  for (const char* skipped : {"Up: symbolic link not made: it points to the absolute path",
                              "deep: symbolic link not made: it leads outside",
                              "hop: symbolic link not made: it leads outside"})
    ExpectSays(safe, skipped);
  EXPECT_EQ(ReadTree(Path("box/safe")), files);
  ExpectContained("safe", {"out", "safe", "walked"});
}

// Later links can change where an earlier one leads: p -> s/.. is the top
// while s is missing, and its parent once s -> "." is made.
TEST_P(LinkTest, SafeLinksRemovesLinksThatLaterLinksLeadOutside) {
  CraftArchive({"keep"}, {RecordLink("p", "s/.."), RecordLink("s", "."), RecordLink("q", "s/keep"),
                          RecordFile("keep")});
  RunResult safe = Extract(Archive(), "out", {"--safe-links"});
  EXPECT_EQ(safe.status, kWarnings);
  ExpectSays(safe,
             "p: symbolic link removed: with the links made after it, it leads "
             "outside the directory ('s/..') (--safe-links)");
  EXPECT_FALSE(Exists(Path("box/out/p")));
  EXPECT_EQ(LinkTarget(Path("box/out/s")), ".");
  EXPECT_EQ(ReadFile(Path("box/out/q")), "file keep");
  ExpectContained("out", {"out"});
}

// The guarantee holds whatever the order of the links: every order of five
// links, some of which lead outside only once others are there (or are
// not), leaves nothing in the destination that resolves outside it.
TEST_P(LinkTest, SafeLinksHoldInEveryOrderOfTheLinks) {
  if (!Advanced()) GTEST_SKIP() << "the order of links does not depend on the variant";
  CraftArchive({"keep", "x/y/f"}, {});
  std::vector<vrk::TreeEntry> links{RecordLink("p", "s/.."), RecordLink("s", "."),
                                    RecordLink("a", "x/y"), RecordLink("n", "a/.."),
                                    RecordLink("u", "n/../..")};
  std::sort(links.begin(), links.end(),
            [](const vrk::TreeEntry& l, const vrk::TreeEntry& r) { return l.name < r.name; });
  int orders = 0;
  do {
    std::vector<vrk::TreeEntry> record{RecordFile("keep"), RecordFile("x/y/f")};
    record.insert(record.end(), links.begin(), links.end());
    WriteRecord(Path(Archive()), record);
    const std::string out = "out" + std::to_string(orders++);
    RunResult safe = Extract(Archive(), out, {"--safe-links"});
    EXPECT_EQ(ResolvingOutside(Path("box/" + out)), std::vector<std::string>{}) << safe.err;
    EXPECT_EQ(LinkTarget(Path("box/" + out + "/s")), ".") << safe.err;
    EXPECT_EQ(LinkTarget(Path("box/" + out + "/a")), "x/y") << safe.err;
    fs::remove_all(Path("box/" + out));
  } while (std::next_permutation(
      links.begin(), links.end(),
      [](const vrk::TreeEntry& l, const vrk::TreeEntry& r) { return l.name < r.name; }));
  EXPECT_EQ(orders, 120);
  ExpectCanaryUntouched({});
}

// tar's way, where /etc lost most of its entries before: links of every
// kind come back as they were, with exit status 0.
TEST_P(LinkTest, EveryLinkIsRestoredAsStoredByDefault) {
  WriteFile(Path("src/conf/real.conf"), "real");
  ASSERT_EQ(symlink("/etc/hostname", Path("src/absolute").c_str()), 0);
  ASSERT_EQ(symlink("../../elsewhere", Path("src/conf/up").c_str()), 0);
  ASSERT_EQ(symlink("conf/real.conf", Path("src/inside").c_str()), 0);
  ASSERT_EQ(symlink("missing/file", Path("src/dangling").c_str()), 0);
  ASSERT_EQ(Create({"-q", "-C", "src", "."}).status, 0);
  RunResult x = Extract(Archive(), "out");
  ASSERT_EQ(x.status, 0) << x.err;
  EXPECT_EQ(x.err, "");
  EXPECT_EQ(LinkTarget(Path("box/out/absolute")), "/etc/hostname");
  EXPECT_EQ(LinkTarget(Path("box/out/conf/up")), "../../elsewhere");
  EXPECT_EQ(LinkTarget(Path("box/out/inside")), "conf/real.conf");
  EXPECT_EQ(LinkTarget(Path("box/out/dangling")), "missing/file");
  // A second extraction replaces its own links without a word.
  RunResult again = Extract(Archive(), "out");
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(LinkTarget(Path("box/out/absolute")), "/etc/hostname");
  EXPECT_TRUE(IsDirectory(Path("box/out/conf")));

  EXPECT_EQ(Vrk({"extract", Archive(), "--safe-links", "--unsafe-paths"}).status, 2);
}

VRK_BOTH_VARIANTS(LinkTest);

}  // namespace
}  // namespace vrktest
