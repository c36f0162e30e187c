// Hash-table insertion, removal and growth as the basic archive uses them
// (the chain procedures themselves: hash_chain_test.cpp).
#include <gtest/gtest.h>

#include <vector>

#include "BasicTestUtil.h"
#include "codec/NameHash.h"
#include "frame/Callbacks.h"

using namespace orvel_test;

namespace {

uint32_t Hash0(const std::string& name) {
  static std::vector<unsigned> table = [] {
    std::vector<unsigned> t(orvel::kCryptTableWords);
    orvel::InitCryptTable(t.data());
    return t;
  }();
  uint32_t h[3];
  orvel::HashNameAll(name.c_str(), table.data(), h);
  return h[0];
}

// The next name "<prefix><n>" whose home index in a table of `size` is `home`.
std::string NameWithHome(uint32_t home, uint32_t size, const std::string& prefix, int* n) {
  for (;; ++*n)
    if ((Hash0(prefix + std::to_string(*n)) & (size - 1)) == home) return prefix + std::to_string((*n)++);
}

std::vector<std::pair<int, int>> g_growCalls;
int OnGrow(IOrvelPacket*, int total, int current) {
  g_growCalls.emplace_back(total, current);
  return -1;  // ignored
}

TEST(BasicHashTable, GrowthReinsertsInOldHashOrderAndPlacesTheNextFileInEntryFour) {
  TempDir dir;
  Packet p = NewCreated(dir / "g.vrk", 4);
  p->BeginUpdate();
  for (const char* name : {"one", "two", "three"}) ASSERT_EQ(Add(*p, name, name), 0);
  Words oldOrder;  // hash0 of the (full) old hash entries 0..3
  for (uint32_t i = 0; i < 4; ++i) oldOrder.push_back(Access::Hashes(*p)[i].hash0);

  g_growCalls.clear();
  SetVrkCallback(VRKCB_GROW_TABLES, OnGrow);
  ASSERT_EQ(Add(*p, "four", "four"), 0);
  SetVrkCallback(VRKCB_GROW_TABLES, nullptr);
  EXPECT_EQ(g_growCalls, (std::vector<std::pair<int, int>>{{4, 0}, {4, 1}, {4, 2}, {4, 3}}));

  const auto& h = Access::Header(*p);
  EXPECT_EQ((Words{h.tableSize, h.ringFirst, h.ringNext, h.fileCount}), (Words{8, 0, 5, 5}));
  for (uint32_t i = 0; i < 4; ++i) {
    const auto& b = Access::Blocks(*p)[i];
    EXPECT_EQ(Access::Hashes(*p)[b.hashIndex].hash0, oldOrder[i]) << i;
    EXPECT_EQ(Access::Hashes(*p)[b.hashIndex].blockIndex, i);
  }
  EXPECT_EQ(p->GetFileBlockIndex("four"), 4);
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet q = NewOpened(dir / "g.vrk");
  for (const char* name : {"one", "two", "three", "four"}) EXPECT_EQ(ReadAll(*q, name), name);
}

// One chain of four names; a name whose home one of them occupies takes it
// over; then removals at the chain head and elsewhere.
TEST(BasicHashTable, ForeignOccupantAndRemovalsKeepEveryNameFindable) {
  TempDir dir;
  const std::string path = dir / "d.vrk";
  Packet p = NewCreated(path, 16);
  int n = 0;
  const uint32_t home = (Hash0("(listfile)") + 5) & 15;
  std::vector<std::string> names;
  for (int i = 0; i < 4; ++i) names.push_back(NameWithHome(home, 16, "c", &n));
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
  names.push_back(NameWithHome(taken, 16, "x", &n));
  ASSERT_EQ(Add(*p, names[4], names[4]), 0);
  EXPECT_EQ(slotOf(names[4]), taken);
  EXPECT_EQ(slotOf(names[1]), firstFree);
  expectAll(*p);
  ASSERT_EQ(p->EndUpdate(), 0);
  const size_t sizeBefore = ReadFileBytes(path).size();

  p->BeginUpdate();
  ASSERT_EQ(p->DeleteFile(names[0].c_str()), 0);  // the head: its successor moves in
  EXPECT_EQ(Access::Hashes(*p)[home].hash0, Hash0(names[1]));
  ASSERT_EQ(p->DeleteFile(names[2].c_str()), 0);  // the middle
  ASSERT_EQ(p->DeleteFile(names[1].c_str()), 0);  // the new head
  EXPECT_EQ(p->DeleteFile(names[1].c_str()), VRKERR_HASH_NOT_FOUND);
  names.erase(names.begin(), names.begin() + 3);
  expectAll(*p);
  EXPECT_EQ(p->GetFileCount(), 3u);
  ASSERT_EQ(p->EndUpdate(), 0);
  // The tables shrank, but writers leave the file's length as it was.
  const std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.size(), sizeBefore);
  EXPECT_EQ(Word(bytes, kFileSize), sizeBefore);
  Packet q = NewOpened(path);
  expectAll(*q);
  EXPECT_EQ(Access::ListText(*q), "(listfile)\n" + names[0] + "\n" + names[1] + "\n");
}

}  // namespace
