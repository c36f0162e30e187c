// Each thread reads back the code its own calls set, whatever other threads
// do at the same moment; the process-wide code still follows every call.
#include <gtest/gtest.h>

#include <OrvelPacket.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/TempDir.h"

namespace {

// An open that fails at the header with a code of its own.
struct FailingCall {
  std::string path;
  int code;
};

int Fail(const FailingCall& call) {
  IOrvelPacket* p = g_piVrkSystem->LoadPacket(call.path.c_str());
  if (p) g_piVrkSystem->FreePacket(p);
  return VrkThreadErrorCode();
}

TEST(ThreadErrorCode, ThreadsFailingTogetherEachSeeTheirOwnCode) {
  orvel_test::TempDir dir;
  orvel_test::WriteFileBytes(dir / "empty", "");
  orvel_test::WriteFileBytes(dir / "text", "not an archive");
  const FailingCall calls[] = {{dir / "missing", VRKERR_OPEN_FILE},
                               {dir / "empty", VRKERR_SIGNATURE_IO},
                               {dir / "text", VRKERR_BAD_SIGNATURE}};
  for (const FailingCall& call : calls) ASSERT_EQ(Fail(call), call.code) << call.code;

  std::atomic<int> ready{0};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (const FailingCall& call : calls)
    threads.emplace_back([&, call] {
      ++ready;
      while (ready < 3) std::this_thread::yield();
      for (int i = 0; i < 5000; ++i)
        if (Fail(call) != call.code) ++wrong;
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong, 0);
}

TEST(ThreadErrorCode, HostWritesAndClearsAreKeptApart) {
  orvel_test::TempDir dir;
  const FailingCall missing{dir / "missing", VRKERR_OPEN_FILE};
  ASSERT_EQ(Fail(missing), VRKERR_OPEN_FILE);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_OPEN_FILE);

  // A host clearing the global does not touch the thread's code...
  g_nVrkErrCode = VRKERR_OK;
  EXPECT_EQ(VrkThreadErrorCode(), VRKERR_OPEN_FILE);
  // ...and clearing the thread's code leaves the global alone.
  g_nVrkErrCode = VRKERR_BUSY;
  VrkClearThreadErrorCode();
  EXPECT_EQ(VrkThreadErrorCode(), VRKERR_OK);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BUSY);

  // Another thread's failure shows in the global only.
  std::thread([&] { Fail(missing); }).join();
  EXPECT_EQ(VrkThreadErrorCode(), VRKERR_OK);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_OPEN_FILE);
}

}  // namespace
