// The bytes of a basic archive file: layout of a fresh archive, the block
// ring on disk (also wrapped), and block-table scrambling.
#include <gtest/gtest.h>

#include <vector>

#include "BasicTestUtil.h"
#include "archive/BlockScramble.h"
#include "codec/NameHash.h"

using namespace orvel_test;
using orvel::basic::BlockEntry;

namespace {

TEST(BasicFormat, FreshArchiveOfTableSizeEight) {
  TempDir dir;
  const std::string path = dir / "fresh.vrk";
  Packet p = NewCreated(path, 5, 0, 7, 9);
  const std::string bytes = ReadFileBytes(path);
  ASSERT_GE(bytes.size(), 48u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("VRK\x1A\x20\0\0\0", 8));
  EXPECT_EQ(Word(bytes, kTableSize), 8u);
  EXPECT_EQ(Word(bytes, kFileCount), 1u);
  EXPECT_EQ(Word(bytes, kRingFirst), 0u);
  EXPECT_EQ(Word(bytes, kRingNext), 1u);
  EXPECT_EQ(Word(bytes, kFlags), 0u);
  EXPECT_EQ(Word(bytes, kVersionHigh), 7u);
  EXPECT_EQ(Word(bytes, kVersionLow), 9u);

  const uint32_t listStored = Access::Blocks(*p)[0].storedSize;
  EXPECT_EQ(bytes.size(), 48u + listStored + 28 + 160);
  EXPECT_EQ(Word(bytes, kFileSize), bytes.size());
  EXPECT_EQ(Word(bytes, kBlockTableOffset), 48u + listStored);
  EXPECT_EQ(Word(bytes, kHashTableOffset), 48u + listStored + 28);

  // The one block entry: the list file at 48, compressed, "(listfile)\n" + NUL.
  const size_t b = 48 + listStored;
  EXPECT_EQ(Word(bytes, b + 0), 48u);
  EXPECT_EQ(Word(bytes, b + 4), listStored);
  EXPECT_EQ(Word(bytes, b + 8), 12u);
  EXPECT_EQ(Word(bytes, b + 12), 1u);
  EXPECT_EQ(Word(bytes, b + 20), 0u);  // stamp: list file keeps zero
  EXPECT_EQ(Access::ListText(*p), "(listfile)\n");

  // Seven free hash entries and the list file's at its home index.
  const size_t h = b + 28;
  const uint32_t home = 0x5F3DE859u & 7;
  for (uint32_t i = 0; i < 8; ++i) {
    if (i == home) {
      EXPECT_EQ(Word(bytes, h + i * 20 + 0), 0x5F3DE859u);
      EXPECT_EQ(Word(bytes, h + i * 20 + 4), 0xFD657910u);
      EXPECT_EQ(Word(bytes, h + i * 20 + 8), 0x4E9B98A7u);
      EXPECT_EQ(Word(bytes, h + i * 20 + 12), 0u);
      EXPECT_EQ(Word(bytes, h + i * 20 + 16), 0xFFFFFFFFu);
    } else {
      EXPECT_EQ(bytes.substr(h + i * 20, 20), std::string(20, '\xFF')) << i;
    }
  }
  EXPECT_EQ(ReadAll(*p, "(listfile)"), std::string("(listfile)\n\0", 12));
}

TEST(BasicFormat, ProtectFlagsWriteScrambledTableThatReadsBack) {
  TempDir dir;
  const std::string path = dir / "s.vrk";
  uint32_t firstOffset = 0;
  {
    Packet p = NewCreated(path, 8, 4);
    p->BeginUpdate();
    ASSERT_EQ(p->AddFileFromMemory("one", 0, "11111", 5, 0, 0), 0);
    ASSERT_EQ(p->AddFileFromMemory("two", 1, "2222222222", 10, 0, 0), 0);
    ASSERT_EQ(p->EndUpdate(), 0);
    firstOffset = Access::Blocks(*p)[0].offset;
  }
  const std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(Word(bytes, kFlags), 2u);
  // The first stored word is the seed XOR the ring head's offset.
  EXPECT_EQ(Word(bytes, Word(bytes, kBlockTableOffset)), 0x6D2B94C7u ^ firstOffset);
  Packet q = NewOpened(path);
  EXPECT_EQ(ReadAll(*q, "one"), "11111");
  EXPECT_EQ(ReadAll(*q, "TWO"), "2222222222");
}

TEST(BasicFormat, FlippedStoredWordChangesThatWordAndTheNext) {
  std::vector<BlockEntry> plain(4);
  for (uint32_t i = 0; i < 4; ++i) plain[i] = BlockEntry{100 + i, 200 + i, 300 + i, 1, i, 0, 7 * i};
  std::vector<BlockEntry> stored(4);
  orvel::basic::ScrambleBlockRing(plain.data(), stored.data(), 4, 2, 4);  // wraps 2,3,0,1
  std::vector<BlockEntry> back = stored;
  orvel::basic::UnscrambleBlockRing(back.data(), 4, 2, 4);
  EXPECT_EQ(std::memcmp(back.data(), plain.data(), sizeof(BlockEntry) * 4), 0);

  // Flip word 6 of index 3 (the last word before the wrap to index 0).
  std::vector<BlockEntry> damaged = stored;
  reinterpret_cast<uint32_t*>(&damaged[3])[6] ^= 0x00010000u;
  orvel::basic::UnscrambleBlockRing(damaged.data(), 4, 2, 4);
  int changed = 0;
  for (uint32_t i = 0; i < 4; ++i)
    for (int w = 0; w < 7; ++w) {
      const uint32_t a = reinterpret_cast<const uint32_t*>(&damaged[i])[w];
      const uint32_t b = reinterpret_cast<const uint32_t*>(&plain[i])[w];
      if (a != b) {
        ++changed;
        EXPECT_TRUE((i == 3 && w == 6) || (i == 0 && w == 0)) << i << " " << w;
      }
    }
  EXPECT_EQ(changed, 2);
}

// A full ring whose head is not 0 is stored as ringFirst..size-1, then 0..;
// reopening places every entry back at its index.
TEST(BasicFormat, FullWrappedRingIsWrittenInTwoPiecesAndReadsBack) {
  for (unsigned flags : {0u, 2u}) {
    TempDir dir;
    const std::string path = dir / "ring.vrk";
    Packet p = NewCreated(path, 4, flags);
    p->BeginUpdate();
    for (const char* name : {"a", "b", "c"})
      ASSERT_EQ(p->AddFileFromMemory(name, 0, name, 1, 0, 0), 0);
    ASSERT_EQ(p->DeleteFile("a"), 0);  // the head moves on: ringFirst 1
    ASSERT_EQ(p->AddFileFromMemory("d", 0, "d", 1, 0, 0), 0);
    ASSERT_EQ(p->EndUpdate(), 0);
    const auto& h = Access::Header(*p);
    ASSERT_EQ(h.fileCount, 4u);
    ASSERT_EQ(h.tableSize, 4u);
    ASSERT_EQ(h.ringFirst, h.ringNext);
    ASSERT_NE(h.ringFirst, 0u);
    std::vector<BlockEntry> before(Access::Blocks(*p), Access::Blocks(*p) + 4);

    const std::string bytes = ReadFileBytes(path);
    const size_t table = Word(bytes, kBlockTableOffset);
    if (flags == 0) {
      for (uint32_t k = 0; k < 4; ++k) {
        const uint32_t index = (h.ringFirst + k) % 4;
        EXPECT_EQ(std::memcmp(bytes.data() + table + 28 * k, &before[index], 28), 0) << k;
      }
    }
    Packet q = NewOpened(path);
    EXPECT_EQ(std::memcmp(Access::Blocks(*q), before.data(), 4 * sizeof(BlockEntry)), 0);
    for (const char* name : {"b", "c", "d"}) EXPECT_EQ(ReadAll(*q, name), name);
  }
}

TEST(BasicFormat, RequestedTableSizesRoundUp) {
  TempDir dir;
  for (unsigned request : {0u, 1u, 2u, 3u, 5u, 1000u, 1024u, 1025u}) {
    Packet p = NewCreated(dir / "t.vrk", request);
    const unsigned expect = request <= 2      ? 2
                            : request <= 4    ? 4
                            : request <= 8    ? 8
                            : request <= 1024 ? 1024
                                              : 2048;
    EXPECT_EQ(Access::Header(*p).tableSize, expect) << request;
  }
}

}  // namespace
