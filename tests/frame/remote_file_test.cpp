// Remote files behind the file layer's handles, against a server of our own
// that misbehaves on request: every read gives the right bytes or fails
// with a clear reason, and no request reaches past the file's end.
#include <errno.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "common/FaultServer.h"
#include "frame/DiskFile.h"
#include "frame/RemoteFile.h"
#include "orvel/VrkErrors.h"

using namespace orvel;
using orvel_test::Fault;
using orvel_test::FaultServer;

namespace {

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

class RemoteFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server_.Running()) GTEST_SKIP() << "no loopback socket for the test server";
    server_.Put("f.bin", bytes_);
  }
  FileHandle Open(unsigned attributes = kAttrNormal) {
    return OpenDiskFileEx(server_.Url("f.bin").c_str(), kModeReadShared, attributes);
  }
  // The bytes a read of `count` at `offset` gives, or "<errno>" on failure.
  std::string ReadAt(FileHandle h, unsigned count, unsigned offset) {
    std::string out(count, '\0');
    const unsigned n = ReadDiskFileAt(h, &out[0], count, offset);
    if (n == 0 && count) return "<" + std::to_string(VrkLastSystemError()) + ">";
    out.resize(n);
    return out;
  }

  FaultServer server_;
  const std::string bytes_ = RandomBytes(100000, 7);
};

TEST(RemotePath, OnlyHttpAndHttpsAreRemote) {
  EXPECT_TRUE(IsRemotePath("http://h/a.vrk"));
  EXPECT_TRUE(IsRemotePath("HTTPS://h/a.vrk"));
  EXPECT_FALSE(IsRemotePath("ftp://h/a.vrk"));
  EXPECT_FALSE(IsRemotePath("http:/h/a.vrk"));
  EXPECT_FALSE(IsRemotePath("a.vrk"));
  EXPECT_FALSE(IsRemotePath(nullptr));
}

TEST_F(RemoteFileTest, EachFaultGivesTheRightBytesOrAClearError) {
  struct Case {
    const char* what;
    Fault fault;
    int times;
    int error;  // 0: the read succeeds
  } cases[] = {
      {"connection cut mid-body", Fault::kCutBody, 1, 0},
      {"body shorter than announced", Fault::kShortBody, 2, 0},
      {"500, then success", Fault::kStatus500, 2, 0},
      {"429 with Retry-After", Fault::kStatus429, 1, 0},
      {"ranges ignored once", Fault::kIgnoreRange, 1, 0},
      {"500 on every attempt", Fault::kStatus500, 5, EIO},
      {"404", Fault::kStatus404, 1, ENOENT},
      {"416", Fault::kStatus416, 1, ESTALE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const FileHandle h = Open();
    ASSERT_NE(h, kInvalidFile);
    server_.Inject("f.bin", c.fault, c.times);
    const std::string got = ReadAt(h, 30000, 12345);
    if (c.error == 0) {
      EXPECT_TRUE(got == bytes_.substr(12345, 30000));
    } else {
      EXPECT_EQ(got, "<" + std::to_string(c.error) + ">");
    }
    // The next read goes through again (nothing left of the fault).
    EXPECT_TRUE(ReadAt(h, 1000, 90000) == bytes_.substr(90000, 1000));
    CloseDiskFile(h);
  }
}

TEST_F(RemoteFileTest, ACutBodyResumesFromTheBytesReceived) {
  const FileHandle h = Open();
  ASSERT_NE(h, kInvalidFile);
  server_.ClearLog();
  server_.Inject("f.bin", Fault::kCutBody);
  EXPECT_TRUE(ReadAt(h, 20000, 50000) == bytes_.substr(50000, 20000));
  const auto log = server_.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].range, "bytes=50000-69999");
  EXPECT_EQ(log[1].range, "bytes=60000-69999");
  CloseDiskFile(h);
}

TEST_F(RemoteFileTest, EachReadIsOneRangeRequestWithinTheFile) {
  const FileHandle h = Open();
  ASSERT_NE(h, kInvalidFile);
  EXPECT_EQ(GetDiskFileSize(h), bytes_.size());
  server_.ClearLog();
  EXPECT_TRUE(ReadAt(h, 100, 70000) == bytes_.substr(70000, 100));
  // A read past the end is cut at the end, as on disk.
  EXPECT_TRUE(ReadAt(h, 500, 99900) == bytes_.substr(99900));
  EXPECT_EQ(ReadAt(h, 10, 100000), "<" + std::to_string(VrkLastSystemError()) + ">");
  const auto log = server_.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].range, "bytes=70000-70099");
  EXPECT_EQ(log[1].range, "bytes=99900-99999");
  CloseDiskFile(h);
}

TEST_F(RemoteFileTest, ReadsInOrderAreMergedIntoFewRequests) {
  const FileHandle h = Open();
  ASSERT_NE(h, kInvalidFile);
  server_.ClearLog();
  // 100 adjacent reads of 900 bytes from 5000 on, as an extraction makes.
  for (unsigned at = 5000; at < 95000; at += 900)
    ASSERT_TRUE(ReadAt(h, 900, at) == bytes_.substr(at, 900)) << at;
  const auto log = server_.Log();
  EXPECT_LE(log.size(), 4u);
  // The read-ahead stops at the end of the file.
  for (const auto& r : log) {
    unsigned long long a = 0, b = 0;
    ASSERT_EQ(std::sscanf(r.range.c_str(), "bytes=%llu-%llu", &a, &b), 2);
    EXPECT_LT(b, bytes_.size());
  }
  // A read elsewhere is one request of its own size again.
  server_.ClearLog();
  EXPECT_TRUE(ReadAt(h, 100, 1000 + 4096) == bytes_.substr(5096, 100));
  ASSERT_EQ(server_.Log().size(), 1u);
  EXPECT_EQ(server_.Log()[0].range, "bytes=5096-5195");
  CloseDiskFile(h);
}

TEST_F(RemoteFileTest, AFileReplacedAfterTheOpenIsNeverMixedIn) {
  for (bool ignoreRanges : {false, true}) {
    SCOPED_TRACE(ignoreRanges ? "server ignores ranges" : "server serves ranges");
    server_.Put("f.bin", bytes_);
    server_.IgnoreRanges(ignoreRanges);
    const FileHandle h = Open();
    ASSERT_NE(h, kInvalidFile);
    EXPECT_TRUE(ReadAt(h, 8000, 40000) == bytes_.substr(40000, 8000));
    server_.Put("f.bin", RandomBytes(bytes_.size(), 8));  // same size, new ETag
    EXPECT_EQ(ReadAt(h, 8000, 40000), "<" + std::to_string(ESTALE) + ">");
    CloseDiskFile(h);
  }
  server_.IgnoreRanges(false);
}

TEST_F(RemoteFileTest, AServerThatIgnoresRangesIsReadFromTheStartOfItsBody) {
  server_.IgnoreRanges(true);
  const FileHandle h = Open();
  ASSERT_NE(h, kInvalidFile);
  EXPECT_EQ(GetDiskFileSize(h), bytes_.size());
  EXPECT_TRUE(ReadAt(h, 30000, 60000) == bytes_.substr(60000, 30000));
  EXPECT_TRUE(ReadAt(h, 10, 5) == bytes_.substr(5, 10));
  CloseDiskFile(h);
  server_.IgnoreRanges(false);
}

TEST_F(RemoteFileTest, SequentialScanFetchesTheWholeFileAtOpen) {
  server_.ClearLog();
  const FileHandle h = Open(kAttrNormal | kAttrSequentialScan);
  ASSERT_NE(h, kInvalidFile);
  EXPECT_TRUE(ReadAt(h, 100000, 0) == bytes_);
  EXPECT_TRUE(ReadAt(h, 7, 99993) == bytes_.substr(99993));
  const auto log = server_.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].range, "");
  CloseDiskFile(h);
}

TEST_F(RemoteFileTest, PositionedCallsWorkAsOnDisk) {
  const FileHandle h = Open();
  ASSERT_NE(h, kInvalidFile);
  char word[4];
  EXPECT_EQ(ReadDiskFile(h, word, 4), 4u);
  EXPECT_EQ(std::string(word, 4), bytes_.substr(0, 4));
  EXPECT_EQ(SeekDiskFile(h, 12, 1), 16u);
  EXPECT_EQ(ReadDiskFile(h, word, 4), 4u);
  EXPECT_EQ(std::string(word, 4), bytes_.substr(16, 4));
  EXPECT_EQ(TellDiskFile(h), 20u);
  EXPECT_EQ(SeekDiskFile(h, -4, 2), 99996u);
  EXPECT_EQ(SeekDiskFile(h, -1, 0), kFileFailure);
  CloseDiskFile(h);
}

TEST_F(RemoteFileTest, ConfiguredHeadersGoWithEveryRequest) {
  setenv("ORVEL_HTTP_HEADERS", "Authorization: Bearer t0ken\nX-Other: 1", 1);
  const FileHandle h = Open();
  unsetenv("ORVEL_HTTP_HEADERS");
  ASSERT_NE(h, kInvalidFile);
  EXPECT_TRUE(ReadAt(h, 10, 20000) == bytes_.substr(20000, 10));
  CloseDiskFile(h);
  const auto log = server_.Log();
  ASSERT_EQ(log.size(), 2u);
  for (const auto& r : log) EXPECT_EQ(r.authorization, "Bearer t0ken");
}

TEST_F(RemoteFileTest, RemoteFilesAreReadOnlyAndMissingOnesDoNotOpen) {
  const std::string url = server_.Url("f.bin");
  EXPECT_EQ(OpenDiskFileEx(url.c_str(), kModeReadWriteShared, kAttrWriteThrough), kInvalidFile);
  EXPECT_EQ(VrkLastSystemError(), EROFS);
  EXPECT_EQ(CreateDiskFile(url.c_str(), kAttrNormal), kInvalidFile);
  EXPECT_EQ(VrkLastSystemError(), EROFS);
  const FileHandle h = Open();
  ASSERT_NE(h, kInvalidFile);
  EXPECT_EQ(WriteDiskFileAt(h, "x", 1, 0), 0u);
  EXPECT_EQ(WriteDiskFile(h, "x", 1), 0u);
  CloseDiskFile(h);
  EXPECT_EQ(OpenDiskFile(server_.Url("none.bin").c_str(), kModeReadShared), kInvalidFile);
  EXPECT_EQ(VrkLastSystemError(), ENOENT);
}

}  // namespace
