// VrkRemoteBytesFetched counts the body bytes remote files receive, from
// every thread: what a progress bar of a parallel read shows.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/FaultServer.h"
#include "frame/DiskFile.h"
#include "orvel/VrkRemote.h"

using namespace orvel;

namespace {

TEST(RemoteBytesFetched, CountsEveryBodyByteOfEveryThread) {
  orvel_test::FaultServer server;
  if (!server.Running()) GTEST_SKIP() << "no loopback socket for the test server";
  std::mt19937 gen(3);
  std::string bytes(100000, '\0');
  for (char& c : bytes) c = static_cast<char>(gen());
  server.Put("f.bin", bytes);
  const std::string url = server.Url("f.bin");

  // A whole fetch at open: exactly the file.
  uint64_t before = VrkRemoteBytesFetched();
  FileHandle h = OpenDiskFileEx(url.c_str(), kModeReadShared, kAttrNormal | kAttrSequentialScan);
  ASSERT_NE(h, kInvalidFile);
  CloseDiskFile(h);
  EXPECT_EQ(VrkRemoteBytesFetched() - before, bytes.size());

  // Four threads fetching it whole at once: four times as much.
  before = VrkRemoteBytesFetched();
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&] {
      FileHandle t = OpenDiskFileEx(url.c_str(), kModeReadShared, kAttrNormal | kAttrSequentialScan);
      EXPECT_NE(t, kInvalidFile);
      if (t != kInvalidFile) CloseDiskFile(t);
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(VrkRemoteBytesFetched() - before, 4 * bytes.size());

  // A ranged read counts what came: at least the range asked for.
  h = OpenDiskFileEx(url.c_str(), kModeReadShared, kAttrNormal);
  ASSERT_NE(h, kInvalidFile);
  before = VrkRemoteBytesFetched();
  char piece[1000];
  ASSERT_EQ(ReadDiskFileAt(h, piece, sizeof piece, 60000), sizeof piece);
  const uint64_t ranged = VrkRemoteBytesFetched() - before;
  EXPECT_GE(ranged, sizeof piece);
  EXPECT_LE(ranged, bytes.size() - 60000);
  CloseDiskFile(h);
}

}  // namespace
