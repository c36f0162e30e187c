// The update bracket, adding and replacing files, and the refusals of names
// and offsets that the archive cannot hold.


#include "BasicTestUtil.h"
#include "frame/Callbacks.h"

using namespace orvel_test;
using orvel::basic::BlockEntry;
using orvel::basic::HashEntry;

namespace {

int g_blockTableWrites = 0;
int OnBlockTable(IOrvelPacket*, int, int) { return ++g_blockTableWrites; }

class BasicUpdate : public ::testing::Test {
 protected:
  void SetUp() override { p = NewCreated(path, 8, 0, 0, 5); }
  TempDir dir;
  std::string path = dir / "u.vrk";
  Packet p;
};

TEST_F(BasicUpdate, NestedBracketsWriteOnceAtTheOutermostEnd) {
  EXPECT_EQ(Add(*p, "a", "x"), VRKERR_NOT_UPDATING);
  g_blockTableWrites = 0;
  SetVrkCallback(VRKCB_WRITE_BLOCK_TABLE, OnBlockTable);
  p->BeginUpdate();
  p->BeginUpdate();
  ASSERT_EQ(Add(*p, "a", "hello hello hello", 1), 0);
  const std::string midway = ReadFileBytes(path);
  EXPECT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(g_blockTableWrites, 0);
  EXPECT_EQ(ReadFileBytes(path), midway);
  EXPECT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(g_blockTableWrites, 1);
  SetVrkCallback(VRKCB_WRITE_BLOCK_TABLE, nullptr);
  EXPECT_EQ(p->EndUpdate(), VRKERR_NOT_UPDATING);
  p->SetPacketVersion(7, 8);  // written at once, outside any bracket
  Packet q = NewOpened(path);
  EXPECT_EQ(ReadAll(*q, "A"), "hello hello hello");
  Words version(3);
  q->GetPacketVersion(&version[0], &version[1], &version[2]);
  EXPECT_EQ(version, (Words{7, 8, 0}));
}

// A stamp not above the stored one is declined unless flag 2 forces the
// replacement; a zero stamp takes the archive's version (0, 5). A replaced
// file moves to new bytes and leaves a hole (header flag 1).
TEST_F(BasicUpdate, ReplacementFollowsTheStamp) {
  const struct {
    const char *name, *data, *expect;  // added, and what then reads back
    unsigned flags, high, low;
    Words versionAndHoles;  // of what reads back; header flags
  } steps[] = {
      {"f", "old", "old", 0, 0, 7, {0, 7, 0}},         {"F", "newer", "old", 1, 0, 7, {0, 7, 0}},
      {"f", "newer", "newer", 0, 1, 0, {1, 0, 1}},     {"f", "lower", "newer", 0, 0, 9, {1, 0, 1}},
      {"f", "forced", "forced", 2, 0, 0, {0, 5, 1}},
  };
  uint32_t offset = 0;
  p->BeginUpdate();
  for (const auto& s : steps) {
    EXPECT_EQ(Add(*p, s.name, s.data, s.flags, s.high, s.low), 0) << s.data;
    EXPECT_EQ(ReadAll(*p, "f"), s.expect);
    Words got(3);
    p->GetFileVersion("f", &got[0], &got[1]);
    got[2] = Access::Header(*p).flags;
    EXPECT_EQ(got, s.versionAndHoles) << s.data;
    EXPECT_EQ((Words{p->GetFileFlags("f"), p->GetFileCount()}), (Words{0, 2})) << s.data;
    const uint32_t now = Access::Blocks(*p)[p->GetFileBlockIndex("f")].offset;
    EXPECT_EQ(now > offset, std::string(s.expect) == s.data) << s.data;
    offset = now;
  }
  EXPECT_EQ(Access::ListText(*p), "(listfile)\nf\n");
  ASSERT_EQ(p->EndUpdate(), 0);
}

TEST_F(BasicUpdate, AddsFromDiskAndByHashes) {
  const std::string src = dir / "src.txt", data = Text(5000, 3);
  WriteFileBytes(src, data);
  const unsigned hash[3] = {0x1234, 0x5678, 0x9ABC};
  p->BeginUpdate();
  EXPECT_EQ(p->AddFileFromDisk("plain", 0, src.c_str(), 0, 0), 0);
  EXPECT_EQ(p->AddFileFromDisk("packed", 1, src.c_str(), 0, 0), 0);
  // The stored stream of "packed" again, by hashes alone: no list line.
  std::string stream(p->GetFileStoredSize("packed"), '\0');
  const unsigned stored = unsigned(stream.size());
  ASSERT_LT(stored, 5000u);
  ASSERT_EQ(p->ReadFileRaw("packed", &stream[0], stored), int(stored));
  ASSERT_EQ(p->AddCompressedFileByHash(hash, 0, stream.data(), stored, 5000, 0, 3), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet q = NewOpened(path);
  EXPECT_EQ(Access::ListText(*q), "(listfile)\nplain\npacked\n");
  EXPECT_EQ((Words{q->GetFileCount(), q->GetFileStoredSize("plain")}), (Words{4, 5000}));
  for (const char* name : {"plain", "packed"}) EXPECT_EQ(ReadAll(*q, name), data);
  EXPECT_EQ(ReadAll(*q, nullptr, BlockOfHash(*q, hash[0])), data);
}

// Decisions: data past offset 0xFFFFFFFF is refused with -9 and writes
// nothing; a failed add takes its hash entry out again.
TEST_F(BasicUpdate, FailedAddLeavesTheTablesAsTheyWere) {
  p->BeginUpdate();
  ASSERT_EQ(Add(*p, "keep", "k"), 0);
  BlockEntry& list = Access::Blocks(*p)[p->GetFileBlockIndex("(listfile)")];
  const uint32_t realOffset = list.offset;
  list.offset = 0xFFFFFF00u;  // new data would go where the list file is
  const uint32_t size = Access::Header(*p).tableSize;
  const std::vector<HashEntry> hashes(Access::Hashes(*p), Access::Hashes(*p) + size);
  const std::vector<BlockEntry> blocks(Access::Blocks(*p), Access::Blocks(*p) + size);
  const auto header = Access::Header(*p);
  const std::string before = ReadFileBytes(path), data(0x100, 'd');
  // New names, a forced replacement, and data that would end at 0xFFFFFFFF.
  for (const char* name : {"n1", "n2", "n3", "keep", "edge"}) {
    const size_t n = name[0] == 'e' ? 0xFF : 0x100;
    EXPECT_EQ(Add(*p, name, data.substr(0, n), 2), VRKERR_DATA_IO) << name;
    EXPECT_EQ(std::memcmp(Access::Hashes(*p), hashes.data(), size * sizeof(HashEntry)), 0) << name;
    EXPECT_EQ(std::memcmp(Access::Blocks(*p), blocks.data(), size * sizeof(BlockEntry)), 0);
    EXPECT_EQ(std::memcmp(&Access::Header(*p), &header, sizeof header), 0);
  }
  EXPECT_EQ(ReadAll(*p, "keep"), "k");
  EXPECT_EQ(ReadFileBytes(path), before);
  list.offset = realOffset;
  EXPECT_EQ(Add(*p, "n1", "1"), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet q = NewOpened(path);
  EXPECT_EQ(ReadAll(*q, "n1"), "1");
  EXPECT_EQ(Access::ListText(*q), "(listfile)\nkeep\nn1\n");
}

}  // namespace
