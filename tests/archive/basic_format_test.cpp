// The bytes and tables of a basic archive: a fresh file, the block ring on
// disk (wrapped, plain and scrambled), table sizes, growth, and the hash
// chains as names come and go.


#include "BasicTestUtil.h"
#include "archive/BlockScramble.h"
#include "frame/Callbacks.h"

using namespace orvel_test;
using orvel::basic::BlockEntry;

namespace {

TEST(BasicFormat, FreshArchiveOfTableSizeEight) {
  TempDir dir;
  Packet p = NewCreated(dir / "fresh.vrk", 5, 0, 7, 9);
  const std::string bytes = ReadFileBytes(dir / "fresh.vrk");
  const uint32_t list = Access::Blocks(*p)[0].storedSize;  // "(listfile)\n" + NUL, compressed
  const uint32_t home = 0x5F3DE859u & 7;
  ASSERT_EQ(bytes.size(), 48u + list + 28 + 8 * 20);
  EXPECT_EQ(bytes.substr(0, 8), std::string("VRK\x1A\x20\0\0\0", 8));
  EXPECT_EQ(WordsAt(bytes, 8, 10),
            (Words{uint32_t(bytes.size()), 7, 9, 0, 48 + list, 1, 0, 1, 48 + list + 28, 8}));
  EXPECT_EQ(WordsAt(bytes, 48 + list, 7), (Words{48, list, 12, 1, home, 0, 0}));
  const Words listEntry{0x5F3DE859u, 0xFD657910u, 0x4E9B98A7u, 0, 0xFFFFFFFFu};
  for (uint32_t i = 0; i < 8; ++i)
    EXPECT_EQ(WordsAt(bytes, 48 + list + 28 + 20 * i, 5), i == home ? listEntry : Words(5, ~0u))
        << i;
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
    // The head's entry (the list file) moves into the removed entry 1 and
    // leaves entry 0 all zero.
    ASSERT_EQ(p->DeleteFile("a"), 0);
    EXPECT_EQ(p->GetFileBlockIndex("(listfile)"), 1);
    const BlockEntry zero{};
    EXPECT_EQ(std::memcmp(&Access::Blocks(*p)[0], &zero, sizeof zero), 0);
    ASSERT_EQ(Add(*p, "d", "d"), 0);
    ASSERT_EQ(p->EndUpdate(), 0);
    const auto& h = Access::Header(*p);
    ASSERT_EQ((Words{h.fileCount, h.ringFirst, h.ringNext}), (Words{4, 1, 1}));
    const std::vector<BlockEntry> before(Access::Blocks(*p), Access::Blocks(*p) + 4);

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
  std::vector<BlockEntry> plain(4), stored(4);
  for (uint32_t i = 0; i < 4; ++i) plain[i] = BlockEntry{100 + i, 200 + i, 300 + i, 1, i, 0, 7 * i};
  orvel::basic::ScrambleBlockRing(plain.data(), stored.data(), 4, 2, 4);  // wraps 2,3,0,1
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
  for (unsigned request : {(1u << 26) + 1, 0xFFFFFFFFu}) {
    EXPECT_EQ(q.CreatePacket((dir / "big.vrk").c_str(), 0, request, 0, 0), 0);
    EXPECT_EQ(g_nVrkErrCode, VRKERR_NO_MEMORY);
    EXPECT_FALSE(orvel::DiskFileExists((dir / "big.vrk").c_str()));
  }
}

std::vector<std::pair<int, int>> g_growCalls;
int OnGrow(IOrvelPacket*, int total, int current) {
  g_growCalls.emplace_back(total, current);
  return -1;  // ignored
}

TEST(BasicFormat, GrowthReinsertsInOldHashOrderAndPlacesTheNextFileInEntryFour) {
  TempDir dir;
  Packet p = NewCreated(dir / "g.vrk", 4);
  p->BeginUpdate();
  for (const char* name : {"one", "two", "three"}) ASSERT_EQ(Add(*p, name, name), 0);
  Words oldOrder;  // hash0 of the (full) old hash entries 0..3
  for (uint32_t i = 0; i < 4; ++i) oldOrder.push_back(Access::Hashes(*p)[i].hash0);
  SetVrkCallback(VRKCB_GROW_TABLES, OnGrow);
  ASSERT_EQ(Add(*p, "four", "four"), 0);
  SetVrkCallback(VRKCB_GROW_TABLES, nullptr);
  EXPECT_EQ(g_growCalls, (std::vector<std::pair<int, int>>{{4, 0}, {4, 1}, {4, 2}, {4, 3}}));
  const auto& h = Access::Header(*p);
  EXPECT_EQ((Words{h.tableSize, h.ringFirst, h.ringNext, h.fileCount}), (Words{8, 0, 5, 5}));
  for (uint32_t i = 0; i < 4; ++i) {
    const auto& e = Access::Hashes(*p)[Access::Blocks(*p)[i].hashIndex];
    EXPECT_EQ((Words{e.hash0, e.blockIndex}), (Words{oldOrder[i], i}));
  }
  EXPECT_EQ(p->GetFileBlockIndex("four"), 4);
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet q = NewOpened(dir / "g.vrk");
  for (const char* name : {"one", "two", "three", "four"}) EXPECT_EQ(ReadAll(*q, name), name);
}

// A chain of four names; a name whose home one of them occupies takes it
// over; then removals at the chain head and elsewhere.
TEST(BasicFormat, ForeignOccupantAndRemovalsKeepEveryNameFindable) {
  TempDir dir;
  const std::string path = dir / "d.vrk";
  Packet p = NewCreated(path, 16);
  const uint32_t home = (0x5F3DE859u + 5) & 15;  // not the list file's home
  std::vector<std::string> names = NamesAtHome(home, 16, 4, "c");
  auto slotOf = [&](const std::string& s) {
    return Access::Blocks(*p)[p->GetFileBlockIndex(s.c_str())].hashIndex;
  };
  auto expectAll = [&](orvel::COrvelPacket& q) {
    for (const auto& s : names) EXPECT_EQ(ReadAll(q, s.c_str()), s) << s;
  };
  p->BeginUpdate();
  for (const auto& s : names) ASSERT_EQ(Add(*p, s, s), 0);
  const uint32_t taken = slotOf(names[1]);
  uint32_t firstFree = 0;
  while (Access::Hashes(*p)[firstFree].blockIndex != orvel::kNone) ++firstFree;
  names.push_back(NamesAtHome(taken, 16, 1, "x")[0]);
  ASSERT_EQ(Add(*p, names[4], names[4]), 0);
  EXPECT_EQ((Words{slotOf(names[4]), slotOf(names[1])}), (Words{taken, firstFree}));
  expectAll(*p);
  ASSERT_EQ(p->EndUpdate(), 0);
  const size_t sizeBefore = ReadFileBytes(path).size();

  p->BeginUpdate();
  ASSERT_EQ(p->DeleteFile(names[0].c_str()), 0);  // the head: its successor moves in
  EXPECT_EQ(slotOf(names[1]), home);
  ASSERT_EQ(p->DeleteFile(names[2].c_str()), 0);  // the middle
  ASSERT_EQ(p->DeleteFile(names[1].c_str()), 0);  // the new head
  EXPECT_EQ(p->DeleteFile(names[1].c_str()), VRKERR_HASH_NOT_FOUND);
  names.erase(names.begin(), names.begin() + 3);
  expectAll(*p);
  ASSERT_EQ(p->EndUpdate(), 0);
  // The tables shrank, but writers leave the file's length as it was.
  const std::string bytes = ReadFileBytes(path);
  EXPECT_EQ((Words{uint32_t(bytes.size()), Word(bytes, kFileSize)}), Words(2, sizeBefore));
  Packet q = NewOpened(path);
  expectAll(*q);
  EXPECT_EQ(Access::ListText(*q), "(listfile)\n" + names[0] + "\n" + names[1] + "\n");
}

}  // namespace
