#include "frame/DiskFile.h"

#include <gtest/gtest.h>
#include <sys/time.h>

#include <ctime>
#include <string>

#include "common/TempDir.h"

using namespace orvel;
using orvel_test::ReadFileBytes;
using orvel_test::TempDir;
using orvel_test::WriteFileBytes;

static void SetMtime(const std::string& path, time_t when) {
  struct timeval times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(utimes(path.c_str(), times), 0);
}

TEST(PathDirectory, TakesEverythingUpToTheLastSeparatorPastPositionZero) {
  const struct { const char* path; int found; const char* dir; } cases[] = {
      {"c:\\data\\x/y.vrk", 1, "c:\\data\\x/"}, {"data\\main.vrk", 1, "data\\"},
      {"main.vrk", 0, ""}, {"/main.vrk", 0, ""}, {"", 0, ""}};  // position 0 is not examined
  for (const auto& c : cases) {
    char dir[260];
    EXPECT_EQ(GetPathDirectory(c.path, dir), c.found) << c.path;
    EXPECT_STREQ(dir, c.dir) << c.path;
  }
}

TEST(DiskFileTime, PacksLocalTimeAsDosTimeAndAbsentFilesFail) {
  TempDir tmp;
  const std::string f = tmp / "f";
  WriteFileBytes(f, "x");
  struct tm when = {};
  when.tm_year = 2024 - 1900, when.tm_mon = 2, when.tm_mday = 15;  // 15 March 2024
  when.tm_hour = 13, when.tm_min = 45, when.tm_sec = 31, when.tm_isdst = -1;
  SetMtime(f, mktime(&when));
  const unsigned dos = GetDiskFileTime(f.c_str());
  EXPECT_EQ(dos >> 16, (44u << 9) | (3u << 5) | 15u);
  EXPECT_EQ(dos & 0xFFFF, (13u << 11) | (45u << 5) | 15u);
  // Wildcards in the last component match as a directory search does.
  EXPECT_EQ(GetDiskFileTime((tmp / "?").c_str()), dos);
  EXPECT_EQ(GetDiskFileTime((tmp / "g*").c_str()), kFileFailure);
  EXPECT_EQ(GetDiskFileTime(tmp.path().c_str()), kFileFailure);
  EXPECT_EQ(GetDiskFileTime((tmp / "missing").c_str()), kFileFailure);
  EXPECT_EQ(DiskFileExists(f.c_str()), 1);
  EXPECT_EQ(DiskFileExists(tmp.path().c_str()) + DiskFileExists((tmp / "missing").c_str()), 0);

  // 1970 has no DOS time, but the file still exists; the write time is a
  // Windows file time.
  SetMtime(f, 86400);
  EXPECT_EQ(GetDiskFileTime(f.c_str()), kFileFailure);
  EXPECT_EQ(DiskFileExists(f.c_str()), 1);
  EXPECT_EQ(GetDiskFileWriteTime(f.c_str()), (11644473600ull + 86400ull) * 10000000ull);
  EXPECT_EQ(GetDiskFileWriteTime((tmp / "missing").c_str()), 0u);
}

TEST(DiskFileIo, ReadsWritesSeeksAndMeasures) {
  TempDir tmp;
  const std::string path = tmp / "f";
  FileHandle f = CreateDiskFile(path.c_str(), kAttrWriteThrough);
  ASSERT_NE(f, kInvalidFile);
  EXPECT_EQ(WriteDiskFile(f, "hello world", 11), 11u);
  EXPECT_TRUE(FlushDiskFile(f));
  EXPECT_EQ(SeekDiskFile(f, 6, 0), 6u);
  EXPECT_EQ(GetDiskFileSize(f), 11u);
  EXPECT_EQ(TellDiskFile(f), 6u);  // measuring leaves the position alone
  char buf[16] = {};
  EXPECT_EQ(ReadDiskFile(f, buf, 5), 5u);
  EXPECT_STREQ(buf, "world");
  EXPECT_EQ(ReadDiskFile(f, buf, 5), 0u);  // at the end: nothing read
  EXPECT_EQ(SeekDiskFile(f, -5, 1), 6u);
  EXPECT_EQ(SeekDiskFile(f, -1, 2), 10u);
  EXPECT_EQ(SeekDiskFile(f, -20, 1), kFileFailure);
  EXPECT_EQ(TellDiskFile(f), 10u);  // a failed seek does not move
  EXPECT_EQ(ReadDiskFileAt(f, buf, 5, 0), 5u);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_EQ(WriteDiskFileAt(f, "J", 1, 0), 1u);
  EXPECT_EQ(TellDiskFile(f), 10u);
  // Positions at or past 4 GiB fail instead of wrapping.
  EXPECT_EQ(SeekDiskFile(f, -1, 0), kFileFailure);  // 0xFFFFFFFF is not a position
  EXPECT_EQ(SeekDiskFile(f, static_cast<int32_t>(0xFFFFFFF0u), 0), 0xFFFFFFF0u);
  EXPECT_EQ(SeekDiskFile(f, 0x20, 1), kFileFailure);
  EXPECT_EQ(WriteDiskFile(f, "0123456789abcdefXYZ", 19), 0u);  // would cross 4 GiB
  EXPECT_EQ(WriteDiskFileAt(f, "abc", 3, 0xFFFFFFFEu), 0u);
  CloseDiskFile(f);
  EXPECT_EQ(ReadFileBytes(path), "Jello world");
}

TEST(ShareModes, FollowTheSharingRules) {
  TempDir tmp;
  const std::string path = tmp / "f";
  const char* p = path.c_str();
  WriteFileBytes(path, "payload");
  FileHandle exclusive = OpenDiskFile(p, kModeReadExclusive);
  ASSERT_NE(exclusive, kInvalidFile);
  EXPECT_EQ(OpenDiskFile(p, kModeReadShared), kInvalidFile);
  EXPECT_EQ(OpenDiskFile(p, kModeReadWriteShared), kInvalidFile);
  // Neither creation nor deletion may touch a file that is held open.
  EXPECT_EQ(CreateDiskFile(p, kAttrNormal), kInvalidFile);
  EXPECT_FALSE(DeleteDiskFile(p));
  EXPECT_EQ(ReadFileBytes(path), "payload");
  CloseDiskFile(exclusive);

  // Read-write access needs the holders to share writing.
  FileHandle readers[2] = {OpenDiskFile(p, kModeReadShared), OpenDiskFile(p, kModeReadShared)};
  EXPECT_TRUE(readers[0] != kInvalidFile && readers[1] != kInvalidFile);
  EXPECT_EQ(OpenDiskFile(p, kModeReadWriteShared), kInvalidFile);
  for (FileHandle h : readers) CloseDiskFile(h);

  // A reader that shares only reading refuses the writers already there.
  FileHandle writers[2] = {OpenDiskFile(p, kModeReadWriteShared),
                           OpenDiskFile(p, kModeReadWriteShared)};
  EXPECT_TRUE(writers[0] != kInvalidFile && writers[1] != kInvalidFile);
  EXPECT_EQ(OpenDiskFile(p, kModeReadShared), kInvalidFile);
  for (FileHandle h : writers) CloseDiskFile(h);
  EXPECT_TRUE(DeleteDiskFile(p));
  EXPECT_EQ(DiskFileExists(p), 0);

  // Directories and missing files never open.
  EXPECT_EQ(OpenDiskFile(tmp.path().c_str(), kModeReadShared), kInvalidFile);
  EXPECT_EQ(OpenDiskFile(p, kModeReadShared), kInvalidFile);
  EXPECT_EQ(CreateDiskFile(tmp.path().c_str(), kAttrNormal), kInvalidFile);
  EXPECT_EQ(OpenDiskFile(nullptr, kModeReadShared), kInvalidFile);
}

TEST(MoveAndDelete, MoveNeverReplacesAndPatternsDeleteOnlyMatches) {
  TempDir tmp;
  WriteFileBytes(tmp / "a", "A");
  WriteFileBytes(tmp / "b", "B");
  EXPECT_FALSE(MoveDiskFile((tmp / "a").c_str(), (tmp / "b").c_str()));
  EXPECT_EQ(ReadFileBytes(tmp / "b"), "B");
  EXPECT_TRUE(MoveDiskFile((tmp / "a").c_str(), (tmp / "c").c_str()));
  EXPECT_EQ(ReadFileBytes(tmp / "c"), "A");

  for (const char* name : {"main_0000001a.pb", "main_00000002.pb", "main_2.pb", "other_0000001a.pb"})
    WriteFileBytes(tmp / name, "x");
  EXPECT_EQ(DeleteMatchingFiles((tmp / "main_????????.pb").c_str()), 2);
  EXPECT_EQ(DiskFileExists((tmp / "main_2.pb").c_str()), 1);
  EXPECT_EQ(DiskFileExists((tmp / "other_0000001a.pb").c_str()), 1);
  EXPECT_EQ(DiskFileExists((tmp / "main_0000001a.pb").c_str()), 0);
}
