// A write past the process's file size limit fails with EFBIG (the host
// ignores SIGXFSZ): the update fails like any failed write, the archive
// stays as it was, and the reason is kept for the host to print.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "OrvelPacket.h"
#include "common/PacketTestUtil.h"
#include "common/TempDir.h"

using namespace orvel_test;
namespace fs = std::filesystem;

namespace {

TEST(FileSizeLimit, AWriteOverTheLimitFailsTheUpdateAndRollsItBack) {
  for (int flags : {0, 8}) {
    TempDir dir;
    const std::string path = dir / (flags ? "a.vrk" : "b.pak");
    IOrvelPacket* p = g_piVrkSystem->NewPacket(path.c_str(), flags, 32, 16, 0, 1);
    ASSERT_NE(p, nullptr);
    p->BeginUpdate();
    ASSERT_EQ(Add(*p, "kept", std::string(3000, 'k')), 0);
    ASSERT_EQ(p->EndUpdate(), 0);
    g_piVrkSystem->FreePacket(p);
    const std::string before = ReadFileBytes(path);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit;
      getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = before.size() + 20000;
      setrlimit(RLIMIT_FSIZE, &limit);
      IOrvelPacket* q = g_piVrkSystem->LoadPacket(path.c_str());
      if (!q) _exit(2);
      std::string big(300000, ' ');
      for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 2654435761u >> 24);
      // A careful host: a failed change drops the bracket (the object is
      // freed without its EndUpdate), so that nothing of it commits.
      q->BeginUpdate();
      const bool added = Add(*q, "big", big) == 0;
      const bool ended = added && q->EndUpdate() == 0;
      const int err = VrkLastSystemError();
      g_piVrkSystem->FreePacket(q);
      _exit(ended ? 3 : err == EFBIG ? 0 : 4);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << flags;
    EXPECT_TRUE(ReadFileBytes(path) == before) << flags;
    EXPECT_FALSE(fs::exists(path + "-journal"));
    IOrvelPacket* r = g_piVrkSystem->LoadPacket(path.c_str());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(ReadAll(*r, "kept"), std::string(3000, 'k'));
    EXPECT_EQ(r->GetFileCount(), 2u);
    g_piVrkSystem->FreePacket(r);
  }
}

}  // namespace
