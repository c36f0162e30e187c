// Hash-table insertion, removal and growth as the basic archive uses them
// (the chain procedures themselves: hash_chain_test.cpp).
#include <gtest/gtest.h>

#include <vector>

#include "BasicTestUtil.h"
#include "codec/NameHash.h"
#include "frame/Callbacks.h"

using namespace orvel_test;
using orvel::basic::BlockEntry;

namespace {

struct Hashes {
  uint32_t h[3];
};

Hashes HashOf(const std::string& name) {
  static std::vector<unsigned> table = [] {
    std::vector<unsigned> t(orvel::kCryptTableWords);
    orvel::InitCryptTable(t.data());
    return t;
  }();
  Hashes r;
  orvel::HashNameAll(name.c_str(), table.data(), r.h);
  return r;
}

// The first name "<prefix><n>" whose home index in a table of `size` is `home`.
std::string NameWithHome(uint32_t home, uint32_t size, const std::string& prefix, int* n) {
  for (;; ++*n) {
    std::string name = prefix + std::to_string(*n);
    if ((HashOf(name).h[0] & (size - 1)) == home) {
      ++*n;
      return name;
    }
  }
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
  for (const char* name : {"one", "two", "three"})
    ASSERT_EQ(p->AddFileFromMemory(name, 0, name, 3, 0, 0), 0);
  std::vector<uint32_t> oldOrder;  // hash0 of old hash entries 0..3
  for (uint32_t i = 0; i < 4; ++i) oldOrder.push_back(Access::Hashes(*p)[i].hash0);

  g_growCalls.clear();
  SetVrkCallback(VRKCB_GROW_TABLES, OnGrow);
  ASSERT_EQ(p->AddFileFromMemory("four", 0, "4444", 4, 0, 0), 0);
  SetVrkCallback(VRKCB_GROW_TABLES, nullptr);
  EXPECT_EQ(g_growCalls, (std::vector<std::pair<int, int>>{{4, 0}, {4, 1}, {4, 2}, {4, 3}}));

  const auto& h = Access::Header(*p);
  EXPECT_EQ(h.tableSize, 8u);
  EXPECT_EQ(h.ringFirst, 0u);
  EXPECT_EQ(h.ringNext, 5u);
  EXPECT_EQ(h.fileCount, 5u);
  for (uint32_t i = 0; i < 4; ++i) {
    const BlockEntry& b = Access::Blocks(*p)[i];
    EXPECT_EQ(Access::Hashes(*p)[b.hashIndex].hash0, oldOrder[i]) << i;
    EXPECT_EQ(Access::Hashes(*p)[b.hashIndex].blockIndex, i);
  }
  EXPECT_EQ(p->GetFileBlockIndex("four"), 4);
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet q = NewOpened(dir / "g.vrk");
  EXPECT_EQ(ReadAll(*q, "one"), "one");
  EXPECT_EQ(ReadAll(*q, "two"), "two");
  EXPECT_EQ(ReadAll(*q, "three"), "thr");
  EXPECT_EQ(ReadAll(*q, "four"), "4444");
}

TEST(BasicHashTable, DeleteAtChainHeadAndElsewhereKeepsEveryNameFindable) {
  TempDir dir;
  Packet p = NewCreated(dir / "d.vrk", 16);
  int n = 0;
  const uint32_t home = (HashOf("(listfile)").h[0] + 5) & 15;
  std::vector<std::string> chain;
  for (int i = 0; i < 4; ++i) chain.push_back(NameWithHome(home, 16, "c", &n));
  std::vector<std::string> others = {"alpha", "beta", "gamma"};
  p->BeginUpdate();
  for (const auto& s : chain) ASSERT_EQ(p->AddFileFromMemory(s.c_str(), 0, s.data(), 3, 0, 0), 0);
  for (const auto& s : others) ASSERT_EQ(p->AddFileFromMemory(s.c_str(), 0, s.data(), 4, 0, 0), 0);

  auto expectAll = [&](const std::vector<std::string>& names) {
    for (const auto& s : names)
      EXPECT_EQ(ReadAll(*p, s.c_str()), s.substr(0, s[0] == 'c' ? 3 : 4)) << s;
  };
  // The head: its successor moves into the home index.
  ASSERT_EQ(p->DeleteFile(chain[0].c_str()), 0);
  EXPECT_EQ(Access::Hashes(*p)[home].hash0, HashOf(chain[1]).h[0]);
  // A middle entry, then the ring head's file, then the new head again.
  ASSERT_EQ(p->DeleteFile(chain[2].c_str()), 0);
  ASSERT_EQ(p->DeleteFile(chain[1].c_str()), 0);
  std::vector<std::string> rest = {chain[3], "alpha", "beta", "gamma"};
  expectAll(rest);
  EXPECT_EQ(p->GetFileCount(), 5u);
  EXPECT_EQ(p->DeleteFile(chain[1].c_str()), VRKERR_HASH_NOT_FOUND);
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet q = NewOpened(dir / "d.vrk");
  for (const auto& s : rest) EXPECT_NE(ReadAll(*q, s.c_str()), "<null>") << s;
  EXPECT_EQ(Access::ListText(*q), "(listfile)\n" + chain[3] + "\nalpha\nbeta\ngamma\n");
}

TEST(BasicHashTable, DeletingTheRingHeadOnlyClearsItAndMovesTheHead) {
  TempDir dir;
  Packet p = NewCreated(dir / "h.vrk", 8);
  p->BeginUpdate();
  ASSERT_EQ(p->AddFileFromMemory("a", 0, "a", 1, 0, 0), 0);
  // Block 0 is the list file (the head); deleting "a" moves the head's entry
  // into a's slot. Deleting a file that is itself at the head only clears it.
  ASSERT_EQ(p->DeleteFile("a"), 0);
  EXPECT_EQ(Access::Header(*p).ringFirst, 1u);
  EXPECT_EQ(p->GetFileBlockIndex("(listfile)"), 1);
  const BlockEntry zero{};
  EXPECT_EQ(std::memcmp(&Access::Blocks(*p)[0], &zero, sizeof zero), 0);
  ASSERT_EQ(p->AddFileFromMemory("b", 0, "b", 1, 0, 0), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(ReadAll(*p, "b"), "b");
}

}  // namespace
