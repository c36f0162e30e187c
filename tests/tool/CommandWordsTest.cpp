// The words of other archivers that vrk takes: tar's t, tf and -tv, 7z's l
// and d, -q on every command that changes or checks an archive; and list's
// -h, which is human sizes, not help.
#include "VrkFixture.h"

namespace vrktest {
namespace {

class CommandWordsTest : public VrkTest {};

TEST_P(CommandWordsTest, ListAndDeleteAnswerToOtherToolsWords) {
  MakeSampleTree(Path("src"));
  ASSERT_EQ(Create({"-q", "-C", "src", "."}).status, 0);
  const RunResult list = Vrk({"list", Archive()});
  ASSERT_EQ(list.status, 0) << list.err;
  for (const char* word : {"t", "tf", "l", "ls"}) {
    RunResult r = Vrk({word, Archive()});
    EXPECT_EQ(r.status, 0) << word << ": " << r.err;
    EXPECT_EQ(r.out, list.out) << word;
  }
  // -v is tar's -tv: the long listing. Times and modes are the same within a run.
  EXPECT_EQ(Vrk({"t", "-v", Archive()}).out, Vrk({"list", "-l", Archive()}).out);

  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;
  } changes[] = {
      {{"d", Archive(), "readme.txt"}, kDone, ""},
      {{"delete", "-q", Archive(), "empty.dat"}, kDone, ""},
      {{"delete", "-q", "-v", Archive(), "bin/noise.bin"}, kDone, ""},  // -q wins
      {{"rm", "-v", Archive(), "big"}, kDone, "big/\nbig/large.txt\n"},
      {{"compact", "-q", Archive()}, kDone, ""},
      {{"verify", "-q", Archive()}, kDone, ""},
      {{"extract", "-q", Archive(), "-C", "out"}, kDone, ""},
  };
  for (const auto& c : changes) {
    RunResult r = Vrk(c.args);
    EXPECT_EQ(r.status, c.status) << ::testing::PrintToString(c.args) << r.err;
    EXPECT_EQ(r.out, c.out) << ::testing::PrintToString(c.args);
  }
  EXPECT_EQ(DirectoryNames(Path("out")), (std::vector<std::string>{"bin", "docs"}));
}

VRK_BOTH_VARIANTS(CommandWordsTest);

// -h of list is --human-readable, and its usage says where the help is.
TEST(CommandWords, ListUsageNamesTheHelpOption) {
  TempDir dir;
  RunResult help = RunVrk(dir.path(), {"list", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("\n       vrk list --help"), std::string::npos) << help.out;
  RunResult h = RunVrk(dir.path(), {"list", "-h"});
  EXPECT_EQ(h.status, kFatal);  // the archive is missing: -h asked for no help
  EXPECT_NE(h.err.find("--help"), std::string::npos) << h.err;
}

}  // namespace
}  // namespace vrktest
