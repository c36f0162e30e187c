// vrk reads archives at a URL: list, info, cat, verify and extract give from
// nginx what they give from the disk, and headers and credentials of the
// command line never show in vrk's output, also not with --debug.
#include "VrkFixture.h"
#include "common/FaultServer.h"
#include "common/NginxServer.h"

namespace vrktest {
namespace {

class RemoteTest : public ::testing::Test {
 protected:
  RunResult Vrk(const std::vector<std::string>& args) const { return RunVrk(work_.path(), args); }
  TempDir www_;
  TempDir work_;
};

TEST_F(RemoteTest, ReadingCommandsGiveTheSameFromNginxAsFromTheDisk) {
  const auto tree = MakeSampleTree(work_ / "src");
  for (const char* archive : {"plain.vrk", "ciphered.vrk"}) {
    std::vector<std::string> args{"create", "-q", www_ / archive, "-C", work_ / "src", "."};
    if (std::string(archive) == "ciphered.vrk") args.push_back("--encipher");
    ASSERT_EQ(Vrk(args).status, kDone);
  }
  orvel_test::NginxServer nginx(www_.path());
  if (!nginx.Running()) GTEST_SKIP() << nginx.Problem();
  const std::string name = tree.begin()->first;
  for (const char* archive : {"plain.vrk", "ciphered.vrk"}) {
    SCOPED_TRACE(archive);
    const std::string disk = www_ / archive, url = nginx.Url(archive);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"list", "-l"}, {"list", "--json"}, {"cat"}, {"verify"}}) {
      auto run = [&](const std::string& where) {
        std::vector<std::string> args = command;
        args.push_back(where);
        if (command[0] == "cat") args.push_back(name);
        return Vrk(args);
      };
      const RunResult local = run(disk), remote = run(url);
      EXPECT_EQ(remote.status, kDone) << command[0] << ": " << remote.err;
      if (command[0] == "verify") {
        EXPECT_NE(remote.out.find("intact"), std::string::npos) << remote.out;
      } else {
        EXPECT_TRUE(remote.out == local.out) << command[0];
      }
    }
    const RunResult info = Vrk({"info", url});
    EXPECT_EQ(info.status, kDone) << info.err;
    EXPECT_NE(info.out.find("files:"), std::string::npos);
    EXPECT_EQ(info.out.find("on disk:"), std::string::npos);
    const std::string out = work_ / (std::string("out-") + archive);
    const RunResult x = Vrk({"extract", "-q", url, "-C", out});
    EXPECT_EQ(x.status, kDone) << x.err;
    EXPECT_EQ(ReadTree(out), tree);
  }
}

TEST_F(RemoteTest, HeadersAndCredentialsAreSentButNeverShown) {
  orvel_test::FaultServer server;
  if (!server.Running()) GTEST_SKIP() << "no loopback socket for the test server";
  std::string url = server.Url("missing.vrk");
  url.insert(url.find("//") + 2, "user:pa55word@");
  url += "?X-Signature=s1gnature";
  const RunResult r =
      Vrk({"--debug", "list", "--header", "Authorization: Bearer t0ken", url});
  EXPECT_EQ(r.status, kFatal);
  EXPECT_NE(r.err.find("not found on the server"), std::string::npos) << r.err;
  for (const char* secret : {"t0ken", "pa55word", "s1gnature"}) {
    EXPECT_EQ(r.out.find(secret), std::string::npos) << secret;
    EXPECT_EQ(r.err.find(secret), std::string::npos) << secret;
  }
  const auto log = server.Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0].authorization, "Bearer t0ken");
  // A malformed header is refused without repeating it.
  const RunResult bad = Vrk({"cat", "--header", "t0ken", url, "x"});
  EXPECT_EQ(bad.status, kFatal);
  EXPECT_EQ(bad.err.find("t0ken"), std::string::npos) << bad.err;
}

TEST_F(RemoteTest, AUrlWithAQueryIsReadAndShownWithoutIt) {
  orvel_test::FaultServer server;
  if (!server.Running()) GTEST_SKIP() << "no loopback socket for the test server";
  MakeSampleTree(work_ / "src");
  ASSERT_EQ(Vrk({"create", "-q", www_ / "a.vrk", "-C", work_ / "src", "."}).status, kDone);
  for (const char* file : {"a.vrk", "a.bhl", "a.lst"}) server.Put(file, ReadFile(www_ / file));
  const std::string url = server.Url("a.vrk") + "?X-Signature=s1gnature";
  const RunResult info = Vrk({"info", url});
  EXPECT_EQ(info.status, kDone) << info.err;
  EXPECT_NE(info.out.find(server.Url("a.vrk") + "?..."), std::string::npos) << info.out;
  EXPECT_EQ(info.out.find("s1gnature"), std::string::npos);
  // Without its name list: the list's URL is shown without the query too.
  server.Put("b.vrk", ReadFile(www_ / "a.vrk"));
  server.Put("b.bhl", ReadFile(www_ / "a.bhl"));
  const RunResult verify = Vrk({"verify", server.Url("b.vrk") + "?X-Signature=s1gnature"});
  EXPECT_NE(verify.err.find(server.Url("b.lst") + "?... missing"), std::string::npos) << verify.err;
  EXPECT_EQ(verify.out.find("s1gnature") + verify.err.find("s1gnature"), 2 * std::string::npos);
  // A URL past the path limit is refused for what it is.
  const RunResult tooLong = Vrk({"info", url + std::string(300, 'x')});
  EXPECT_EQ(tooLong.status, kFatal);
  EXPECT_NE(tooLong.err.find("too long"), std::string::npos) << tooLong.err;
}

}  // namespace
}  // namespace vrktest
