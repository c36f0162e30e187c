// The bytes of a basic archive file: layout of a fresh archive, the block
// ring on disk (wrapped, plain and scrambled), and the table sizes created.
#include <gtest/gtest.h>

#include <vector>

#include "BasicTestUtil.h"
#include "archive/BlockScramble.h"

using namespace orvel_test;
using orvel::basic::BlockEntry;

namespace {

TEST(BasicFormat, FreshArchiveOfTableSizeEight) {
  TempDir dir;
  const std::string path = dir / "fresh.vrk";
  Packet p = NewCreated(path, 5, 0, 7, 9);
  const std::string bytes = ReadFileBytes(path);
  const uint32_t list = Access::Blocks(*p)[0].storedSize;  // "(listfile)\n" + NUL, compressed
  const uint32_t home = 0x5F3DE859u & 7;
  ASSERT_EQ(bytes.size(), 48u + list + 28 + 8 * 20);
  EXPECT_EQ(bytes.substr(0, 8), std::string("VRK\x1A\x20\0\0\0", 8));
  EXPECT_EQ(WordsAt(bytes, 8, 10),
            (Words{uint32_t(bytes.size()), 7, 9, 0, 48 + list, 1, 0, 1, 48 + list + 28, 8}));
  EXPECT_EQ(WordsAt(bytes, 48 + list, 7), (Words{48, list, 12, 1, home, 0, 0}));
  const Words listEntry{0x5F3DE859u, 0xFD657910u, 0x4E9B98A7u, 0, 0xFFFFFFFFu};
  for (uint32_t i = 0; i < 8; ++i)
    EXPECT_EQ(WordsAt(bytes, 48 + list + 28 + 20 * i, 5), i == home ? listEntry : Words(5, ~0u)) << i;
  EXPECT_EQ(ReadAll(*p, "(listfile)"), std::string("(listfile)\n\0", 12));
}

// A full ring whose head is not 0 is stored as ringFirst..size-1, then 0..;
// reopening places every entry back at its index. Flag 4 asks for the
// scrambled table, which the header records as flag 2.
TEST(BasicFormat, FullWrappedRingIsWrittenInTwoPiecesAndReadsBack) {
  for (unsigned flags : {0u, 4u}) {
    TempDir dir;
    const std::string path = dir / "ring.vrk";
    Packet p = NewCreated(path, 4, flags);
    p->BeginUpdate();
    for (const char* name : {"a", "b", "c"}) ASSERT_EQ(Add(*p, name, name), 0);
    // Deleting "a" moves the head's entry (the list file) into its place and
    // clears the head.
    ASSERT_EQ(p->DeleteFile("a"), 0);
    EXPECT_EQ(p->GetFileBlockIndex("(listfile)"), 1);
    const BlockEntry zero{};
    EXPECT_EQ(std::memcmp(&Access::Blocks(*p)[0], &zero, sizeof zero), 0);
    ASSERT_EQ(Add(*p, "d", "d"), 0);
    ASSERT_EQ(p->EndUpdate(), 0);
    const auto& h = Access::Header(*p);
    ASSERT_EQ((Words{h.fileCount, h.ringFirst, h.ringNext}), (Words{4, 1, 1}));
    std::vector<BlockEntry> before(Access::Blocks(*p), Access::Blocks(*p) + 4);

    const std::string bytes = ReadFileBytes(path);
    const size_t table = Word(bytes, kBlockTableOffset);
    EXPECT_EQ(Word(bytes, kFlags), flags ? 3u : 1u);  // 1: the removal left a hole
    if (flags) {  // the first stored word is the seed XOR the ring head's offset
      EXPECT_EQ(Word(bytes, table), 0x6D2B94C7u ^ before[1].offset);
    } else {
      for (uint32_t k = 0; k < 4; ++k)
        EXPECT_EQ(std::memcmp(bytes.data() + table + 28 * k, &before[(1 + k) % 4], 28), 0) << k;
    }
    Packet q = NewOpened(path);
    EXPECT_EQ(std::memcmp(Access::Blocks(*q), before.data(), 4 * sizeof(BlockEntry)), 0);
    for (const char* name : {"b", "c", "d"}) EXPECT_EQ(ReadAll(*q, name), name);
  }
}

TEST(BasicFormat, FlippedStoredWordChangesThatWordAndTheNext) {
  std::vector<BlockEntry> plain(4);
  for (uint32_t i = 0; i < 4; ++i) plain[i] = BlockEntry{100 + i, 200 + i, 300 + i, 1, i, 0, 7 * i};
  std::vector<BlockEntry> stored(4);
  orvel::basic::ScrambleBlockRing(plain.data(), stored.data(), 4, 2, 4);  // wraps 2,3,0,1
  std::vector<BlockEntry> back = stored;
  orvel::basic::UnscrambleBlockRing(back.data(), 4, 2, 4);
  EXPECT_EQ(std::memcmp(back.data(), plain.data(), sizeof(BlockEntry) * 4), 0);

  // Flip the last word of index 3, just before the wrap to index 0.
  auto words = [](std::vector<BlockEntry>& v) { return reinterpret_cast<uint32_t*>(v.data()); };
  words(stored)[3 * 7 + 6] ^= 0x00010000u;
  orvel::basic::UnscrambleBlockRing(stored.data(), 4, 2, 4);
  std::vector<int> changed;
  for (int w = 0; w < 28; ++w)
    if (words(stored)[w] != words(plain)[w]) changed.push_back(w);
  EXPECT_EQ(changed, (std::vector<int>{0, 3 * 7 + 6}));
}

// Sizes below 2 become 2, others round up to a power of two; above 2^26 the
// create fails with -24 before any file exists.
TEST(BasicFormat, RequestedTableSizes) {
  TempDir dir;
  const unsigned requests[][2] = {{0, 2}, {1, 2}, {3, 4}, {5, 8}, {1024, 1024}, {1025, 2048}};
  for (const auto& r : requests)
    EXPECT_EQ(Access::Header(*NewCreated(dir / "t.vrk", r[0])).tableSize, r[1]) << r[0];
  orvel::COrvelPacket q;
  const std::string big = dir / "big.vrk";
  for (unsigned request : {(1u << 26) + 1, 0xFFFFFFFFu}) {
    EXPECT_EQ(q.CreatePacket(big.c_str(), 0, request, 0, 0), 0);
    EXPECT_EQ(g_nVrkErrCode, VRKERR_NO_MEMORY);
    EXPECT_FALSE(orvel::DiskFileExists(big.c_str()));
  }
}

}  // namespace
