// Compaction: what it copies, in which order, and what a failure leaves.
#include <gtest/gtest.h>

#include <vector>

#include "BasicTestUtil.h"
#include "frame/Callbacks.h"

using namespace orvel_test;

namespace {

std::vector<std::pair<int, int>> g_compactCalls;
std::string g_tempPath;
bool g_tempSeen = false;
int OnCompact(IOrvelPacket*, int total, int current) {
  g_compactCalls.emplace_back(total, current);
  g_tempSeen = g_tempSeen || orvel::DiskFileExists(g_tempPath.c_str());
  return 0;
}

class BasicCompact : public ::testing::Test {
 protected:
  void SetUp() override {
    p = NewCreated(path, 8, 2);
    p->BeginUpdate();
    for (int i = 0; i < 4; ++i) {
      const std::string name = "f" + std::to_string(i);
      ASSERT_EQ(
          p->AddFileFromMemory(name.c_str(), i % 2, Text(500 + i, char(i)).data(), 500 + i, 0, 0),
          0);
    }
    ASSERT_EQ(p->AddCompressedFileByHash(byHash, 0, "raw-bytes", 9, 9, 0, 0), 0);
    ASSERT_EQ(p->EndUpdate(), 0);
  }
  void ExpectAllReadable(orvel::COrvelPacket& q, bool withF1 = true) {
    for (int i = 0; i < 4; ++i) {
      if (i == 1 && !withF1) continue;
      const std::string name = "f" + std::to_string(i);
      EXPECT_EQ(ReadAll(q, name.c_str()), Text(500 + i, char(i))) << name;
    }
    EXPECT_EQ(q.GetStoredSize(nullptr, HashBlock(q)), 9u);
  }
  unsigned HashBlock(orvel::COrvelPacket& q) {
    for (unsigned i = 0; i < Access::TableSize(q); ++i)
      if (Access::Hashes(q)[i].hash0 == byHash[0]) return Access::Hashes(q)[i].blockIndex;
    return 0xFFFFFFFF;
  }
  TempDir dir;
  std::string path = dir / "c.vrk";
  const unsigned byHash[3] = {0xABCDEF01u, 2, 3};
  Packet p;
};

TEST_F(BasicCompact, NothingToDoWithoutHoles) {
  const std::string before = ReadFileBytes(path);
  EXPECT_EQ(Access::Header(*p).flags, 2u);
  EXPECT_EQ(p->CompactPacket(), 0);
  EXPECT_EQ(ReadFileBytes(path), before);
}

TEST_F(BasicCompact, CopiesEveryFileOnceAndLeavesNoHoles) {
  p->BeginUpdate();
  ASSERT_EQ(p->DeleteFile("f1"), 0);
  EXPECT_EQ(Access::Header(*p).flags, 3u);  // removal sets the holes flag
  // A file removed by hashes and added again by name stands twice in the list.
  unsigned h[3];
  p->GetFileHash("f2", &h[0], &h[1], &h[2]);
  ASSERT_EQ(p->DeleteFileByHash(h), 0);
  ASSERT_EQ(p->AddFileFromMemory("f2", 1, Text(502, 2).data(), 502, 0, 0), 0);
  EXPECT_EQ(Access::ListText(*p), "(listfile)\nf0\nf2\nf3\nf2\n");
  ASSERT_EQ(p->EndUpdate(), 0);

  g_compactCalls.clear();
  g_tempPath = path + "temp";
  g_tempSeen = false;
  SetVrkCallback(VRKCB_COMPACT, OnCompact);
  ASSERT_EQ(p->CompactPacket(), 0);
  SetVrkCallback(VRKCB_COMPACT, nullptr);
  EXPECT_TRUE(g_tempSeen);
  EXPECT_FALSE(orvel::DiskFileExists(g_tempPath.c_str()));
  // Names in list order (f2 twice), then the file stored by hashes.
  EXPECT_EQ(g_compactCalls,
            (std::vector<std::pair<int, int>>{{5, 1}, {5, 2}, {5, 3}, {5, 4}, {5, 5}}));

  const auto& hd = Access::Header(*p);
  EXPECT_EQ(hd.flags, 2u);
  ExpectAllReadable(*p, false);
  // No gaps: the files from 48 in copy order, then the list file and tables.
  uint32_t expectOffset = 48;
  for (const char* name : {"f0", "f2", "f3"}) {
    const auto& b = Access::Blocks(*p)[p->GetFileBlockIndex(name)];
    EXPECT_EQ(b.offset, expectOffset) << name;
    expectOffset += b.storedSize;
  }
  EXPECT_EQ(Access::Blocks(*p)[HashBlock(*p)].offset, expectOffset);
  expectOffset += 9;
  const auto& list = Access::Blocks(*p)[p->GetFileBlockIndex("(listfile)")];
  EXPECT_EQ(list.offset, expectOffset);
  EXPECT_EQ(hd.blockTableOffset, expectOffset + list.storedSize);
  const std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.size(), hd.blockTableOffset + 28u * hd.fileCount + 20u * hd.tableSize);
  EXPECT_EQ(Word(bytes, kFileSize), bytes.size());
  Packet q = NewOpened(path);
  ExpectAllReadable(*q, false);
}

// Decision: a failure after copying started leaves the archive file as it
// was, removes the temporary file and reloads the object from the archive.
TEST_F(BasicCompact, UnreadableFileFailsAndLeavesTheArchiveUntouched) {
  p->BeginUpdate();
  ASSERT_EQ(p->DeleteFile("f1"), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  const std::string before = ReadFileBytes(path);
  Access::Blocks(*p)[p->GetFileBlockIndex("f3")].offset = 0x7FFFFFF0u;  // beyond the file
  EXPECT_EQ(p->CompactPacket(), VRKERR_DATA_IO);
  EXPECT_EQ(ReadFileBytes(path), before);
  EXPECT_FALSE(orvel::DiskFileExists((path + "temp").c_str()));
  ExpectAllReadable(*p, false);
  EXPECT_EQ(Access::Header(*p).flags, 3u);
}

TEST_F(BasicCompact, ArchiveHeldElsewhereIsNotReplaced) {
  p->BeginUpdate();
  ASSERT_EQ(p->DeleteFile("f1"), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  const std::string before = ReadFileBytes(path);
  Packet other = NewOpened(path);
  EXPECT_EQ(p->CompactPacket(), VRKERR_OPEN_FILE);
  EXPECT_EQ(ReadFileBytes(path), before);
  EXPECT_FALSE(orvel::DiskFileExists((path + "temp").c_str()));
  EXPECT_FALSE(orvel::DiskFileExists((path + "old").c_str()));
  ExpectAllReadable(*p, false);
  other.reset();
  EXPECT_EQ(p->CompactPacket(), 0);
  ExpectAllReadable(*p, false);
}

TEST_F(BasicCompact, NeedsALoadedArchive) {
  orvel::COrvelPacket empty;
  EXPECT_EQ(empty.CompactPacket(), VRKERR_NO_HEADER);
}

}  // namespace
