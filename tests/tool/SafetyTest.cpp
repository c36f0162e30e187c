// Extraction never writes outside its target: hostile names are refused and
// symbolic links in the target are not followed.
#include <OrvelPacket.h>
#include <unistd.h>

#include "VrkFixture.h"

namespace vrktest {
namespace {

class SafetyTest : public VrkTest {
 protected:
  void SetUp() override {
    WriteFile(Path("in/payload.txt"), "payload");
    WriteFile(Path("in/good.txt"), "good");
    RunResult c = Create({"-C", "in", "good.txt"});
    ASSERT_EQ(c.status, 0) << c.err;
  }
  // Names vrk refuses to store (add --as included), written as a hostile
  // host would, through the library.
  void AddAs(const std::string& name) {
    IOrvelPacket* p = g_piVrkSystem->LoadPacket(Path(Archive()).c_str());
    ASSERT_NE(p, nullptr);
    p->BeginUpdate();
    EXPECT_EQ(p->AddFileFromMemory(name.c_str(), 0, "payload", 7, 0, 0), 0) << name;
    EXPECT_EQ(p->EndUpdate(), 0);
    g_piVrkSystem->FreePacket(p);
  }
};

TEST_P(SafetyTest, HostileNamesAreRefusedUnlessUnsafePathsAndTheRestExtracted) {
  for (const char* name : {"../escape.txt", "sub/../../up.txt", "sub\\..\\..\\back.txt",
                           "/tmp/vrk-absolute-escape.txt", "c:\\drive.txt", "\\\\server\\x.txt"})
    AddAs(name);
  unlink("/tmp/vrk-absolute-escape.txt");

  RunResult x = Vrk({"extract", Archive(), "-C", "target/out"});
  EXPECT_EQ(x.status, kWarnings);
  EXPECT_NE(x.err.find("'..' component refused"), std::string::npos) << x.err;
  EXPECT_NE(x.err.find("absolute path refused"), std::string::npos) << x.err;
  EXPECT_NE(x.err.find("drive letter refused"), std::string::npos) << x.err;
  EXPECT_EQ(ReadTree(Path("target")),
            (std::map<std::string, std::string>{{"out/good.txt", "good"}}));
  EXPECT_FALSE(Exists(Path("escape.txt")));
  EXPECT_FALSE(Exists(Path("target/escape.txt")));
  EXPECT_FALSE(Exists("/tmp/vrk-absolute-escape.txt"));

  // Asked for by name, still refused, unless --unsafe-paths allows it.
  RunResult named = Vrk({"extract", Archive(), "../escape.txt", "-C", "target/out"});
  EXPECT_EQ(named.status, kWarnings);
  EXPECT_FALSE(Exists(Path("target/escape.txt")));
  named = Vrk({"extract", Archive(), "../escape.txt", "-C", "target/out", "--unsafe-paths"});
  ASSERT_EQ(named.status, 0) << named.err;
  EXPECT_EQ(ReadFile(Path("target/escape.txt")), "payload");
}

TEST_P(SafetyTest, SymbolicLinksInTheTargetAreNotFollowed) {
  AddAs("linked/inside.txt");
  AddAs("leaf.txt");
  WriteFile(Path("outside/keep.txt"), "untouched");
  WriteFile(Path("target/placeholder"), "");
  ASSERT_EQ(symlink(Path("outside").c_str(), Path("target/linked").c_str()), 0);
  ASSERT_EQ(symlink(Path("outside/keep.txt").c_str(), Path("target/leaf.txt").c_str()), 0);

  RunResult x = Vrk({"extract", Archive(), "-C", "target"});
  EXPECT_EQ(x.status, kWarnings);
  EXPECT_NE(x.err.find("symbolic link"), std::string::npos) << x.err;
  // Nothing reached the directory behind the link, and the link at the
  // leaf was replaced rather than written through.
  EXPECT_EQ(ReadTree(Path("outside")),
            (std::map<std::string, std::string>{{"keep.txt", "untouched"}}));
  EXPECT_EQ(ReadFile(Path("target/leaf.txt")), "payload");
  EXPECT_EQ(ReadFile(Path("target/good.txt")), "good");
}

TEST_P(SafetyTest, ControlCharactersInNamesNeverReachTheTerminal) {
  AddAs("bad\x1b]0;pwned\x07name.txt");
  RunResult list = Vrk({"list", Archive()});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out.find('\x1b'), std::string::npos);
  EXPECT_NE(list.out.find("bad\\x1B]0;pwned\\x07name.txt"), std::string::npos) << list.out;
  RunResult missing = Vrk({"cat", Archive(), "gone\x1b[2J"});
  EXPECT_EQ(missing.status, kFatal);
  EXPECT_EQ(missing.err.find('\x1b'), std::string::npos) << missing.err;
}

VRK_BOTH_VARIANTS(SafetyTest);

}  // namespace
}  // namespace vrktest
