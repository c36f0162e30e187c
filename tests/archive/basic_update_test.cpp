// The update bracket, adding and replacing files, and the refusals of names,
// table sizes and offsets that the archive cannot hold.
#include <gtest/gtest.h>

#include <vector>

#include "BasicTestUtil.h"
#include "codec/NameHash.h"
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
  g_blockTableWrites = 0;
  SetVrkCallback(VRKCB_WRITE_BLOCK_TABLE, OnBlockTable);
  p->BeginUpdate();
  p->BeginUpdate();
  ASSERT_EQ(p->AddFileFromMemory("a", 1, "hello hello hello", 17, 0, 0), 0);
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

TEST_F(BasicUpdate, ChangesOutsideABracketAreRefused) {
  const unsigned hash[3] = {1, 2, 3};
  EXPECT_EQ(p->AddFileFromMemory("a", 0, "x", 1, 0, 0), VRKERR_NOT_UPDATING);
  EXPECT_EQ(p->AddFileFromDisk("a", 0, path.c_str(), 0, 0), VRKERR_NOT_UPDATING);
  EXPECT_EQ(p->AddCompressedFile("a", 0, "x", 1, 1, 0, 0), VRKERR_NOT_UPDATING);
  EXPECT_EQ(p->AddCompressedFileByHash(hash, 0, "x", 1, 1, 0, 0), VRKERR_NOT_UPDATING);
  EXPECT_EQ(p->DeleteFile("a"), VRKERR_NOT_UPDATING);
  EXPECT_EQ(p->DeleteFileByHash(hash), VRKERR_NOT_UPDATING);
  EXPECT_EQ(p->GetFileCount(), 1u);
}

TEST_F(BasicUpdate, ReplacementFollowsTheStamp) {
  p->BeginUpdate();
  ASSERT_EQ(p->AddFileFromMemory("f", 0, "old", 3, 0, 7), 0);
  const uint32_t oldOffset = Access::Blocks(*p)[p->GetFileBlockIndex("f")].offset;
  const std::string list = Access::ListText(*p);
  // Same stamp, no force: declined, nothing changes.
  EXPECT_EQ(p->AddFileFromMemory("F", 1, "newer", 5, 0, 7), 0);
  EXPECT_EQ(ReadAll(*p, "f"), "old");
  EXPECT_EQ(p->GetFileFlags("f"), 0u);
  EXPECT_EQ(Access::ListText(*p), list);
  EXPECT_EQ(Access::Header(*p).flags & 1u, 0u);
  // A higher half beats any lower half; the old bytes stay as a hole.
  EXPECT_EQ(p->AddFileFromMemory("f", 0, "newer", 5, 1, 0), 0);
  EXPECT_EQ(ReadAll(*p, "f"), "newer");
  EXPECT_EQ(p->GetFileCount(), 2u);
  EXPECT_GT(Access::Blocks(*p)[p->GetFileBlockIndex("f")].offset, oldOffset);
  EXPECT_EQ(Access::Header(*p).flags & 1u, 1u);
  unsigned high = 0, low = 0;
  p->GetFileVersion("f", &high, &low);
  EXPECT_EQ(high, 1u);
  EXPECT_EQ(low, 0u);
  // Lower stamp declined; flag 2 forces; a zero stamp takes the archive's.
  EXPECT_EQ(p->AddFileFromMemory("f", 0, "lower", 5, 0, 9), 0);
  EXPECT_EQ(ReadAll(*p, "f"), "newer");
  EXPECT_EQ(p->AddFileFromMemory("f", 2, "forced", 6, 0, 0), 0);
  EXPECT_EQ(ReadAll(*p, "f"), "forced");
  p->GetFileVersion("f", &high, &low);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(low, 5u);
  EXPECT_EQ(Access::ListText(*p), "(listfile)\nf\n");
  ASSERT_EQ(p->EndUpdate(), 0);
}

TEST_F(BasicUpdate, AddsFromDiskCompressedAndPlain) {
  const std::string src = dir / "src.txt";
  WriteFileBytes(src, Text(5000, 3));
  p->BeginUpdate();
  EXPECT_EQ(p->AddFileFromDisk("plain", 0, src.c_str(), 0, 0), 0);
  EXPECT_EQ(p->AddFileFromDisk("packed", 1, src.c_str(), 0, 0), 0);
  EXPECT_EQ(p->AddFileFromDisk("missing", 0, (dir / "none").c_str(), 0, 0), VRKERR_NO_SOURCE);
  EXPECT_EQ(p->AddFileFromDisk("x", 0, nullptr, 0, 0), VRKERR_NULL_PATH);
  EXPECT_EQ(p->AddFileFromDisk(nullptr, 0, src.c_str(), 0, 0), VRKERR_NULL_NAME);
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet q = NewOpened(path);
  EXPECT_EQ(ReadAll(*q, "plain"), Text(5000, 3));
  EXPECT_EQ(ReadAll(*q, "packed"), Text(5000, 3));
  EXPECT_EQ(q->IsFileCompressed("packed"), 1);
  EXPECT_LT(q->GetFileStoredSize("packed"), 5000u);
  EXPECT_EQ(q->GetFileStoredSize("plain"), 5000u);
}

TEST_F(BasicUpdate, CompressionWithoutACompressorStoresPlain) {
  Access::DropCompressor(*p);
  p->BeginUpdate();
  ASSERT_EQ(p->AddFileFromMemory("a", 1, "abcabcabc", 9, 0, 0), 0);
  EXPECT_EQ(p->GetFileFlags("a"), 0u);
  EXPECT_EQ(ReadAll(*p, "a"), "abcabcabc");
}

TEST_F(BasicUpdate, PrecompressedByHashHasNoListLine) {
  const unsigned hash[3] = {0x1234, 0x5678, 0x9ABC};
  p->BeginUpdate();
  ASSERT_EQ(p->AddFileFromMemory("tmp", 1, "zzzzzzzzzzzzzzzzzzzz", 20, 0, 0), 0);
  std::string stream(p->GetFileStoredSize("tmp"), '\0');
  ASSERT_EQ(p->ReadFileRaw("tmp", &stream[0], static_cast<unsigned>(stream.size())),
            static_cast<int>(stream.size()));
  ASSERT_EQ(p->AddCompressedFileByHash(hash, 0, stream.data(), static_cast<unsigned>(stream.size()),
                                       20, 0, 3),
            0);
  EXPECT_EQ(Access::ListText(*p), "(listfile)\ntmp\n");
  const uint32_t index = Access::Hashes(*p)[0x1234 & 7].blockIndex;
  EXPECT_EQ(ReadAll(*p, nullptr, index), std::string(20, 'z'));
  // Replacement by hashes follows the stamp too.
  EXPECT_EQ(p->AddCompressedFileByHash(hash, 0, "junk", 4, 4, 0, 3), 0);
  EXPECT_EQ(p->GetFileCount(), 3u);
  EXPECT_EQ(p->AddCompressedFileByHash(nullptr, 0, "j", 1, 1, 0, 0), VRKERR_NULL_HASH);
  EXPECT_EQ(p->AddCompressedFileByHash(hash, 0, nullptr, 1, 1, 0, 0), VRKERR_NULL_BUFFER);
  ASSERT_EQ(p->EndUpdate(), 0);
}

// Decision: names of 256 bytes or more are refused everywhere with -11.
TEST_F(BasicUpdate, OverlongNamesAreRefused) {
  const std::string ok(255, 'n');
  const std::string longName(256, 'n');
  const char* n = longName.c_str();
  p->BeginUpdate();
  ASSERT_EQ(p->AddFileFromMemory(ok.c_str(), 0, "x", 1, 0, 0), 0);
  EXPECT_EQ(ReadAll(*p, ok.c_str()), "x");
  char buf[8];
  unsigned size = 0;
  g_nVrkErrCode = 0;
  EXPECT_EQ(p->AddFileFromMemory(n, 0, "x", 1, 0, 0), VRKERR_NULL_NAME);
  EXPECT_EQ(p->AddFileFromDisk(n, 0, path.c_str(), 0, 0), VRKERR_NULL_NAME);
  EXPECT_EQ(p->AddCompressedFile(n, 0, "x", 1, 1, 0, 0), VRKERR_NULL_NAME);
  EXPECT_EQ(p->DeleteFile(n), VRKERR_NULL_NAME);
  EXPECT_EQ(p->ReadFileTo(n, buf, 8, 0xFFFFFFFF), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NULL_NAME);
  g_nVrkErrCode = 0;
  EXPECT_EQ(p->ReadFileAlloc(n, &size, 1), nullptr);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NULL_NAME);
  for (auto query :
       {&orvel::COrvelPacket::GetFileStoredSize, &orvel::COrvelPacket::GetFileOriginalSize,
        &orvel::COrvelPacket::GetFileFlags}) {
    g_nVrkErrCode = 0;
    EXPECT_EQ(((*p).*query)(n), 0u);
    EXPECT_EQ(g_nVrkErrCode, VRKERR_NULL_NAME);
  }
  g_nVrkErrCode = 0;
  EXPECT_EQ(p->GetFileBlockIndex(n), -1);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NULL_NAME);
  EXPECT_EQ(p->GetFileCount(), 2u);
}

// Decision: table sizes below 2 become 2; above 2^26 fail with -24 before
// any file is created.
TEST_F(BasicUpdate, TableSizeLimits) {
  orvel::COrvelPacket q;
  const std::string big = dir / "big.vrk";
  EXPECT_EQ(q.CreatePacket(big.c_str(), 0, (1u << 26) + 1, 0, 0), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NO_MEMORY);
  EXPECT_FALSE(orvel::DiskFileExists(big.c_str()));
  EXPECT_EQ(q.CreatePacket(big.c_str(), 0, 0xFFFFFFFFu, 0, 0), 0);
  EXPECT_EQ(q.CreatePacket(big.c_str(), 0, 1, 0, 0), 1);
  EXPECT_EQ(q.GetPacketFlags(), 0u);
  EXPECT_EQ(Access::Header(q).tableSize, 2u);
}

// Decisions: "(listfile)" belongs to the archive; by name -11, by hash -18.
TEST_F(BasicUpdate, TheListFileCannotBeReplacedOrRemoved) {
  unsigned hash[3];
  p->GetFileHash("(listfile)", &hash[0], &hash[1], &hash[2]);
  const std::string before = ReadFileBytes(path);
  p->BeginUpdate();
  EXPECT_EQ(p->DeleteFile("(ListFile)"), VRKERR_NULL_NAME);
  EXPECT_EQ(p->AddFileFromMemory("(LISTFILE)", 2, "x", 1, 9, 9), VRKERR_NULL_NAME);
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
  ASSERT_EQ(p->AddFileFromMemory("keep", 0, "k", 1, 0, 0), 0);
  const uint32_t size = Access::TableSize(*p);
  std::vector<HashEntry> hashes(Access::Hashes(*p), Access::Hashes(*p) + size);
  std::vector<BlockEntry> blocks(Access::Blocks(*p), Access::Blocks(*p) + size);
  const auto header = Access::Header(*p);
  BlockEntry& list = Access::Blocks(*p)[p->GetFileBlockIndex("(listfile)")];
  const uint32_t realOffset = list.offset;
  list.offset = 0xFFFFFF00u;
  blocks[p->GetFileBlockIndex("(listfile)")].offset = 0xFFFFFF00u;
  const std::string before = ReadFileBytes(path);
  const std::string data(0x100, 'd');
  for (const char* name : {"n1", "n2", "n3", "n4", "n5"}) {
    EXPECT_EQ(p->AddFileFromMemory(name, 0, data.data(), 0x100, 0, 0), VRKERR_DATA_IO) << name;
    EXPECT_EQ(std::memcmp(Access::Hashes(*p), hashes.data(), size * sizeof(HashEntry)), 0) << name;
    EXPECT_EQ(std::memcmp(Access::Blocks(*p), blocks.data(), size * sizeof(BlockEntry)), 0);
    EXPECT_EQ(std::memcmp(&Access::Header(*p), &header, sizeof header), 0);
  }
  // A replacement that would not fit keeps the old file.
  EXPECT_EQ(p->AddFileFromMemory("keep", 2, data.data(), 0x100, 0, 0), VRKERR_DATA_IO);
  EXPECT_EQ(ReadAll(*p, "keep"), "k");
  EXPECT_EQ(ReadFileBytes(path), before);
  EXPECT_EQ(p->AddFileFromMemory("fits", 0, data.data(), 0xFF, 0, 0), VRKERR_DATA_IO);
  Access::Blocks(*p)[p->GetFileBlockIndex("(listfile)")].offset = realOffset;
  EXPECT_EQ(p->AddFileFromMemory("n1", 0, "1", 1, 0, 0), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet q = NewOpened(path);
  EXPECT_EQ(ReadAll(*q, "n1"), "1");
  EXPECT_EQ(ReadAll(*q, "n2"), "<null>");
  EXPECT_EQ(Access::ListText(*q), "(listfile)\nkeep\nn1\n");
}

TEST_F(BasicUpdate, VersionSetters) {
  p->BeginUpdate();
  ASSERT_EQ(p->AddFileFromMemory("v", 0, "v", 1, 0, 0), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  p->SetFileVersion("v", 3, 4);
  EXPECT_EQ(g_nVrkErrCode, 0);
  unsigned high = 0, low = 0, base = 9;
  p->GetFileVersion("v", &high, &low);
  EXPECT_EQ(low, 4u);
  NewOpened(path)->GetFileVersion("v", &high, &low);
  EXPECT_EQ(low, 5u);  // the table was not written since
  p->SetPacketVersion(7, 8);
  EXPECT_EQ(g_nVrkErrCode, 0);
  Packet q = NewOpened(path);
  q->GetPacketVersion(&high, &low, &base);
  EXPECT_EQ(high, 7u);
  EXPECT_EQ(low, 8u);
  EXPECT_EQ(base, 0u);
  orvel::COrvelPacket empty;
  empty.SetPacketVersion(1, 1);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NO_HEADER);
  empty.GetPacketVersion(&high, &low, &base);
  EXPECT_EQ(high + low + base, 0u);
  EXPECT_STREQ(empty.GetPacketPath(), "");
}

}  // namespace
