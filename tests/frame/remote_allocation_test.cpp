// The remote layer's state, bodies and read-ahead windows come from the
// host's allocator, all of it back at close; a block the allocator refuses
// fails the open or the read (ENOMEM), or costs only the read-ahead.
#include <errno.h>
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "common/CountingAllocator.h"
#include "common/FaultServer.h"
#include "frame/DiskFile.h"
#include "orvel/VrkErrors.h"

using namespace orvel;
using orvel_test::CountingAllocator;
using orvel_test::FaultServer;
using orvel_test::ScopedAllocator;

namespace {

class RemoteAllocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server_.Running()) GTEST_SKIP() << "no loopback socket for the test server";
    std::mt19937 gen(3);
    for (char& c : bytes_) c = static_cast<char>(gen());
    server_.Put("f.bin", bytes_);
  }
  FileHandle Open(unsigned attributes) {
    return OpenDiskFileEx(server_.Url("f.bin").c_str(), kModeReadShared, attributes);
  }
  // Reads `count` bytes in order from 0 in pieces of `piece`.
  std::string ReadInOrder(FileHandle h, unsigned count, unsigned piece) {
    std::string all;
    for (unsigned at = 0; at < count; at += piece) {
      std::string part(piece, '\0');
      part.resize(ReadDiskFileAt(h, &part[0], piece, at));
      all += part;
    }
    return all;
  }

  FaultServer server_;
  std::string bytes_ = std::string(300000, '\0');
};

TEST_F(RemoteAllocationTest, TheHostAllocatorHoldsEveryBufferUntilTheClose) {
  CountingAllocator counting;
  ScopedAllocator scoped(&counting);
  for (unsigned attributes : {kAttrNormal, kAttrNormal | kAttrSequentialScan}) {
    const bool whole = attributes & kAttrSequentialScan;
    SCOPED_TRACE(whole ? "whole body" : "ranges with read-ahead");
    counting.ResetPeak();
    const FileHandle h = Open(attributes);
    ASSERT_NE(h, kInvalidFile);
    EXPECT_TRUE(ReadInOrder(h, 300000, 3000) == bytes_);
    EXPECT_GT(counting.live(), 0u);
    // The body, or a read-ahead window of 64 KiB and more, was the host's.
    EXPECT_GE(counting.peak_bytes(), whole ? bytes_.size() : 64u * 1024);
    CloseDiskFile(h);
    EXPECT_EQ(counting.live(), 0u);
  }
  EXPECT_FALSE(counting.freed_foreign());
  EXPECT_TRUE(counting.always_aligned_16());
}

TEST_F(RemoteAllocationTest, ARefusedBlockFailsTheOpenOrTheReadNeverMore) {
  CountingAllocator counting;
  ScopedAllocator scoped(&counting);
  // No room for the whole body.
  counting.limit_bytes(40000);
  EXPECT_EQ(Open(kAttrSequentialScan), kInvalidFile);
  EXPECT_EQ(VrkLastSystemError(), ENOMEM);
  // No room for a read-ahead window: reads in order fetch their own bytes.
  FileHandle h = Open(kAttrNormal);
  ASSERT_NE(h, kInvalidFile);
  server_.ClearLog();
  EXPECT_TRUE(ReadInOrder(h, 60000, 3000) == bytes_.substr(0, 60000));
  EXPECT_EQ(server_.Log().size(), 60000u / 3000 - 1);  // the first bytes came with the open
  // No block at all: the read fails, then goes through again.
  counting.fail_after(0);
  char byte = 0;
  EXPECT_EQ(ReadDiskFileAt(h, &byte, 1, 200000), 0u);
  EXPECT_EQ(VrkLastSystemError(), ENOMEM);
  counting.fail_after(-1);
  EXPECT_EQ(ReadDiskFileAt(h, &byte, 1, 200000), 1u);
  EXPECT_EQ(byte, bytes_[200000]);
  CloseDiskFile(h);
  // Nor for the file's state: the open fails.
  counting.fail_after(0);
  EXPECT_EQ(Open(kAttrNormal), kInvalidFile);
  EXPECT_EQ(VrkLastSystemError(), ENOMEM);
  counting.fail_after(-1);
  EXPECT_EQ(counting.live(), 0u);
}

}  // namespace
