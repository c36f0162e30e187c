// Gathered appends through the file layer: the handle always sees its own
// writes, other readers see writes inside the file at once and appends at the
// latest after a flush, and write failures surface where they belong.
#include "frame/GatheredWrites.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/TempDir.h"
#include "frame/DiskFile.h"
#include "orvel/VrkErrors.h"

using namespace orvel;
using orvel_test::ReadFileBytes;
using orvel_test::TempDir;

namespace {

std::string Pattern(size_t size, unsigned seed) {
  std::string s(size, '\0');
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (char& c : s) c = static_cast<char>((x = x * 6364136223846793005ull + 1) >> 56);
  return s;
}

// What another reader of the file sees at [offset, offset + size).
std::string ReadElsewhere(const std::string& path, size_t offset, size_t size) {
  std::string got(size, '\0');
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return "";
  std::fseek(f, static_cast<long>(offset), SEEK_SET);
  got.resize(std::fread(&got[0], 1, size, f));
  std::fclose(f);
  return got;
}

// Writes `bytes` at `offset` into the model of the file, as the disk would.
void ModelWrite(std::string& model, const std::string& bytes, size_t offset) {
  if (model.size() < offset + bytes.size()) model.resize(offset + bytes.size(), '\0');
  model.replace(offset, bytes.size(), bytes);
}

// Lowers the process's file size limit for its lifetime; writes past it fail
// with an error instead of a signal.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    struct rlimit lower = old_;
    lower.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lower);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, SIG_DFL);
  }

 private:
  struct rlimit old_;
};

}  // namespace

// Random appends (small, across run boundaries, whole aligned runs), writes
// inside the file, sparse writes past its end, reads and size queries: the
// handle's view and, after each flush, the disk equal a plain model.
TEST(GatheredWrites, MatchAModelOfTheFileWhateverTheOrderOfWritesAndReads) {
  TempDir tmp;
  const std::string path = tmp / "f";
  FileHandle f = CreateDiskFile(path.c_str(), kAttrWriteThrough);
  ASSERT_NE(f, kInvalidFile);
  std::string model;
  std::mt19937 gen(7);
  for (int step = 0; step < 1000; ++step) {
    const unsigned kind = gen() % 100;
    size_t at = model.size(), size = gen() % 5000 + 1;
    if (kind < 60 && gen() % 16 == 0) size = gen() % (2 * kGatherRun) + kGatherRun / 2;
    const bool inside = kind >= 60 && kind < 72 && !model.empty();
    if (inside) at = gen() % model.size();
    if (kind >= 72 && kind < 76) at += gen() % 10000 + 1;  // past the end, leaving a hole
    if (kind < 76) {
      const std::string bytes = Pattern(size, step);
      ASSERT_EQ(WriteDiskFileAt(f, bytes.data(), size, at), size) << step;
      ModelWrite(model, bytes, at);
      // A write that starts inside the file is on disk at once.
      if (inside) {
        EXPECT_EQ(ReadElsewhere(path, at, size), bytes) << step;
      }
    } else if (kind < 97 && !model.empty()) {
      at = gen() % model.size();
      size = std::min<size_t>(size * 4, model.size() - at);
      std::string got(size, '\0');
      ASSERT_EQ(ReadDiskFileAt(f, &got[0], size, at), size) << step;
      ASSERT_EQ(got, model.substr(at, size)) << step;
      ASSERT_EQ(GetDiskFileSize(f), model.size()) << step;
    } else if (kind >= 97) {
      ASSERT_TRUE(FlushDiskFile(f));
      ASSERT_EQ(ReadElsewhere(path, 0, model.size() + 1), model) << step;
    }
  }
  EXPECT_EQ(SeekDiskFile(f, 0, 2), model.size());
  CloseDiskFile(f);
  EXPECT_EQ(ReadElsewhere(path, 0, model.size() + 1), model);
}

// A flush gives back the disk space reserved for the rest of a run; closing
// writes out what is pending; handles beyond the gathering slots and
// read-only handles write (or fail) at once.
TEST(GatheredWrites, ReleaseReservationsAndFallBackToPlainWrites) {
  TempDir tmp;
  const std::string small = tmp / "small";
  FileHandle f = CreateDiskFile(small.c_str(), kAttrNormal);
  ASSERT_EQ(WriteDiskFileAt(f, "0123456789", 10, 0), 10u);
  EXPECT_EQ(GetDiskFileSize(f), 10u);
  ASSERT_TRUE(FlushDiskFile(f));
  struct stat st;
  ASSERT_EQ(stat(small.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 10);
  EXPECT_LT(st.st_blocks * 512, 64 * 1024);
  ASSERT_EQ(WriteDiskFileAt(f, "abc", 3, 10), 3u);
  CloseDiskFile(f);
  EXPECT_EQ(ReadFileBytes(small), "0123456789abc");

  std::vector<FileHandle> many;
  for (int i = 0; i < 12; ++i) many.push_back(CreateDiskFile((tmp / std::to_string(i)).c_str(), 0));
  for (int round = 0; round < 20; ++round)
    for (int i = 0; i < 12; ++i)
      ASSERT_EQ(WriteDiskFileAt(many[i], Pattern(999, round).data(), 999, round * 999), 999u);
  std::string expected;
  for (int round = 0; round < 20; ++round) expected += Pattern(999, round);
  for (int i = 0; i < 12; ++i) {
    CloseDiskFile(many[i]);
    EXPECT_EQ(ReadFileBytes(tmp / std::to_string(i)), expected) << i;
  }

  FileHandle readOnly = OpenDiskFile(small.c_str(), kModeReadShared);
  EXPECT_EQ(WriteDiskFileAt(readOnly, "x", 1, 13), 0u);
  CloseDiskFile(readOnly);
}

// An append past the file size limit fails at once and changes nothing else;
// a deferred write that fails later fails that call, every later write and
// flush, and reads of what it lost, while reads elsewhere still work.
TEST(GatheredWrites, FailuresSurfaceAtOnceOrStickUntilClose) {
  TempDir tmp;
  const std::string path = tmp / "f";
  FileHandle f = CreateDiskFile(path.c_str(), kAttrWriteThrough);
  const std::string head = Pattern(1000, 1), more = Pattern(1000, 2);
  ASSERT_EQ(WriteDiskFileAt(f, head.data(), 1000, 0), 1000u);
  {
    FileSizeLimit limit(1500);
    EXPECT_LT(WriteDiskFileAt(f, more.data(), 1000, 1000), 1000u);  // short: a failure
  }
  ASSERT_EQ(WriteDiskFileAt(f, more.data(), 1000, 1000), 1000u);
  ASSERT_TRUE(FlushDiskFile(f));
  EXPECT_EQ(ReadFileBytes(path), head + more);

  ASSERT_EQ(WriteDiskFileAt(f, head.data(), 1000, 2000), 1000u);  // deferred
  {
    FileSizeLimit limit(2500);  // now the pending write cannot reach the disk
    EXPECT_FALSE(FlushDiskFile(f));
  }
  EXPECT_EQ(WriteDiskFileAt(f, more.data(), 1000, 3000), 0u);
  EXPECT_EQ(WriteDiskFileAt(f, "x", 1, 0), 0u);
  EXPECT_FALSE(FlushDiskFile(f));
  char buffer[1000];
  EXPECT_EQ(ReadDiskFileAt(f, buffer, 1000, 2000), 0u);
  EXPECT_EQ(ReadDiskFileAt(f, buffer, 1000, 1000), 1000u);
  CloseDiskFile(f);

  // A new handle on the same file starts afresh.
  f = OpenDiskFile(path.c_str(), 2);
  EXPECT_EQ(WriteDiskFileAt(f, head.data(), 1000, 2000), 1000u);
  EXPECT_TRUE(FlushDiskFile(f));
  CloseDiskFile(f);
  EXPECT_EQ(ReadFileBytes(path), head + more + head);
}

// A failed write leaves its errno for the thread that made it, so that a
// host can say why (a full disk) rather than only that a write failed.
TEST(GatheredWrites, FailedWritesKeepTheirSystemErrorForTheirThread) {
  TempDir tmp;
  const std::string path = tmp / "f";
  FileHandle f = CreateDiskFile(path.c_str(), kAttrWriteThrough);
  const std::string bytes = Pattern(1000, 3);
  {
    FileSizeLimit limit(500);
    EXPECT_LT(WriteDiskFileAt(f, bytes.data(), 1000, 0), 1000u);
  }
  CloseDiskFile(f);
  EXPECT_EQ(VrkLastSystemError(), EFBIG);
  int seenElsewhere = -1;
  std::thread([&seenElsewhere] { seenElsewhere = VrkLastSystemError(); }).join();
  EXPECT_EQ(seenElsewhere, 0);
}
