// Exit statuses and messages of the command line itself.
#include "VrkFixture.h"

namespace vrktest {
namespace {

TEST(Usage, HelpForEveryCommand) {
  TempDir dir;
  const std::string top = RunVrk(dir.path(), {"--help"}).out;
  for (const char* cmd : {"create", "add", "stamp", "list", "info", "extract", "cat", "delete",
                          "compact", "verify", "patch"}) {
    EXPECT_NE(top.find(cmd), std::string::npos) << cmd;
    RunResult r = RunVrk(dir.path(), {cmd, "--help"});
    EXPECT_EQ(r.status, 0) << cmd;
    EXPECT_NE(r.out.find("archive"), std::string::npos) << cmd << ": " << r.out;
  }
}

// Usage errors and fatal errors exit with 2; the message names its subject
// (and, for the library's errors, the error constant and its meaning). An
// archive is not created when its inputs are refused, nor when none of its
// inputs could be packed.
TEST(Usage, UsageErrorsAndFatalErrorsExitWithTwo) {
  TempDir dir;
  WriteFile(dir / "f.txt", "x");
  WriteFile(dir / "junk.vrk", RandomBytes(4096, 3));
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;  // the whole message (ending in a line feed), or a part of it
  } cases[] = {
      {{}, kFatal, ""},
      {{"create"}, kFatal, ""},
      {{"create", "a.vrk", "f.txt", "--jobs", "0"}, kFatal, ""},
      {{"create", "a.vrk", "f.txt", "--level", "0"}, kFatal, ""},
      {{"create", "a.vrk", "f.txt", "--level", "10"}, kFatal, ""},
      {{"create", "a.vrk", "f.txt", "--stamp", "1:2:3"}, kFatal, ""},
      {{"create", "a.vrk", "f.txt", "--scramble"}, kFatal, ""},
      {{"create", "a.pak", "f.txt", "--basic", "--encipher"}, kFatal, ""},
      {{"frobnicate"}, kFatal, "vrk: unknown command 'frobnicate'"},
      {{"create", "a.zip", "f.txt"}, kFatal, ".vrk"},
      {{"create", "a.vrk", "no-such-dir"}, kFatal, "a.vrk: nothing could be packed"},
      {{"list", "absent.vrk"}, kFatal, "vrk: absent.vrk: No such file or directory\n"},
      {{"verify", "junk.vrk"}, kFatal, "vrk: junk.vrk: not an archive of this format\n"},
  };
  for (const auto& c : cases) {
    RunResult r = RunVrk(dir.path(), c.args);
    EXPECT_EQ(r.status, c.status) << ::testing::PrintToString(c.args);
    if (!c.err.empty() && c.err.back() == '\n') {
      EXPECT_EQ(r.err, c.err);
    } else {
      EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
  }
  EXPECT_FALSE(Exists(dir / "a.zip") || Exists(dir / "a.vrk"));
}

// --version is the program's version; the stamp of create, add and stamp is
// --stamp, in the same forms as before.
TEST(Usage, VersionAndStamp) {
  TempDir dir;
  WriteFile(dir / "f.txt", "x");
  RunResult v = RunVrk(dir.path(), {"--version"});
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out.rfind("vrk ", 0), 0u) << v.out;
  EXPECT_NE(v.out.find("library"), std::string::npos) << v.out;
  RunResult old = RunVrk(dir.path(), {"create", "a.vrk", "f.txt", "--version", "1:2"});
  EXPECT_EQ(old.status, 2);
  EXPECT_NE(old.err.find("--stamp"), std::string::npos) << old.err;
  ASSERT_EQ(RunVrk(dir.path(), {"c", "a.vrk", "f.txt", "--stamp", "0x10"}).status, 0);
  EXPECT_NE(RunVrk(dir.path(), {"stamp", "a.vrk"}).out.find("0:16"), std::string::npos);
  ASSERT_EQ(RunVrk(dir.path(), {"stamp", "a.vrk", "--stamp", "3:4"}).status, 0);
  EXPECT_NE(RunVrk(dir.path(), {"stamp", "a.vrk"}).out.find("3:4"), std::string::npos);
}

}  // namespace
}  // namespace vrktest
