// Remote files behind the file layer's handles, against a server of our own
// that misbehaves on request: every read gives the right bytes or fails
// with a clear reason, and no request reaches past the file's end.
#include <errno.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

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
    if (n == 0 && count && offset < bytes_.size())
      return "<" + std::to_string(VrkLastSystemError()) + ">";
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

// One open and one read under each condition of the server: the right
// bytes or a clear error, and the requests they made, from the open's probe
// of the first bytes on (each read asks for its own range, within the file),
// every one with the configured headers.
TEST_F(RemoteFileTest, EachConditionGivesTheRightBytesOrAClearError) {
  enum Setup { kPlain, kScan, kNoRanges, kReplaced, kReplacedNoRanges };
  const std::string head = "bytes=0-4095", r = "bytes=50000-69999";
  struct Case {
    const char* what;
    Setup setup;
    Fault fault;
    int times;  // 0: no fault
    unsigned count, offset;
    int error;  // 0: the read succeeds
    std::vector<std::string> ranges;
  } cases[] = {
      {"a read inside the file", kPlain, Fault::kCutBody, 0, 20000, 50000, 0, {head, r}},
      {"a read past the end is cut at the end", kPlain, Fault::kCutBody, 0, 500, 99900, 0,
       {head, "bytes=99900-99999"}},
      {"a read at the end asks nothing", kPlain, Fault::kCutBody, 0, 10, 100000, 0, {head}},
      {"a cut body resumes from the bytes received", kPlain, Fault::kCutBody, 1, 20000, 50000, 0,
       {head, r, "bytes=60000-69999"}},
      {"a short body resumes at its last byte", kPlain, Fault::kShortBody, 1, 20000, 50000, 0,
       {head, r, "bytes=69999-69999"}},
      {"500, then success", kPlain, Fault::kStatus500, 2, 20000, 50000, 0, {head, r, r, r}},
      {"429 with Retry-After", kPlain, Fault::kStatus429, 1, 20000, 50000, 0, {head, r, r}},
      {"500 on every attempt", kPlain, Fault::kStatus500, 5, 20000, 50000, EIO, {head, r, r, r, r, r}},
      {"404", kPlain, Fault::kStatus404, 1, 20000, 50000, ENOENT, {head, r}},
      {"416", kPlain, Fault::kStatus416, 1, 20000, 50000, ESTALE, {head, r}},
      {"ranges ignored once", kPlain, Fault::kIgnoreRange, 1, 20000, 50000, 0, {head, r, ""}},
      {"a server that ignores ranges is read from the start of its body", kNoRanges,
       Fault::kCutBody, 0, 20000, 50000, 0, {head, ""}},
      {"a sequential scan fetches the whole file at open", kScan, Fault::kCutBody, 0, 20000, 50000,
       0, {""}},
      {"a file replaced after the open is never mixed in", kReplaced, Fault::kCutBody, 0, 20000,
       50000, ESTALE, {head, r}},
      {"... nor by a server that ignores ranges", kReplacedNoRanges, Fault::kCutBody, 0, 20000,
       50000, ESTALE, {head, ""}},
  };
  setenv("ORVEL_HTTP_HEADERS", "Authorization: Bearer t0ken\nX-Other: 1", 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const bool replaced = c.setup == kReplaced || c.setup == kReplacedNoRanges;
    server_.Put("f.bin", bytes_);
    server_.IgnoreRanges(c.setup == kNoRanges || c.setup == kReplacedNoRanges);
    server_.ClearLog();
    const FileHandle h = Open(c.setup == kScan ? kAttrSequentialScan : kAttrNormal);
    ASSERT_NE(h, kInvalidFile);
    EXPECT_EQ(GetDiskFileSize(h), bytes_.size());
    if (replaced) server_.Put("f.bin", RandomBytes(bytes_.size(), 8));  // same size, new ETag
    server_.Inject("f.bin", c.fault, c.times);
    const std::string got = ReadAt(h, c.count, c.offset);
    if (c.error == 0) {
      EXPECT_TRUE(got == bytes_.substr(c.offset, c.count));
    } else {
      EXPECT_EQ(got, "<" + std::to_string(c.error) + ">");
    }
    std::vector<std::string> ranges;
    for (const auto& logged : server_.Log()) {
      ranges.push_back(logged.range);
      EXPECT_EQ(logged.authorization, "Bearer t0ken");
    }
    EXPECT_EQ(ranges, c.ranges);
    // Nothing is left of the fault: the next read goes through.
    if (!replaced) {
      EXPECT_TRUE(ReadAt(h, 1000, 90000) == bytes_.substr(90000, 1000));
    }
    CloseDiskFile(h);
  }
  unsetenv("ORVEL_HTTP_HEADERS");
  server_.IgnoreRanges(false);
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
