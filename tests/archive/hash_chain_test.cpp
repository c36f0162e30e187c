// The chain procedures both archive variants share. The table checks, and
// with them hostile chains, are covered by each archive's open tests.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "archive/BasicFormat.h"
#include "archive/HashChain.h"
#include "orvel/VrkErrors.h"

using orvel::HashEntry;
using orvel::kNone;
using orvel::basic::BlockEntry;
using Hash = std::array<uint32_t, 3>;

namespace {

const HashEntry kFree{kNone, kNone, kNone, kNone, kNone};

// Insertion and removal written the plain way: a name anywhere in the table
// is refused, the first free entry is found by a scan from index 0, a foreign
// occupant of the home index moves there; removal at a home index moves the
// successor in. The library walks one chain and keeps a lowest-free hint.
struct Reference {
  std::vector<HashEntry> ht;
  std::vector<BlockEntry> bt;
  uint32_t mask;

  void Relink(uint32_t from, uint32_t to) {
    for (uint32_t j = ht[from].hash0 & mask; j != kNone; j = ht[j].next)
      if (ht[j].next == from) ht[j].next = to;
  }
  int Insert(const Hash& h, uint32_t block, uint32_t* out) {
    const uint32_t home = h[0] & mask;
    for (const HashEntry& x : ht)
      if (x.blockIndex != kNone && Hash{x.hash0, x.hash1, x.hash2} == h) return VRKERR_EXISTS;
    uint32_t f = home;
    if (ht[home].blockIndex != kNone) {
      for (f = 0; f < ht.size() && ht[f].blockIndex != kNone;) ++f;
      if (f == ht.size()) return VRKERR_TABLE_FULL;
      if ((ht[home].hash0 & mask) != home) {  // foreign occupant
        Relink(home, f);
        ht[f] = ht[home];
        bt[ht[f].blockIndex].hashIndex = f;
        f = home;
      } else {
        uint32_t last = home;
        while (ht[last].next != kNone) last = ht[last].next;
        ht[last].next = f;
      }
    }
    ht[f] = HashEntry{h[0], h[1], h[2], block, kNone};
    return *out = f, 0;
  }
  void Remove(uint32_t index) {
    uint32_t freed = index;
    if ((ht[index].hash0 & mask) != index) {
      Relink(index, ht[index].next);
    } else if (ht[index].next != kNone) {
      freed = ht[index].next;
      ht[index] = ht[freed];
      bt[ht[index].blockIndex].hashIndex = index;
    }
    ht[freed] = kFree;
  }
};

TEST(HashChain, HintGivesTheSameTablesAsAScanFromZero) {
  std::mt19937 rng(7);
  const uint32_t size = 64;
  Reference ref{std::vector<HashEntry>(size, kFree), std::vector<BlockEntry>(size), size - 1};
  std::vector<HashEntry> ours = ref.ht;
  std::vector<BlockEntry> ourBlocks = ref.bt;
  std::vector<Hash> live;
  uint32_t hint = 0;
  int refused[2] = {0, 0};
  for (int step = 0; step < 20000; ++step) {
    if (live.empty() || rng() % 3 != 0) {
      // Few distinct hash0 values make long chains and many foreign moves;
      // few names in all make repeats and full tables.
      const Hash h = {static_cast<uint32_t>(rng() % 97), static_cast<uint32_t>(rng() % 3), 0};
      uint32_t a = 0, b = 0;
      const uint32_t block = static_cast<uint32_t>(step % size);
      const int ra = orvel::InsertIntoChains(ours.data(), ourBlocks.data(), size - 1, size,
                                             h.data(), &hint, &a);
      ASSERT_EQ(ra, ref.Insert(h, block, &b)) << step;
      if (ra == 0) {
        ASSERT_EQ(a, b);
        ours[a].blockIndex = block;  // the caller's part
        ourBlocks[block].hashIndex = ref.bt[block].hashIndex = a;
        live.push_back(h);
      } else {
        ++refused[ra == VRKERR_EXISTS ? 0 : 1];
      }
    } else {
      const size_t pick = rng() % live.size();
      const uint32_t a = orvel::FindInChains(ours.data(), size, live[pick].data());
      ASSERT_NE(a, kNone);
      orvel::UnlinkFromChain(ours.data(), ourBlocks.data(), size, a, &hint);
      ref.Remove(a);
      live.erase(live.begin() + static_cast<long>(pick));
    }
    ASSERT_EQ(std::memcmp(ours.data(), ref.ht.data(), size * sizeof(HashEntry)), 0) << step;
    ASSERT_EQ(std::memcmp(ourBlocks.data(), ref.bt.data(), size * sizeof(BlockEntry)), 0);
    for (const Hash& h : live) ASSERT_NE(orvel::FindInChains(ours.data(), size, h.data()), kNone);
  }
  EXPECT_GT(refused[0], 100);  // VRKERR_EXISTS
  EXPECT_GT(refused[1], 100);  // VRKERR_TABLE_FULL
}

// The chain structure checked the plain way: every chain walked from its
// home index with a mark on each entry it takes.
bool ReferenceChainsHold(const std::vector<HashEntry>& t) {
  const uint32_t size = static_cast<uint32_t>(t.size());
  for (const HashEntry& e : t) {
    if (e.blockIndex == kNone) {
      if (e.hash0 != kNone || e.hash1 != kNone || e.hash2 != kNone || e.next != kNone) return false;
    } else if (e.next != kNone && (e.next >= size || t[e.next].blockIndex == kNone)) {
      return false;
    }
  }
  std::vector<bool> seen(size);
  for (uint32_t home = 0; home < size; ++home) {
    if (t[home].blockIndex == kNone || (t[home].hash0 & (size - 1)) != home) continue;
    for (uint32_t j = home; j != kNone; j = t[j].next) {
      if (seen[j] || (t[j].hash0 & (size - 1)) != home) return false;
      seen[j] = true;
    }
  }
  for (uint32_t i = 0; i < size; ++i)
    if (t[i].blockIndex != kNone && !seen[i]) return false;
  return true;
}

// Tables built by insertions and removals hold; one field changed at random
// (a link, a home, a slot freed or dirtied) breaks them exactly when the plain
// check says so: cycles, joins, strays and links into free slots.
TEST(HashChain, OnePassCheckAgreesWithThePlainOne) {
  std::mt19937 rng(11);
  const uint32_t size = 32;
  int verdicts[2] = {0, 0};
  for (int round = 0; round < 3000; ++round) {
    std::vector<HashEntry> t(size, kFree);
    std::vector<BlockEntry> blocks(size);
    uint32_t hint = 0;
    const int names = static_cast<int>(rng() % size);
    for (int i = 0; i < names; ++i) {
      const Hash h = {static_cast<uint32_t>(rng() % 41), static_cast<uint32_t>(i), 0};
      uint32_t at = 0;
      if (orvel::InsertIntoChains(t.data(), blocks.data(), size - 1, size, h.data(), &hint, &at) == 0)
        t[at].blockIndex = static_cast<uint32_t>(i);
    }
    ASSERT_EQ(orvel::CheckChains(t.data(), size), VRKERR_OK) << round;
    const uint32_t s = static_cast<uint32_t>(rng() % size);
    const uint32_t other = static_cast<uint32_t>(rng() % (size + 2));
    switch (rng() % 4) {
      case 0: t[s].next = other < size ? other : kNone; break;
      case 1: t[s].hash0 = other; break;
      case 2: t[s] = kFree; break;
      default: t[s].blockIndex = other; break;
    }
    const bool holds = ReferenceChainsHold(t);
    ++verdicts[holds];
    ASSERT_EQ(orvel::CheckChains(t.data(), size) == VRKERR_OK, holds) << round;
  }
  EXPECT_GT(verdicts[0], 500);
  EXPECT_GT(verdicts[1], 500);
}

}  // namespace
