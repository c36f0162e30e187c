#include "frame/DiskFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "common/TempDir.h"

using namespace orvel;
using orvel_test::ReadFileBytes;
using orvel_test::TempDir;
using orvel_test::WriteFileBytes;

namespace {

std::string Dir(const char* path) {
  char dir[260];
  int found = GetPathDirectory(path, dir);
  return std::to_string(found) + ":" + dir;
}

void SetMtime(const std::string& path, time_t when) {
  struct timeval times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(utimes(path.c_str(), times), 0);
}

}  // namespace

TEST(PathDirectory, TakesEverythingUpToTheLastSeparatorPastPositionZero) {
  EXPECT_EQ(Dir("c:\\data\\x/y.vrk"), "1:c:\\data\\x/");
  EXPECT_EQ(Dir("data\\main.vrk"), "1:data\\");
  EXPECT_EQ(Dir("main.vrk"), "0:");
  EXPECT_EQ(Dir("/main.vrk"), "0:");  // position 0 is not examined
  EXPECT_EQ(Dir(""), "0:");
}

TEST(DiskFileExistence, DirectoriesAndMissingFilesAreAbsent) {
  TempDir tmp;
  WriteFileBytes(tmp / "a.bin", "x");
  EXPECT_EQ(DiskFileExists((tmp / "a.bin").c_str()), 1);
  EXPECT_EQ(DiskFileExists(tmp.path().c_str()), 0);
  EXPECT_EQ(DiskFileExists((tmp / "missing").c_str()), 0);
  EXPECT_EQ(GetDiskFileTime(tmp.path().c_str()), kFileFailure);
  EXPECT_EQ(GetDiskFileTime((tmp / "missing").c_str()), kFileFailure);
}

TEST(DiskFileExistence, AFileDatedBefore1980StillExists) {
  TempDir tmp;
  WriteFileBytes(tmp / "old", "x");
  SetMtime(tmp / "old", 0);
  EXPECT_EQ(GetDiskFileTime((tmp / "old").c_str()), kFileFailure);  // no DOS time for 1970
  EXPECT_EQ(DiskFileExists((tmp / "old").c_str()), 1);
}

TEST(DiskFileTime, PacksLocalTimeAsDosDateAndTime) {
  TempDir tmp;
  WriteFileBytes(tmp / "f", "x");
  struct tm when = {};
  when.tm_year = 2024 - 1900;
  when.tm_mon = 2;  // March
  when.tm_mday = 15;
  when.tm_hour = 13;
  when.tm_min = 45;
  when.tm_sec = 31;
  when.tm_isdst = -1;
  SetMtime(tmp / "f", mktime(&when));
  unsigned dos = GetDiskFileTime((tmp / "f").c_str());
  EXPECT_EQ(dos >> 16, (44u << 9) | (3u << 5) | 15u);
  EXPECT_EQ(dos & 0xFFFF, (13u << 11) | (45u << 5) | 15u);
  // Wildcards in the last component match as a directory search does.
  EXPECT_EQ(GetDiskFileTime((tmp / "?").c_str()), dos);
  EXPECT_EQ(GetDiskFileTime((tmp / "*").c_str()), dos);
  EXPECT_EQ(GetDiskFileTime((tmp / "g*").c_str()), kFileFailure);
}

TEST(DiskFileWriteTime, IsAWindowsFileTime) {
  TempDir tmp;
  WriteFileBytes(tmp / "f", "x");
  SetMtime(tmp / "f", 86400);  // 1970-01-02
  EXPECT_EQ(GetDiskFileWriteTime((tmp / "f").c_str()),
            (11644473600ull + 86400ull) * 10000000ull);
  EXPECT_EQ(GetDiskFileWriteTime((tmp / "none").c_str()), 0u);
}

TEST(DiskFileIo, ReadsWritesSeeksAndMeasures) {
  TempDir tmp;
  std::string path = tmp / "f";
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
  CloseDiskFile(f);
  EXPECT_EQ(ReadFileBytes(path), "Jello world");
}

TEST(DiskFileIo, PositionsBeyond32BitsFailInsteadOfWrapping) {
  TempDir tmp;
  FileHandle f = CreateDiskFile((tmp / "f").c_str(), kAttrNormal);
  ASSERT_NE(f, kInvalidFile);
  EXPECT_EQ(SeekDiskFile(f, -1, 0), kFileFailure);  // 0xFFFFFFFF is not a position
  EXPECT_EQ(SeekDiskFile(f, static_cast<int32_t>(0xFFFFFFF0u), 0), 0xFFFFFFF0u);
  EXPECT_EQ(SeekDiskFile(f, 0x20, 1), kFileFailure);
  EXPECT_EQ(WriteDiskFile(f, "0123456789abcdefXYZ", 19), 0u);  // would cross 4 GiB
  EXPECT_EQ(WriteDiskFileAt(f, "abc", 3, 0xFFFFFFFEu), 0u);
  CloseDiskFile(f);
}

TEST(ShareModes, FollowTheSharingRules) {
  TempDir tmp;
  std::string path = tmp / "f";
  WriteFileBytes(path, "payload");
  FileHandle exclusive = OpenDiskFile(path.c_str(), kModeReadExclusive);
  ASSERT_NE(exclusive, kInvalidFile);
  EXPECT_EQ(OpenDiskFile(path.c_str(), kModeReadShared), kInvalidFile);
  EXPECT_EQ(OpenDiskFile(path.c_str(), kModeReadWriteShared), kInvalidFile);
  // Neither creation nor deletion may touch a file that is held open.
  EXPECT_EQ(CreateDiskFile(path.c_str(), kAttrNormal), kInvalidFile);
  EXPECT_FALSE(DeleteDiskFile(path.c_str()));
  EXPECT_EQ(ReadFileBytes(path), "payload");
  CloseDiskFile(exclusive);

  FileHandle reader = OpenDiskFile(path.c_str(), kModeReadShared);
  ASSERT_NE(reader, kInvalidFile);
  FileHandle reader2 = OpenDiskFile(path.c_str(), kModeReadShared);
  EXPECT_NE(reader2, kInvalidFile);
  // Read-write access needs the holders to share writing.
  EXPECT_EQ(OpenDiskFile(path.c_str(), kModeReadWriteShared), kInvalidFile);
  CloseDiskFile(reader);
  CloseDiskFile(reader2);

  FileHandle rw = OpenDiskFile(path.c_str(), kModeReadWriteShared);
  ASSERT_NE(rw, kInvalidFile);
  FileHandle rw2 = OpenDiskFile(path.c_str(), kModeReadWriteShared);
  EXPECT_NE(rw2, kInvalidFile);
  // A reader that shares only reading refuses the writers already there.
  EXPECT_EQ(OpenDiskFile(path.c_str(), kModeReadShared), kInvalidFile);
  CloseDiskFile(rw);
  CloseDiskFile(rw2);
  EXPECT_TRUE(DeleteDiskFile(path.c_str()));
  EXPECT_EQ(DiskFileExists(path.c_str()), 0);
}

TEST(ShareModes, OpeningRefusesDirectoriesAndMissingFiles) {
  TempDir tmp;
  EXPECT_EQ(OpenDiskFile(tmp.path().c_str(), kModeReadShared), kInvalidFile);
  EXPECT_EQ(OpenDiskFile((tmp / "none").c_str(), kModeReadShared), kInvalidFile);
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

  WriteFileBytes(tmp / "main_0000001a.pb", "1");
  WriteFileBytes(tmp / "main_00000002.pb", "2");
  WriteFileBytes(tmp / "main_2.pb", "3");
  WriteFileBytes(tmp / "other_0000001a.pb", "4");
  EXPECT_EQ(DeleteMatchingFiles((tmp / "main_????????.pb").c_str()), 2);
  EXPECT_EQ(DiskFileExists((tmp / "main_2.pb").c_str()), 1);
  EXPECT_EQ(DiskFileExists((tmp / "other_0000001a.pb").c_str()), 1);
  EXPECT_EQ(DiskFileExists((tmp / "main_0000001a.pb").c_str()), 0);
}
