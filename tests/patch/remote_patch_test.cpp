// Applying a patch at a URL: the copy ends as from the disk, each block file
// costs a one-byte open and one range request for its entries that lie back
// to back, block files below the copy's level are never asked for, and a
// block file missing on the server stops where a missing one on disk does.
#include <filesystem>
#include <map>

#include "PatchFixture.h"
#include "common/FaultServer.h"

namespace orvel_test {
namespace {

TEST_F(PatchTest, FromAUrlEachNeededBlockFileIsOneRangeAfterAOneByteOpen) {
  Side src = CreateSource();
  CopySource();
  // Level 3 (a and c, back to back in their block file), level 5 (b, d).
  Write(src, 3, {{"a.txt", Text(5000, 2)}, {"c.txt", Text(100, 5)}});
  Write(src, 5, {{"b.bin", RandomBytes(3000, 3)}, {"d.txt", Text(700, 6)}});
  src->SetPacketVersion(0, 6);
  ASSERT_EQ(src.patcher->CreatePatchFile(), 0) << g_nVrkErrCode;
  FaultServer server;
  if (!server.Running()) GTEST_SKIP() << "no loopback socket for the test server";
  const std::string block3 = ReadFileBytes(Block(3)), block5 = ReadFileBytes(Block(5));
  server.Put("data.vrx", ReadFileBytes(Src(".vrx")));
  server.Put("data_00000003.pb", block3);
  std::string url = server.Url("data.vrx");

  // Level 5's block file is not on the server yet: level 3 goes in.
  {
    Side dst = Open(Dst());
    EXPECT_EQ(dst.patcher->ProceedPatch(&url[0]), VRKERR_NO_SOURCE);
    EXPECT_EQ(Level(*dst), 3u);
  }
  server.Put("data_00000005.pb", block5);
  server.ClearLog();
  Side dst = Open(Dst());
  ASSERT_EQ(dst.patcher->ProceedPatch(&url[0]), 0) << g_nVrkErrCode;
  EXPECT_EQ(Level(*dst), 6u);
  for (const char* name : {"a.txt", "b.bin", "c.txt", "d.txt"})
    EXPECT_EQ(ReadAll(*dst, name), ReadAll(*src, name)) << name;

  std::map<std::string, std::vector<std::string>> ranges;
  for (const LoggedRequest& r : server.Log()) ranges[r.path].push_back(r.range);
  const std::map<std::string, std::vector<std::string>> expected{
      {"/data.vrx", {""}},  // whole, in one request
      {"/data_00000005.pb", {"bytes=0-0", "bytes=0-" + std::to_string(block5.size() - 1)}},
  };
  EXPECT_EQ(ranges, expected);
}

}  // namespace
}  // namespace orvel_test
