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

static int SetMtime(const std::string& path, time_t when) {
  const struct timeval times[2] = {{when, 0}, {when, 0}};
  return utimes(path.c_str(), times);
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
  ASSERT_EQ(SetMtime(f, mktime(&when)), 0);
  const unsigned dos = GetDiskFileTime(f.c_str());
  EXPECT_EQ(dos, ((44u << 9) | (3u << 5) | 15u) << 16 | (13u << 11) | (45u << 5) | 15u);
  // Wildcards in the last component match as a directory search does.
  EXPECT_EQ(GetDiskFileTime((tmp / "?").c_str()), dos);
  for (const std::string& bad : {tmp / "g*", tmp.path(), tmp / "missing"})
    EXPECT_TRUE(GetDiskFileTime(bad.c_str()) == kFileFailure && !DiskFileExists(bad.c_str()))
        << bad;

  // 1970 has no DOS time, but the file still exists; the write time is a
  // Windows file time.
  ASSERT_EQ(SetMtime(f, 86400), 0);
  EXPECT_TRUE(GetDiskFileTime(f.c_str()) == kFileFailure && DiskFileExists(f.c_str()) == 1);
  EXPECT_EQ(GetDiskFileWriteTime(f.c_str()), (11644473600ull + 86400ull) * 10000000ull);
  EXPECT_EQ(GetDiskFileWriteTime((tmp / "missing").c_str()), 0u);
}

TEST(DiskFileIo, ReadsWritesSeeksAndMeasures) {
  TempDir tmp;
  const std::string path = tmp / "f";
  FileHandle f = CreateDiskFile(path.c_str(), kAttrWriteThrough);
  ASSERT_NE(f, kInvalidFile);
  EXPECT_TRUE(WriteDiskFile(f, "hello world", 11) == 11 && FlushDiskFile(f));
  EXPECT_EQ(SeekDiskFile(f, 6, 0), 6u);
  EXPECT_EQ(GetDiskFileSize(f) * 100 + TellDiskFile(f), 1106u);  // measuring leaves the position
  char buf[16] = {};
  EXPECT_TRUE(ReadDiskFile(f, buf, 5) == 5 && std::string(buf) == "world");
  EXPECT_EQ(ReadDiskFile(f, buf, 5), 0u);  // at the end: nothing read
  EXPECT_EQ(SeekDiskFile(f, -1, 2), 10u);
  EXPECT_EQ(SeekDiskFile(f, -20, 1), kFileFailure);
  EXPECT_EQ(TellDiskFile(f), 10u);  // a failed seek does not move
  EXPECT_EQ(ReadDiskFileAt(f, buf, 5, 0) + WriteDiskFileAt(f, "J", 1, 0), 6u);
  EXPECT_EQ(std::string(buf, 5), "hello");
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
  // Neither other opens, nor creation, nor deletion may touch a file held open.
  EXPECT_TRUE(OpenDiskFile(p, kModeReadShared) == kInvalidFile &&
              OpenDiskFile(p, kModeReadWriteShared) == kInvalidFile &&
              CreateDiskFile(p, kAttrNormal) == kInvalidFile && !DeleteDiskFile(p));
  EXPECT_EQ(ReadFileBytes(path), "payload");
  CloseDiskFile(exclusive);

  // Two holders of one mode share with each other, but read-write access
  // needs the holders to share writing, and a reader that shares only
  // reading refuses the writers already there.
  for (unsigned held : {kModeReadShared, kModeReadWriteShared}) {
    const FileHandle h[2] = {OpenDiskFile(p, held), OpenDiskFile(p, held)};
    EXPECT_TRUE(h[0] != kInvalidFile && h[1] != kInvalidFile);
    EXPECT_EQ(OpenDiskFile(p, kModeReadShared ^ kModeReadWriteShared ^ held), kInvalidFile);
    CloseDiskFile(h[0]), CloseDiskFile(h[1]);
  }
  EXPECT_TRUE(DeleteDiskFile(p));
  // Directories and missing files never open.
  EXPECT_TRUE(OpenDiskFile(tmp.path().c_str(), kModeReadShared) == kInvalidFile &&
              OpenDiskFile(p, kModeReadShared) == kInvalidFile &&
              CreateDiskFile(tmp.path().c_str(), kAttrNormal) == kInvalidFile);
}

TEST(MoveAndDelete, MoveNeverReplacesAndPatternsDeleteOnlyMatches) {
  TempDir tmp;
  WriteFileBytes(tmp / "a", "A");
  WriteFileBytes(tmp / "b", "B");
  EXPECT_FALSE(MoveDiskFile((tmp / "a").c_str(), (tmp / "b").c_str()));
  EXPECT_TRUE(MoveDiskFile((tmp / "a").c_str(), (tmp / "c").c_str()));
  EXPECT_EQ(ReadFileBytes(tmp / "b") + ReadFileBytes(tmp / "c"), "BA");

  // Replacing goes through an aside copy and never overwrites a file that
  // carries the aside name; a held target is refused with nothing changed.
  EXPECT_TRUE(ReplaceDiskFile((tmp / "b").c_str(), (tmp / "c").c_str()));
  EXPECT_EQ(ReadFileBytes(tmp / "b"), "A");
  EXPECT_EQ(DiskFileExists((tmp / "bold").c_str()) + DiskFileExists((tmp / "c").c_str()), 0);
  WriteFileBytes(tmp / "c", "C");
  WriteFileBytes(tmp / "bold", "keep");
  EXPECT_FALSE(ReplaceDiskFile((tmp / "b").c_str(), (tmp / "c").c_str()));
  EXPECT_EQ(ReadFileBytes(tmp / "bold") + ReadFileBytes(tmp / "b"), "keepA");
  DeleteDiskFile((tmp / "bold").c_str());
  FileHandle held = OpenDiskFile((tmp / "b").c_str(), kModeReadShared);
  EXPECT_FALSE(ReplaceDiskFile((tmp / "b").c_str(), (tmp / "c").c_str()));
  CloseDiskFile(held);
  EXPECT_EQ(ReadFileBytes(tmp / "b") + ReadFileBytes(tmp / "c"), "AC");

  for (const char* name : {"main_0000001a.pb", "main_00000002.pb", "main_2.pb", "other_0000001a.pb"})
    WriteFileBytes(tmp / name, "x");
  EXPECT_EQ(DeleteMatchingFiles((tmp / "main_????????.pb").c_str()), 2);
  for (const char* name : {"main_0000001a.pb", "main_2.pb", "other_0000001a.pb"})
    EXPECT_EQ(DiskFileExists((tmp / name).c_str()), name[5] != '0') << name;
}
