// Compaction: what it copies, in which order, and what a failure leaves.

#include <functional>

#include "BasicTestUtil.h"
#include "frame/Callbacks.h"

using namespace orvel_test;

namespace {

std::vector<std::pair<int, int>> g_calls;
bool g_tempSeen = false;
int OnCompact(IOrvelPacket* p, int total, int current) {
  g_calls.emplace_back(total, current);
  g_tempSeen |= orvel::DiskFileExists((std::string(p->GetPacketPath()) + "temp").c_str());
  return 0;
}

// f0, f2, f3 (f1 removed, odd ones compressed) and a file stored by hashes.
class BasicCompact : public ::testing::Test {
 protected:
  void SetUp() override {
    p = NewCreated(path, 8, 2);
    p->BeginUpdate();
    for (int i = 0; i < 4; ++i) ASSERT_EQ(Add(*p, Name(i), Text(500 + i, char(i)), i % 2), 0);
    ASSERT_EQ(p->AddCompressedFileByHash(byHash, 0, "raw-bytes", 9, 9, 0, 0), 0);
    ASSERT_EQ(p->EndUpdate(), 0);
    EXPECT_EQ(p->CompactPacket(), 0);  // no holes: nothing to do
    EXPECT_EQ(Access::Header(*p).flags, 2u);
    p->BeginUpdate();
    ASSERT_EQ(p->DeleteFile("f1"), 0);
    EXPECT_EQ(Access::Header(*p).flags, 3u);  // removal sets the holes flag
  }
  static std::string Name(int i) { return "f" + std::to_string(i); }
  void ExpectAllReadable(orvel::COrvelPacket& q) {
    for (int i : {0, 2, 3}) EXPECT_EQ(ReadAll(q, Name(i).c_str()), Text(500 + i, char(i))) << i;
    // Marked compressed, it reads back only as its stored bytes.
    const auto& b = Access::Blocks(q)[BlockOfHash(q, byHash[0])];
    EXPECT_EQ(ReadFileBytes(path).substr(b.offset, b.storedSize), "raw-bytes");
  }
  TempDir dir;
  std::string path = dir / "c.vrk";
  const unsigned byHash[3] = {0xABCDEF01u, 2, 3};
  Packet p;
};

TEST_F(BasicCompact, CopiesEveryFileOnceAndLeavesNoHoles) {
  // A file removed by hashes and added again by name stands twice in the list.
  unsigned h[3];
  p->GetFileHash("f2", &h[0], &h[1], &h[2]);
  ASSERT_EQ(p->DeleteFileByHash(h), 0);
  ASSERT_EQ(Add(*p, "f2", Text(502, 2), 1), 0);
  EXPECT_EQ(Access::ListText(*p), "(listfile)\nf0\nf2\nf3\nf2\n");
  ASSERT_EQ(p->EndUpdate(), 0);
  SetVrkCallback(VRKCB_COMPACT, OnCompact);
  ASSERT_EQ(p->CompactPacket(), 0);
  SetVrkCallback(VRKCB_COMPACT, nullptr);
  EXPECT_TRUE(g_tempSeen);
  EXPECT_FALSE(orvel::DiskFileExists((path + "temp").c_str()));
  // Progress counts the names of the list (f2 twice), not the file stored by hashes.
  EXPECT_EQ(g_calls, (std::vector<std::pair<int, int>>{{5, 1}, {5, 2}, {5, 3}, {5, 4}}));

  // No gaps: from 48 the files named in the list (in list order), the file
  // stored by hashes, the list file, then the tables.
  const auto& hd = Access::Header(*p);
  EXPECT_EQ(hd.flags, 2u);
  uint32_t at = 48;
  for (unsigned block : {unsigned(p->GetFileBlockIndex("f0")), unsigned(p->GetFileBlockIndex("f2")),
                         unsigned(p->GetFileBlockIndex("f3")), BlockOfHash(*p, byHash[0]),
                         unsigned(p->GetFileBlockIndex("(listfile)"))}) {
    EXPECT_EQ(Access::Blocks(*p)[block].offset, at) << block;
    at += Access::Blocks(*p)[block].storedSize;
  }
  const std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(hd.blockTableOffset, at);
  EXPECT_EQ(bytes.size(), at + 28u * hd.fileCount + 20u * hd.tableSize);
  EXPECT_EQ(Word(bytes, kFileSize), bytes.size());
  ExpectAllReadable(*p);
  ExpectAllReadable(*NewOpened(path));
}

// Decision: a failure after copying started (a stored file that cannot be
// read, -9; an archive that cannot be replaced, -5) leaves the archive file
// as it was, removes the temporary file and reloads the object from it.
TEST_F(BasicCompact, FailureLeavesTheArchiveUntouched) {
  ASSERT_EQ(p->EndUpdate(), 0);
  const std::string before = ReadFileBytes(path);
  Packet other;
  const std::pair<int, std::function<void()>> failures[] = {
      {VRKERR_DATA_IO, [&] { Access::Blocks(*p)[p->GetFileBlockIndex("f3")].offset = ~0u >> 1; }},
      {VRKERR_OPEN_FILE, [&] { other = NewOpened(path); }},  // held open elsewhere
  };
  for (const auto& failure : failures) {
    failure.second();
    EXPECT_EQ(p->CompactPacket(), failure.first);
    ASSERT_TRUE(Access::Loaded(*p));
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_FALSE(orvel::DiskFileExists((path + "temp").c_str()));
    EXPECT_FALSE(orvel::DiskFileExists((path + "old").c_str()));
    EXPECT_EQ(Access::Header(*p).flags, 3u);
    ExpectAllReadable(*p);
  }
  other.reset();
  EXPECT_EQ(p->CompactPacket(), 0);
  ExpectAllReadable(*p);
}

}  // namespace
