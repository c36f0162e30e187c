// vrk's exit status, command by command: 1 when a command ran to its end but
// some files were skipped, not found or differ, 2 when it could not do its
// work; and the line that points at vrk salvage after the errors about a
// damaged advanced archive.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "VrkFixture.h"

namespace vrktest {
namespace {

namespace fs = std::filesystem;

struct Case {
  const char* label;
  std::vector<std::string> args;
  int status;
  std::string said = "";  // a piece of the error output, which is never empty
};

class ExitStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(Path("src/a.txt"), TextBytes(3000, 1));
    WriteFile(Path("src/b.bin"), RandomBytes(3000, 2));
    ASSERT_EQ(Vrk({"create", "-q", "pack.vrk", "-C", "src", "."}).status, kDone);
    WriteFile(Path("junk.vrk"), RandomBytes(4096, 3));
  }

  RunResult Vrk(const std::vector<std::string>& args) const { return RunVrk(dir_.path(), args); }
  void ExpectRuns(const std::vector<Case>& cases) const {
    for (const Case& c : cases) {
      const RunResult r = Vrk(c.args);
      EXPECT_EQ(r.status, c.status) << c.label << ": " << r.err;
      EXPECT_FALSE(r.err.empty()) << c.label << ": the warning or error is named";
      EXPECT_NE(r.err.find(c.said), std::string::npos) << c.label << ": " << r.err;
    }
  }
  std::string Path(const std::string& rel) const { return dir_ / rel; }

  // A copy of pack.vrk named STEM.vrk, with its side files.
  void Copy(const std::string& stem) const {
    for (const char* ext : {".vrk", ".bhl", ".lst"})
      fs::copy_file(Path(std::string("pack") + ext), Path(stem + ext));
  }

  // STEM.vrk, a copy whose b.bin (stored last) has two bytes flipped.
  void CopyWithADamagedFile(const std::string& stem) const {
    Copy(stem);
    std::string bytes = ReadFile(Path(stem + ".vrk"));
    const size_t at = bytes.find(RandomBytes(3000, 2).substr(1000, 32));
    ASSERT_NE(at, std::string::npos);
    bytes[at] ^= 0x11, bytes[at + 1] ^= 0x22;
    WriteFile(Path(stem + ".vrk"), bytes);
  }

  // A socket at `rel`, which no archive can hold; false when its path is
  // too long for one.
  bool MakeSocket(const std::string& rel) const {
    sockaddr_un address{};
    const std::string path = Path(rel);
    if (path.size() >= sizeof address.sun_path) return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) close(fd);
    return bound;
  }

 private:
  TempDir dir_;
};

// The name list is read when a command first needs names: every command
// that needs them fails on a damaged list as an open of it once did, while
// reading a file by its name still works.
TEST_F(ExitStatusTest, ADamagedNameListFailsWhatNeedsNames) {
  Copy("badlist");
  std::string list = ReadFile(Path("badlist.lst"));
  ASSERT_GT(list.size(), 44u);
  list[42] ^= 0x08;  // in the stored text, after the record and its checksum
  WriteFile(Path("badlist.lst"), list);
  const std::string damaged = "badlist.lst: the name list is damaged";
  ExpectRuns({
      {"list", {"list", "badlist.vrk"}, kFatal, damaged},
      {"verify", {"verify", "-q", "badlist.vrk"}, kFatal, damaged},
      {"extract", {"extract", "-q", "badlist.vrk", "-C", "out"}, kFatal, damaged},
      {"delete", {"delete", "badlist.vrk", "a.txt"}, kFatal, damaged},
      {"add", {"add", "-q", "badlist.vrk", "src/a.txt"}, kFatal, damaged},
      {"patch create", {"patch", "create", "-q", "badlist.vrk"}, kFatal, damaged},
  });
  RunResult cat = Vrk({"cat", "badlist.vrk", "a.txt"});
  EXPECT_EQ(cat.status, kDone) << cat.err;
  EXPECT_EQ(cat.out, TextBytes(3000, 1));
}

// Each command once where it finishes with some files skipped, missing or
// damaged (1), and once where it cannot do its work (2).
TEST_F(ExitStatusTest, EveryCommandWarnsWithOneAndFailsWithTwo) {
  WriteFile(Path("mixed/c.txt"), "c");
  if (!MakeSocket("mixed/sock")) GTEST_SKIP() << "cannot make a socket under " << Path("");
  CopyWithADamagedFile("damaged");
  // A patch whose block file of level 2 is gone.
  ASSERT_EQ(Vrk({"create", "-q", "p.vrk", "--stamp", "1", "src/a.txt"}).status, kDone);
  ASSERT_EQ(Vrk({"add", "-q", "p.vrk", "--stamp", "2", "mixed/c.txt"}).status, kDone);
  ASSERT_EQ(Vrk({"patch", "create", "-q", "p.vrk"}).status, kDone);
  ASSERT_EQ(std::remove(Path("p_00000002.pb").c_str()), 0);

  ExpectRuns({
      {"create skips a socket", {"create", "new.vrk", "-C", "mixed", "."}, kWarnings},
      {"add skips a socket", {"add", "pack.vrk", "-C", "mixed", "."}, kWarnings},
      {"list of a name not there", {"list", "pack.vrk", "a.txt", "absent.txt"}, kWarnings},
      {"extract of a name not there",
       {"extract", "-q", "pack.vrk", "-C", "out", "absent.txt"}, kWarnings},
      {"extract of a damaged file", {"extract", "-q", "damaged.vrk", "-C", "out"}, kWarnings},
      {"delete of a name not there", {"delete", "pack.vrk", "absent.txt"}, kWarnings},
      {"verify finds a damaged file", {"verify", "-q", "damaged.vrk"}, kWarnings},
      {"salvage loses a damaged file", {"salvage", "-q", "damaged.vrk", "saved.vrk"}, kWarnings},
      {"patch info misses a block file", {"patch", "info", "p.vrx"}, kWarnings},

      {"create where no file can be made", {"create", "-q", "nodir/new.vrk", "src"}, kFatal},
      {"create with nothing packable", {"create", "-q", "none.vrk", "mixed/sock"}, kFatal},
      {"add to a non-archive", {"add", "-q", "junk.vrk", "src/a.txt"}, kFatal},
      {"stamp", {"stamp", "junk.vrk"}, kFatal},
      {"list", {"list", "junk.vrk"}, kFatal},
      {"info", {"info", "junk.vrk"}, kFatal},
      {"extract", {"extract", "-q", "junk.vrk", "-C", "out2"}, kFatal},
      {"cat of a name not there", {"cat", "pack.vrk", "absent.txt"}, kFatal},
      {"cat of a damaged file", {"cat", "damaged.vrk", "b.bin"}, kFatal},
      {"delete", {"delete", "junk.vrk", "a.txt"}, kFatal},
      {"compact", {"compact", "-q", "junk.vrk"}, kFatal},
      {"verify", {"verify", "junk.vrk"}, kFatal},
      {"salvage", {"salvage", "-q", "junk.vrk", "saved2.vrk"}, kFatal},
      {"patch create", {"patch", "create", "-q", "junk.vrk"}, kFatal},
      {"patch apply of no patch", {"patch", "apply", "-q", "pack.vrk", "absent.vrx"}, kFatal},
      {"patch info of no patch", {"patch", "info", "absent.vrx"}, kFatal},
      {"mount", {"mount", "junk.vrk", "src"}, kFatal},
      {"umount of what is not mounted", {"umount", "src"}, kFatal},
      {"a wrong command line", {"list"}, kFatal},
  });
  EXPECT_EQ(Vrk({"list", "new.vrk"}).out, "c.txt\n") << "the rest was packed";
  EXPECT_TRUE(Exists(Path("out/a.txt"))) << "the intact files were extracted";
  EXPECT_TRUE(Exists(Path("saved.vrk"))) << "the intact files were salvaged";
  EXPECT_FALSE(Exists(Path("none.vrk")) || Exists(Path("saved2.vrk")));
}

// Output that cannot be written makes a run that only warned fatal.
TEST_F(ExitStatusTest, LostOutputOutweighsWarnings) {
  const ChildSetup closedPipe = [] {
    int ends[2];
    if (pipe(ends) != 0) _exit(125);
    close(ends[0]);
    dup2(ends[1], STDOUT_FILENO);
  };
  RunResult r = RunVrk(Path(""), {"list", "pack.vrk", "a.txt", "absent.txt"}, "", closedPipe);
  EXPECT_EQ(r.status, kFatal);
  EXPECT_NE(r.err.find("vrk: standard output: Broken pipe\n"), std::string::npos) << r.err;
}

// A damaged advanced archive: after the errors, one line names the salvage
// that gives back its intact files, with the archive's path.
TEST_F(ExitStatusTest, DamagedArchivesPointAtSalvage) {
  const std::string advice = "try `vrk salvage cut.vrk NEW.vrk` to recover the intact files\n";
  Copy("cut");
  fs::resize_file(Path("cut.vrk"), fs::file_size(Path("cut.vrk")) - 10);
  CopyWithADamagedFile("damaged");
  const struct {
    std::vector<std::string> args;
    int status;
    std::string last;  // the last line of the error output
  } cases[] = {
      {{"list", "cut.vrk"}, kFatal, advice},
      {{"extract", "-q", "cut.vrk", "-C", "out"}, kFatal, advice},
      {{"verify", "cut.vrk"}, kFatal, advice},
      {{"extract", "-q", "damaged.vrk", "-C", "out"}, kWarnings, "try `vrk salvage damaged.vrk"},
      {{"verify", "-q", "damaged.vrk"}, kWarnings, "try `vrk salvage damaged.vrk"},
      // Nothing damaged: nothing said.
      {{"extract", "-q", "pack.vrk", "-C", "out", "absent.txt"}, kWarnings, "pack.vrk: absent.txt: not in"},
  };
  for (const auto& c : cases) {
    RunResult r = Vrk(c.args);
    EXPECT_EQ(r.status, c.status) << ::testing::PrintToString(c.args) << r.err;
    ASSERT_FALSE(r.err.empty());
    const size_t start = r.err.rfind('\n', r.err.size() - 2);
    const std::string last = r.err.substr(start == std::string::npos ? 0 : start + 1);
    EXPECT_EQ(last.find("vrk: " + c.last), 0u) << ::testing::PrintToString(c.args) << r.err;
    EXPECT_EQ(r.err.find("salvage") == std::string::npos, c.last.find("salvage") == std::string::npos)
        << r.err;
  }
}

TEST(ExitStatusHelp, TopLevelHelpSaysTheStatuses) {
  TempDir dir;
  const std::string help = RunVrk(dir.path(), {"--help"}).out;
  const size_t at = help.find("\nExit status:\n  0 ");
  ASSERT_NE(at, std::string::npos) << help;
  EXPECT_NE(help.find("\n  1      done to the end", at), std::string::npos) << help;
  EXPECT_NE(help.find("\n  2      a fatal error", at), std::string::npos) << help;
  EXPECT_EQ(RunVrk(dir.path(), {"list", "--help"}).out.find("Exit status:"), std::string::npos)
      << "said once, not in every command's help";
}

}  // namespace
}  // namespace vrktest
