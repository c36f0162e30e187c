// The pooled, sorted list of the files a patch carries.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "patch/PatchBlockList.h"

namespace {

using orvel::PatchBlock;
using orvel::TPatchBlockList;

std::string Contents(const TPatchBlockList& list) {
  std::string s;
  unsigned n = 0;
  for (auto* node = list.m_pHead; node; node = node->pNext, ++n) {
    if (!s.empty()) s += ", ";
    s += std::to_string(node->block.nVersion) + " " + node->block.lpName;
    if (node->pNext) {
      EXPECT_EQ(node->pNext->pPrev, node);
    }
  }
  EXPECT_EQ(n, list.m_nCount);
  return s;
}

void AddAll(TPatchBlockList& list, std::initializer_list<std::pair<unsigned, const char*>> blocks) {
  for (const auto& b : blocks) list.AddSorted(PatchBlock(b.first, b.second));
}

TEST(PatchBlockList, AddSortedOrdersTiesAsDocumented) {
  TPatchBlockList a(64);
  AddAll(a, {{5, "a"}, {3, "b"}, {5, "c"}, {4, "d"}, {5, "e"}});
  EXPECT_EQ(Contents(a), "3 b, 4 d, 5 a, 5 c, 5 e");

  TPatchBlockList middle(64);
  AddAll(middle, {{3, "x"}, {5, "y"}, {7, "z"}, {5, "w"}});
  EXPECT_EQ(Contents(middle), "3 x, 5 w, 5 y, 7 z");

  TPatchBlockList head(64);
  AddAll(head, {{3, "x"}, {7, "z"}, {3, "v"}});
  EXPECT_EQ(Contents(head), "3 v, 3 x, 7 z");

  TPatchBlockList unsignedKeys(64);
  AddAll(unsignedKeys, {{0x80000000u, "high"}, {1, "low"}});
  EXPECT_EQ(Contents(unsignedKeys), "1 low, 2147483648 high");
}

// The builder orders a whole collection at once; it must give exactly the
// list that adding the blocks one by one gives, ties included.
TEST(PatchBlockList, OrderAsAddSortedMatchesAddingOneByOne) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    const unsigned n = rng() % 40;
    const unsigned spread = 1 + rng() % 6;
    std::vector<unsigned> keys(n);
    TPatchBlockList list(4);
    for (unsigned i = 0; i < n; ++i) {
      keys[i] = rng() % spread;
      list.AddSorted(PatchBlock(keys[i], std::to_string(i).c_str()));
    }
    std::vector<unsigned> order(n);
    orvel::OrderAsAddSorted(keys.data(), n, order.data());
    std::vector<unsigned> expected;
    for (auto* node = list.m_pHead; node; node = node->pNext)
      expected.push_back(static_cast<unsigned>(std::stoul(node->block.lpName)));
    ASSERT_EQ(order, expected) << "round " << round;
  }
}

TEST(PatchBlockList, PoolReusesLastFreedAndLendsHeapNodesBeyondCapacity) {
  TPatchBlockList list(64);
  auto* pool = list.m_pPool;
  for (unsigned i = 0; i < 65; ++i) list.AddTail(PatchBlock(i, "n"));
  EXPECT_EQ(pool->m_nFreeCount, 0u);
  EXPECT_FALSE(pool->Owns(list.m_pTail));  // the 65th came from the heap
  EXPECT_TRUE(pool->Owns(list.m_pHead));

  PatchBlock tail = list.RemoveTail();  // back to the heap: the stack is untouched
  EXPECT_EQ(pool->m_nFreeCount, 0u);
  EXPECT_STREQ(tail.lpName, "n");
  EXPECT_EQ(list.m_pHead, &pool->m_pNodes[63]);  // the top of the stack went out first
  list.RemoveHead();
  EXPECT_EQ(pool->m_nFreeCount, 1u);

  list.RemoveAll();
  EXPECT_EQ(list.m_pHead, nullptr);
  EXPECT_EQ(list.m_nCount, 0u);
  // RemoveAll frees from the head; the last node it freed (array index 0,
  // the 64th handed out) is the first handed out again.
  EXPECT_EQ(pool->Alloc(), &pool->m_pNodes[0]);
  pool->Free(nullptr);
}

TEST(PatchBlockList, RemoveTakesOneMatchHeadTailThenFront) {
  TPatchBlockList list(64);
  list.AddTail(PatchBlock(1, "a"));
  list.AddTail(PatchBlock(2, "b"));
  list.AddTail(PatchBlock(1, "a"));
  list.AddTail(PatchBlock(2, "b"));
  list.AddTail(PatchBlock(3, "c"));
  list.Remove(PatchBlock(1, "A"));  // letter case matters
  EXPECT_EQ(Contents(list), "1 a, 2 b, 1 a, 2 b, 3 c");
  list.Remove(PatchBlock(1, "a"));  // the head
  EXPECT_EQ(Contents(list), "2 b, 1 a, 2 b, 3 c");
  list.Remove(PatchBlock(2, "b"));  // the head again
  EXPECT_EQ(Contents(list), "1 a, 2 b, 3 c");
  list.Remove(PatchBlock(3, "c"));  // the tail
  list.Remove(PatchBlock(2, "b"));  // found from the front
  EXPECT_EQ(Contents(list), "1 a");
  list.RemoveAll();
  EXPECT_EQ(list.RemoveHead().lpName, nullptr);  // empty: a default block
}

}  // namespace
