// Exit statuses and messages of the command line itself.
#include "VrkFixture.h"

namespace vrktest {
namespace {

class UsageTest : public ::testing::Test {
 protected:
  RunResult Vrk(const std::vector<std::string>& args) const { return RunVrk(dir_.path(), args); }
  TempDir dir_;
};

TEST_F(UsageTest, HelpForEveryCommand) {
  const std::string top = Vrk({"--help"}).out;
  for (const char* cmd : {"create", "add", "stamp", "list", "info", "extract", "cat", "delete",
                          "compact", "verify"}) {
    EXPECT_NE(top.find(cmd), std::string::npos) << cmd;
    RunResult r = Vrk({cmd, "--help"});
    EXPECT_EQ(r.status, 0) << cmd;
    EXPECT_NE(r.out.find("archive"), std::string::npos) << cmd << ": " << r.out;
  }
}

TEST_F(UsageTest, UsageErrorsExitWithTwo) {
  WriteFile(dir_ / "f.txt", "x");
  const std::vector<std::string> cases[] = {
      {}, {"create"}, {"create", "a.vrk", "f.txt", "--jobs", "0"},
      {"create", "a.vrk", "f.txt", "--version", "1:2:3"},
      {"create", "a.vrk", "f.txt", "--scramble"},
      {"create", "a.pak", "f.txt", "--basic", "--encipher"}};
  for (const auto& args : cases) EXPECT_EQ(Vrk(args).status, 2) << ::testing::PrintToString(args);
  RunResult unknown = Vrk({"frobnicate"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err.rfind("vrk: unknown command 'frobnicate'", 0), 0u) << unknown.err;
  RunResult ext = Vrk({"create", "a.zip", "f.txt"});
  EXPECT_EQ(ext.status, 2);
  EXPECT_NE(ext.err.find(".vrk"), std::string::npos) << ext.err;
  EXPECT_FALSE(Exists(dir_ / "a.zip"));
}

TEST_F(UsageTest, FailuresExitWithOneAndNameTheirSubject) {
  RunResult missing = Vrk({"list", "absent.vrk"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "vrk: absent.vrk: VRKERR_OPEN_FILE (-5): a file cannot be opened\n");

  RunResult noInput = Vrk({"create", "a.vrk", "no-such-dir"});
  EXPECT_EQ(noInput.status, 1);
  EXPECT_NE(noInput.err.find("no-such-dir"), std::string::npos);
  EXPECT_FALSE(Exists(dir_ / "a.vrk")) << "nothing created when inputs are missing";
}

}  // namespace
}  // namespace vrktest
