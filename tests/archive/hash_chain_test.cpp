// The chain procedures both archive variants share: lowest-free placement
// through the hint, foreign occupants, removal and lookup. The table checks
// are covered by each archive's open tests.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "archive/BasicFormat.h"
#include "archive/HashChain.h"
#include "orvel/VrkErrors.h"

using orvel::HashEntry;
using orvel::kNone;
using orvel::basic::BlockEntry;

namespace {

const HashEntry kFree{kNone, kNone, kNone, kNone, kNone};

bool Same(const HashEntry& x, const uint32_t h[3]) {
  return x.hash0 == h[0] && x.hash1 == h[1] && x.hash2 == h[2];
}

// The insertion written the plain way: the first free entry is found by a
// scan from index 0, used entries with the same hashes passed on the way are
// refused. The library keeps a lowest-free hint instead; both must agree.
int ReferenceInsert(std::vector<HashEntry>& ht, std::vector<BlockEntry>& bt, const uint32_t h[3],
                    uint32_t blockIndex, uint32_t* out) {
  const uint32_t size = static_cast<uint32_t>(ht.size()), mask = size - 1, home = h[0] & mask;
  HashEntry& e = ht[home];
  if (e.blockIndex == kNone) {
    e = HashEntry{h[0], h[1], h[2], blockIndex, kNone};
    *out = home;
    return 0;
  }
  if (Same(e, h)) return VRKERR_EXISTS;
  uint32_t f = 0;
  for (; f < size && ht[f].blockIndex != kNone; ++f)
    if (Same(ht[f], h)) return VRKERR_EXISTS;
  if (f == size) return VRKERR_TABLE_FULL;
  if ((e.hash0 & mask) != home) {
    ht[f] = e;
    bt[e.blockIndex].hashIndex = f;
    for (uint32_t j = e.hash0 & mask; j != kNone; j = ht[j].next)
      if (ht[j].next == home) {
        ht[j].next = f;
        break;
      }
    e = HashEntry{h[0], h[1], h[2], blockIndex, kNone};
    *out = home;
  } else {
    ht[f] = HashEntry{h[0], h[1], h[2], blockIndex, kNone};
    uint32_t last = home;
    while (ht[last].next != kNone) last = ht[last].next;
    ht[last].next = f;
    *out = f;
  }
  return 0;
}

// Removal written the plain way: off the chain through its predecessor, or,
// at a home index, the successor moves in.
void ReferenceRemove(std::vector<HashEntry>& ht, std::vector<BlockEntry>& bt, uint32_t index) {
  const uint32_t home = ht[index].hash0 & static_cast<uint32_t>(ht.size() - 1);
  uint32_t freed = index;
  if (home != index) {
    uint32_t p = home;
    while (ht[p].next != index) p = ht[p].next;
    ht[p].next = ht[index].next;
  } else if (ht[index].next != kNone) {
    freed = ht[index].next;
    ht[index] = ht[freed];
    bt[ht[index].blockIndex].hashIndex = index;
  }
  ht[freed] = kFree;
}

TEST(HashChain, HintGivesTheSameTablesAsAScanFromZero) {
  std::mt19937 rng(7);
  const uint32_t size = 64;
  std::vector<HashEntry> ours(size, kFree), ref = ours;
  std::vector<BlockEntry> ourBlocks(size), refBlocks(size);
  std::vector<std::vector<uint32_t>> live;
  uint32_t hint = 0;
  for (int step = 0; step < 20000; ++step) {
    const bool insert = live.empty() || (live.size() < size && rng() % 3 != 0);
    if (insert) {
      // Few distinct hash0 values make long chains and many foreign moves.
      const std::vector<uint32_t> h = {static_cast<uint32_t>(rng() % 97),
                                       static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng())};
      uint32_t a = 0, b = 0;
      const uint32_t block = static_cast<uint32_t>(step % size);
      const int ra = orvel::InsertIntoChains(ours.data(), ourBlocks.data(), size - 1, size,
                                             h.data(), &hint, &a);
      const int rb = ReferenceInsert(ref, refBlocks, h.data(), block, &b);
      ASSERT_EQ(ra, rb);
      if (ra == 0) {
        ASSERT_EQ(a, b);
        ours[a].blockIndex = block;  // the caller's part
        ourBlocks[block].hashIndex = a;
        refBlocks[block].hashIndex = b;
        live.push_back(h);
      }
    } else {
      const size_t pick = rng() % live.size();
      const uint32_t a = orvel::FindInChains(ours.data(), size, live[pick].data());
      ASSERT_NE(a, kNone);
      orvel::UnlinkFromChain(ours.data(), ourBlocks.data(), size, a, &hint);
      ReferenceRemove(ref, refBlocks, a);
      live.erase(live.begin() + static_cast<long>(pick));
    }
    ASSERT_EQ(std::memcmp(ours.data(), ref.data(), size * sizeof(HashEntry)), 0) << step;
    ASSERT_EQ(std::memcmp(ourBlocks.data(), refBlocks.data(), size * sizeof(BlockEntry)), 0)
        << step;
    for (uint32_t i = 0; i < hint && i < size; ++i) ASSERT_NE(ours[i].blockIndex, kNone) << step;
    for (const auto& h : live) ASSERT_NE(orvel::FindInChains(ours.data(), size, h.data()), kNone);
  }
}

// The advanced archive fills in blockIndex after the placement: a free home
// keeps its kNone, a home taken from a foreign occupant keeps the occupant's
// value until then.
TEST(HashChain, PlacementLeavesBlockIndexToTheCaller) {
  std::vector<HashEntry> t(8, kFree);
  std::vector<BlockEntry> b(8);
  uint32_t hint = 0, at = 99;
  const uint32_t a[3] = {3, 1, 1}, c[3] = {11, 2, 2}, d[3] = {4, 3, 3};
  ASSERT_EQ(orvel::InsertIntoChains(t.data(), b.data(), 7, 8, a, &hint, &at), VRKERR_OK);
  EXPECT_EQ(at, 3u);
  EXPECT_EQ(t[3].blockIndex, kNone);
  EXPECT_EQ(t[3].next, kNone);
  t[3].blockIndex = 0;
  ASSERT_EQ(orvel::InsertIntoChains(t.data(), b.data(), 7, 8, c, &hint, &at), VRKERR_OK);
  EXPECT_EQ(at, 0u);  // the lowest free entry, on the chain of home 3
  EXPECT_EQ(t[3].next, 0u);
  t[0].blockIndex = 1;
  // Make home 4 hold a foreign entry: home 3's second name moved there.
  t[4] = t[0];
  t[0] = kFree;
  t[3].next = 4;
  b[1].hashIndex = 4;
  hint = 0;
  ASSERT_EQ(orvel::InsertIntoChains(t.data(), b.data(), 7, 8, d, &hint, &at), VRKERR_OK);
  EXPECT_EQ(at, 4u);
  EXPECT_TRUE(Same(t[4], d));
  EXPECT_EQ(t[4].blockIndex, 1u);  // the occupant's, for the caller to overwrite
  EXPECT_EQ(t[4].next, kNone);
  EXPECT_TRUE(Same(t[0], c));  // the occupant moved to the lowest free entry
  EXPECT_EQ(t[3].next, 0u);
  EXPECT_EQ(b[1].hashIndex, 0u);
  EXPECT_EQ(hint, 0u);
}

TEST(HashChain, RefusalsChangeNothing) {
  std::vector<HashEntry> t(4, kFree);
  uint32_t hint = 0, at = 99;
  BlockEntry* noBlocks = nullptr;
  const uint32_t h[4][3] = {{0, 1, 1}, {0, 2, 2}, {1, 3, 3}, {1, 4, 4}};
  for (uint32_t i = 0; i < 4; ++i) {
    ASSERT_EQ(orvel::InsertIntoChains(t.data(), noBlocks, 3, 4, h[i], &hint, &at), VRKERR_OK);
    t[at].blockIndex = i;
  }
  const std::vector<HashEntry> before = t;
  // A name already on its chain, away from the home index.
  EXPECT_EQ(orvel::InsertIntoChains(t.data(), noBlocks, 3, 4, h[1], &hint, &at), VRKERR_EXISTS);
  const uint32_t extra[3] = {2, 5, 5};
  EXPECT_EQ(orvel::InsertIntoChains(t.data(), noBlocks, 3, 4, extra, &hint, &at),
            VRKERR_TABLE_FULL);
  EXPECT_EQ(orvel::InsertIntoChains(t.data(), noBlocks, 3, 0, extra, &hint, &at),
            VRKERR_TABLE_FULL);
  // A mask wider than the table must not reach past it.
  const uint32_t far[3] = {6, 5, 5};
  EXPECT_EQ(orvel::InsertIntoChains(t.data(), noBlocks, 7, 4, far, &hint, &at),
            VRKERR_TABLE_FULL);
  EXPECT_EQ(std::memcmp(t.data(), before.data(), 4 * sizeof(HashEntry)), 0);
  EXPECT_EQ(at, 3u);  // left as the last success wrote it
}

TEST(HashChain, LookupMatchesOnlyUsedEntriesAndEndsOnBrokenChains) {
  std::vector<HashEntry> t(4, kFree);
  // The hashes of a free entry are all kNone; no name is found there.
  const uint32_t allOnes[3] = {kNone, kNone, kNone};
  EXPECT_EQ(orvel::FindInChains(t.data(), 4, allOnes), kNone);
  EXPECT_EQ(orvel::FindInChains(nullptr, 4, allOnes), kNone);
  EXPECT_EQ(orvel::FindInChains(t.data(), 0, allOnes), kNone);
  // A cycle and a link past the end stop the walk.
  const uint32_t missing[3] = {1, 9, 9};
  t[1] = HashEntry{1, 1, 1, 0, 2};
  t[2] = HashEntry{1, 2, 2, 1, 1};
  EXPECT_EQ(orvel::FindInChains(t.data(), 4, missing), kNone);
  t[2].next = 77;
  EXPECT_EQ(orvel::FindInChains(t.data(), 4, missing), kNone);
  const uint32_t second[3] = {1, 2, 2};
  EXPECT_EQ(orvel::FindInChains(t.data(), 4, second), 2u);
}

}  // namespace
