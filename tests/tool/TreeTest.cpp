// What a tree holds survives packing: names as spelled, modes, times,
// symbolic links and empty directories, through the tree record; archives
// without a record (written by the library directly) behave as before.
#include <OrvelPacket.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "VrkFixture.h"

namespace vrktest {
namespace {

constexpr time_t kOldTime = 981158400;  // 2001-02-03
constexpr long kOldNanoseconds = 123456789;

struct stat Lstat(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st;
}

std::string LinkTarget(const std::string& path) {
  std::error_code ec;
  return std::filesystem::read_symlink(path, ec).string();
}

class TreeTest : public VrkTest {
 protected:
  // Mixed-case names, two differing only in case, an executable, links to a file inside
  // and to one outside (absolute and relative), an empty directory and a
  // file with an old modification time.
  void SetUp() override {
    WriteFile(Path("outside.txt"), "outside");
    WriteFile(Path("src/Makefile"), "all:\n");
    WriteFile(Path("src/Docs/Index.html"), "upper");
    WriteFile(Path("src/Docs/index.html"), "lower");
    WriteFile(Path("src/bin/run.sh"), "#!/bin/sh\n");
    ASSERT_EQ(chmod(Path("src/bin/run.sh").c_str(), 0755), 0);
    ASSERT_EQ(symlink("run.sh", Path("src/bin/tool").c_str()), 0);
    ASSERT_EQ(symlink(Path("outside.txt").c_str(), Path("src/escape").c_str()), 0);
    ASSERT_EQ(symlink("../../outside.txt", Path("src/Docs/up").c_str()), 0);
    std::filesystem::create_directories(Path("src/empty/inner"));
    WriteFile(Path("src/old.txt"), "old");
    const struct timespec times[2] = {{kOldTime, 0}, {kOldTime, kOldNanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, Path("src/old.txt").c_str(), times, 0), 0);
  }

  // Both names of the clash are kept (the second under an alias), with no
  // warning.
  void ExpectPacked(const RunResult& r) const {
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("index.html"), std::string::npos) << r.err;
  }
};

TEST_P(TreeTest, NamesModesTimesLinksAndEmptyDirectoriesComeBack) {
  ExpectPacked(Create({"-C", "src", "."}));
  EXPECT_EQ(Vrk({"list", Archive()}).out,
            "Docs/Index.html\nDocs/index.html\nDocs/up\nMakefile\nbin/run.sh\nbin/tool\n"
            "empty/inner/\nescape\nold.txt\n");
  EXPECT_NE(Vrk({"list", "--all", Archive()}).out.find("(attributes)\n"), std::string::npos);
  EXPECT_NE(Vrk({"list", "-l", Archive()}).out.find("-rwxr-xr-x"), std::string::npos);

  // Every link comes back as it was stored, leading outside or not.
  RunResult x = Vrk({"extract", Archive(), "-C", "out"});
  EXPECT_EQ(x.status, 0) << x.err;
  std::map<std::string, std::string> files{{"Docs/Index.html", "upper"},
                                           {"Docs/index.html", "lower"},
                                           {"Makefile", "all:\n"},
                                           {"bin/run.sh", "#!/bin/sh\n"},
                                           {"old.txt", "old"}};
  EXPECT_EQ(LinkTarget(Path("out/escape")), Path("outside.txt"));
  EXPECT_EQ(LinkTarget(Path("out/Docs/up")), "../../outside.txt");
  EXPECT_EQ(LinkTarget(Path("out/bin/tool")), "run.sh");
  EXPECT_EQ(Lstat(Path("out/bin/run.sh")).st_mode & 0700, 0700u);
  EXPECT_EQ(Lstat(Path("out/Makefile")).st_mode & 0100, 0u);
  const struct stat old = Lstat(Path("out/old.txt"));
  EXPECT_EQ(old.st_mtim.tv_sec, kOldTime);
  EXPECT_EQ(old.st_mtim.tv_nsec, kOldNanoseconds);
  EXPECT_TRUE(S_ISDIR(Lstat(Path("out/empty/inner")).st_mode));

  // --safe-links: links leading outside are not made, and say so; the rest
  // is extracted.
  RunResult safe = Vrk({"extract", Archive(), "-C", "safe", "--safe-links"});
  EXPECT_EQ(safe.status, kWarnings);
  EXPECT_NE(safe.err.find("escape: symbolic link not made"), std::string::npos) << safe.err;
  EXPECT_NE(safe.err.find("Docs/up: symbolic link not made"), std::string::npos) << safe.err;
  EXPECT_EQ(ReadTree(Path("safe")), files);
  EXPECT_EQ(LinkTarget(Path("safe/bin/tool")), "run.sh");
  EXPECT_FALSE(Exists(Path("safe/escape")) || Exists(Path("safe/Docs/up")));

  // Named extraction finds files as spelled, else in any case when only
  // one matches so, links by name, and directories with what they hold.
  RunResult named = Vrk({"extract", Archive(), "Docs/index.html", "MAKEFILE", "bin", "-C", "named"});
  EXPECT_EQ(named.status, 0) << named.err;
  EXPECT_EQ(ReadFile(Path("named/Docs/index.html")), "lower");
  EXPECT_FALSE(Exists(Path("named/Docs/Index.html")));
  EXPECT_EQ(ReadFile(Path("named/Makefile")), "all:\n");
  RunResult ambiguous = Vrk({"extract", Archive(), "DOCS/INDEX.HTML", "-C", "ambiguous"});
  EXPECT_EQ(ambiguous.status, 1);
  EXPECT_NE(ambiguous.err.find("differ only in letter case"), std::string::npos) << ambiguous.err;
  EXPECT_EQ(ReadFile(Path("named/bin/run.sh")), "#!/bin/sh\n");
  EXPECT_EQ(LinkTarget(Path("named/bin/tool")), "run.sh");
}

// --safe-links judges a link by where the system would take it, through the
// other links: "b" looks inside written out, but "a" is one level up, so
// "b" leads out of the directory.
TEST_P(TreeTest, LinkChainsLeadingOutsideAreNotMadeWithSafeLinks) {
  std::filesystem::create_directories(Path("chain/x/y"));
  ASSERT_EQ(symlink("../../q", Path("chain/x/y/a").c_str()), 0);
  ASSERT_EQ(symlink("a/../../../outside.txt", Path("chain/x/y/b").c_str()), 0);
  ASSERT_EQ(symlink("a/../x", Path("chain/x/y/c").c_str()), 0);
  ASSERT_EQ(Create({"-C", "chain", "."}).status, 0);
  RunResult x = Vrk({"extract", Archive(), "-C", "out", "--safe-links"});
  EXPECT_EQ(x.status, kWarnings);
  EXPECT_NE(x.err.find("x/y/b: symbolic link not made"), std::string::npos) << x.err;
  EXPECT_FALSE(Exists(Path("out/x/y/b")));
  EXPECT_EQ(LinkTarget(Path("out/x/y/a")), "../../q");
  EXPECT_EQ(LinkTarget(Path("out/x/y/c")), "a/../x");
}

TEST_P(TreeTest, DereferencePacksWhatLinksPointTo) {
  ASSERT_EQ(symlink("..", Path("src/bin/loop").c_str()), 0);  // followed, it never ends
  RunResult c = Create({"-L", "-C", "src", "."});
  // The clashing names are packed; the loop is skipped with a warning.
  EXPECT_EQ(c.status, kWarnings) << c.err;
  EXPECT_EQ(c.err.find("index.html"), std::string::npos) << c.err;
  EXPECT_NE(c.err.find("bin/loop: a link back to a directory above it, skipped"), std::string::npos)
      << c.err;
  RunResult x = Vrk({"extract", Archive(), "-C", "out"});
  ASSERT_EQ(x.status, 0) << x.err;
  auto tree = ReadTree(Path("out"));
  EXPECT_EQ(tree["bin/tool"], "#!/bin/sh\n");
  EXPECT_EQ(tree["escape"], "outside");
  EXPECT_EQ(tree["Docs/up"], "outside");
  EXPECT_TRUE(S_ISREG(Lstat(Path("out/bin/tool")).st_mode));
  EXPECT_EQ(Lstat(Path("out/bin/tool")).st_mode & 0100, 0100u) << "the target's mode";
}

TEST_P(TreeTest, AddAndDeleteKeepTheRecordCurrent) {
  ExpectPacked(Create({"-C", "src", "."}));
  ASSERT_EQ(chmod(Path("src/Makefile").c_str(), 0750), 0);
  RunResult add = Vrk({"add", Archive(), "-C", "src", "Makefile"});
  ASSERT_EQ(add.status, 0) << add.err;
  RunResult del = Vrk({"delete", Archive(), "bin/tool", "ESCAPE", "docs/up", "empty/inner"});
  ASSERT_EQ(del.status, 0) << del.err;
  // "empty" held only "inner": it is an empty directory now.
  EXPECT_EQ(Vrk({"list", Archive()}).out,
            "Docs/Index.html\nDocs/index.html\nMakefile\nbin/run.sh\nempty/\nold.txt\n");
  ASSERT_EQ(Vrk({"extract", Archive(), "-C", "out"}).status, 0);
  EXPECT_EQ(Lstat(Path("out/Makefile")).st_mode & 0700, 0700u);
}

// Archives a host wrote through the library have no record: names come back
// as the archive keeps them (lower case), with default modes, as before.
TEST_P(TreeTest, ArchivesWithoutARecordWorkAsBefore) {
  const std::string path = Path(Archive());
  IOrvelPacket* p = g_piVrkSystem->NewPacket(path.c_str(), Advanced() ? VRK_CREATE_ADVANCED : 0,
                                             VRK_FORMAT_VERSION, 16, 0, 0);
  ASSERT_NE(p, nullptr);
  p->BeginUpdate();
  ASSERT_EQ(p->AddFileFromMemory("Docs/ReadMe.TXT", VRK_ADD_COMPRESS, "hello", 5, 0, 0), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  g_piVrkSystem->FreePacket(p);

  EXPECT_EQ(Vrk({"list", Archive()}).out, "docs/readme.txt\n");
  EXPECT_FALSE(Json({"info", Archive(), "--json"})["tree_record"]);
  ASSERT_EQ(Vrk({"extract", Archive(), "-C", "out"}).status, 0);
  EXPECT_EQ(ReadTree(Path("out")), (std::map<std::string, std::string>{{"docs/readme.txt", "hello"}}));
  const mode_t mask = umask(022);
  umask(mask);
  EXPECT_EQ(Lstat(Path("out/docs/readme.txt")).st_mode & 0777, 0666u & ~mask);

  // A record that is not one is named, and the archive still reads as one
  // without it.
  p = g_piVrkSystem->LoadPacket(path.c_str());
  ASSERT_NE(p, nullptr);
  p->BeginUpdate();
  ASSERT_EQ(p->AddFileFromMemory("(attributes)", 0, "VRKA\x01junkjunk", 13, 0, 0), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  g_piVrkSystem->FreePacket(p);
  RunResult list = Vrk({"list", Archive()});
  EXPECT_EQ(list.out, "docs/readme.txt\n");
  EXPECT_NE(list.err.find("(attributes): attribute record damaged"), std::string::npos) << list.err;
  // Names and attributes from the archive alone differ from what was packed.
  EXPECT_EQ(list.status, kWarnings);
  EXPECT_EQ(Vrk({"extract", Archive(), "-C", "out2"}).status, kWarnings);
  WriteFile(Path("more.txt"), "more");
  EXPECT_EQ(Vrk({"add", Archive(), "more.txt"}).status, kWarnings) << "its attributes are not kept";
  RunResult verify = Vrk({"verify", Archive()});
  EXPECT_EQ(verify.status, kWarnings);
  EXPECT_NE(verify.err.find("attribute record damaged"), std::string::npos) << verify.err;
}

VRK_BOTH_VARIANTS(TreeTest);

}  // namespace
}  // namespace vrktest
