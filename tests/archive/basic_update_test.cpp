// The update bracket, adding and replacing files, and the refusals of names
// and offsets that the archive cannot hold.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

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
  const unsigned hash[3] = {1, 2, 3};
  EXPECT_EQ(Add(*p, "a", "x"), VRKERR_NOT_UPDATING);
  EXPECT_EQ(p->AddCompressedFileByHash(hash, 0, "x", 1, 1, 0, 0), VRKERR_NOT_UPDATING);
  EXPECT_EQ(p->DeleteFileByHash(hash), VRKERR_NOT_UPDATING);
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
  Packet q = NewOpened(path);
  EXPECT_EQ(ReadAll(*q, "A"), "hello hello hello");
  EXPECT_EQ(q->GetFileFlags("a"), 1u);
}

// A stamp not above the stored one is declined unless flag 2 forces the
// replacement; a zero stamp takes the archive's version (0, 5). A replaced
// file moves to new bytes and leaves a hole.
TEST_F(BasicUpdate, ReplacementFollowsTheStamp) {
  struct Step {
    const char* name;
    unsigned flags;
    const char* data;
    unsigned high, low;
    const char* expect;
    Words version;
    uint32_t holes;  // header flags
  };
  const Step steps[] = {
      {"f", 0, "old", 0, 7, "old", {0, 7}, 0},       {"F", 1, "newer", 0, 7, "old", {0, 7}, 0},
      {"f", 0, "newer", 1, 0, "newer", {1, 0}, 1},   {"f", 0, "lower", 0, 9, "newer", {1, 0}, 1},
      {"f", 2, "forced", 0, 0, "forced", {0, 5}, 1},
  };
  uint32_t offset = 0;
  p->BeginUpdate();
  for (const Step& s : steps) {
    EXPECT_EQ(Add(*p, s.name, s.data, s.flags, s.high, s.low), 0) << s.data;
    EXPECT_EQ(ReadAll(*p, "f"), s.expect);
    Words version(2);
    p->GetFileVersion("f", &version[0], &version[1]);
    EXPECT_EQ(version, s.version) << s.data;
    EXPECT_EQ(p->GetFileFlags("f"), 0u) << s.data;
    EXPECT_EQ(p->GetFileCount(), 2u);
    const uint32_t now = Access::Blocks(*p)[p->GetFileBlockIndex("f")].offset;
    if (std::string(s.expect) == s.data) {
      EXPECT_GT(now, offset) << s.data;
    } else {
      EXPECT_EQ(now, offset) << s.data;
    }
    EXPECT_EQ(Access::Header(*p).flags, s.holes) << s.data;
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
  EXPECT_EQ(p->AddFileFromDisk("missing", 0, (dir / "none").c_str(), 0, 0), VRKERR_NO_SOURCE);
  // The stored stream of "packed" again, by hashes alone: no list line.
  std::string stream(p->GetFileStoredSize("packed"), '\0');
  ASSERT_LT(stream.size(), 5000u);
  ASSERT_EQ(p->ReadFileRaw("packed", &stream[0], unsigned(stream.size())), int(stream.size()));
  ASSERT_EQ(p->AddCompressedFileByHash(hash, 0, stream.data(), unsigned(stream.size()), 5000, 0, 3),
            0);
  EXPECT_EQ(p->AddCompressedFileByHash(hash, 0, "junk", 4, 4, 0, 3), 0);  // declined by stamp
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet q = NewOpened(path);
  EXPECT_EQ(Access::ListText(*q), "(listfile)\nplain\npacked\n");
  EXPECT_EQ(q->GetFileCount(), 4u);
  EXPECT_EQ(ReadAll(*q, "plain"), data);
  EXPECT_EQ(ReadAll(*q, "packed"), data);
  EXPECT_EQ(q->GetFileStoredSize("plain"), 5000u);
  EXPECT_EQ(ReadAll(*q, nullptr, BlockOfHash(*q, hash[0])), data);
  // Without a compressor a file asked to be compressed is stored plain.
  Access::DropCompressor(*q);
  q->BeginUpdate();
  ASSERT_EQ(Add(*q, "a", "abcabcabc", 1), 0);
  EXPECT_EQ(q->GetFileFlags("a"), 0u);
  EXPECT_EQ(ReadAll(*q, "a"), "abcabcabc");
}

// Decision: names of 256 bytes or more are refused everywhere with -11.
TEST_F(BasicUpdate, OverlongNamesAreRefused) {
  const std::string ok(255, 'n'), longName(256, 'n');
  const char* n = longName.c_str();
  p->BeginUpdate();
  ASSERT_EQ(Add(*p, ok, "x"), 0);
  EXPECT_EQ(ReadAll(*p, ok.c_str()), "x");
  EXPECT_EQ(Add(*p, longName, "x"), VRKERR_NULL_NAME);
  EXPECT_EQ(p->AddFileFromDisk(n, 0, path.c_str(), 0, 0), VRKERR_NULL_NAME);
  EXPECT_EQ(p->AddCompressedFile(n, 0, "x", 1, 1, 0, 0), VRKERR_NULL_NAME);
  EXPECT_EQ(p->DeleteFile(n), VRKERR_NULL_NAME);
  char buf[8];
  const std::function<unsigned()> lookups[] = {
      [&] { return unsigned(p->ReadFileTo(n, buf, 8, 0xFFFFFFFF)); },
      [&] { return unsigned(p->ReadFileAlloc(n, nullptr, 1) != nullptr); },
      [&] { return p->GetFileStoredSize(n); },
      [&] { return p->GetFileOriginalSize(n); },
      [&] { return p->GetFileFlags(n); },
      [&] { return unsigned(p->GetFileBlockIndex(n) + 1); },
  };
  for (const auto& lookup : lookups) {
    g_nVrkErrCode = 0;
    EXPECT_EQ(lookup(), 0u);
    EXPECT_EQ(g_nVrkErrCode, VRKERR_NULL_NAME);
  }
  EXPECT_EQ(p->GetFileCount(), 2u);
}

// Decision: "(listfile)" belongs to the archive; by name -11, by hash -18.
TEST_F(BasicUpdate, TheListFileCannotBeReplacedOrRemoved) {
  unsigned hash[3];
  p->GetFileHash("(listfile)", &hash[0], &hash[1], &hash[2]);
  const std::string before = ReadFileBytes(path);
  p->BeginUpdate();
  EXPECT_EQ(p->DeleteFile("(ListFile)"), VRKERR_NULL_NAME);
  EXPECT_EQ(Add(*p, "(LISTFILE)", "x", 2, 9, 9), VRKERR_NULL_NAME);
  EXPECT_EQ(p->AddCompressedFile("(listfile)", 2, "x", 1, 1, 9, 9), VRKERR_NULL_NAME);
  EXPECT_EQ(p->AddFileFromDisk("(listfile)", 2, path.c_str(), 9, 9), VRKERR_NULL_NAME);
  EXPECT_EQ(p->DeleteFileByHash(hash), VRKERR_NULL_HASH);
  EXPECT_EQ(p->AddCompressedFileByHash(hash, 2, "x", 1, 1, 9, 9), VRKERR_NULL_HASH);
  EXPECT_EQ(p->GetFileCount(), 1u);
  EXPECT_EQ(ReadFileBytes(path), before);
  EXPECT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(ReadAll(*p, "(listfile)"), std::string("(listfile)\n\0", 12));
}

// Decisions: data past offset 0xFFFFFFFF is refused with -9 and writes
// nothing; a failed add takes its hash entry out again.
TEST_F(BasicUpdate, FailedAddLeavesTheTablesAsTheyWere) {
  p->BeginUpdate();
  ASSERT_EQ(Add(*p, "keep", "k"), 0);
  BlockEntry& list = Access::Blocks(*p)[p->GetFileBlockIndex("(listfile)")];
  const uint32_t realOffset = list.offset;
  list.offset = 0xFFFFFF00u;  // new data would go behind the list file
  const uint32_t size = Access::TableSize(*p);
  const std::vector<HashEntry> hashes(Access::Hashes(*p), Access::Hashes(*p) + size);
  const std::vector<BlockEntry> blocks(Access::Blocks(*p), Access::Blocks(*p) + size);
  const auto header = Access::Header(*p);
  const std::string before = ReadFileBytes(path), data(0x100, 'd');
  // New names, a forced replacement, and data that would end at 0xFFFFFFFF.
  for (const char* name : {"n1", "n2", "n3", "keep", "edge"}) {
    const std::string bytes = data.substr(0, name[0] == 'e' ? 0xFF : 0x100);
    EXPECT_EQ(Add(*p, name, bytes, 2), VRKERR_DATA_IO) << name;
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

// SetFileVersion changes memory only; SetPacketVersion writes the header.
TEST_F(BasicUpdate, VersionSetters) {
  p->BeginUpdate();
  ASSERT_EQ(Add(*p, "v", "v"), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  p->SetFileVersion("v", 3, 4);
  p->SetPacketVersion(7, 8);
  EXPECT_EQ(g_nVrkErrCode, 0);
  Words file(2), packet(3);
  p->GetFileVersion("v", &file[0], &file[1]);
  EXPECT_EQ(file, (Words{3, 4}));
  Packet q = NewOpened(path);
  q->GetFileVersion("v", &file[0], &file[1]);
  EXPECT_EQ(file, (Words{0, 5}));
  q->GetPacketVersion(&packet[0], &packet[1], &packet[2]);
  EXPECT_EQ(packet, (Words{7, 8, 0}));
}

}  // namespace
