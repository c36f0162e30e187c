#include "patch/PatchBlockList.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace orvel {

void TPatchBlockList::AddSorted(const PatchBlock& b) {
  Node* node = Store(b);
  if (!node) return;
  const unsigned int key = b.nVersion;
  if (!m_pHead || m_pHead->block.nVersion >= key) return LinkBefore(node, m_pHead);
  if (m_pTail->block.nVersion <= key) return LinkBefore(node, nullptr);
  Node* next = m_pHead->pNext;
  while (next && next->block.nVersion < key) next = next->pNext;
  LinkBefore(node, next);
}

void OrderAsAddSorted(const unsigned int* keys, unsigned int count, unsigned int* order) {
  // Within one key, a block that AddSorted puts first (before the head or in
  // the middle) goes before every block of that key added earlier, one put
  // last (after the tail) after them. So each block gets a rank among its
  // key: minus its arrival for "first", its arrival for "last".
  struct Ranked {
    unsigned int key;
    int64_t rank;
    unsigned int index;
  };
  std::vector<Ranked, VrkStlAllocator<Ranked>> ranked(count);
  unsigned int low = 0, high = 0;
  for (unsigned int i = 0; i < count; ++i) {
    const unsigned int k = keys[i];
    bool last;
    if (i == 0) {
      last = true;
      low = high = k;
    } else if (low >= k) {
      last = false;
      low = k;
    } else if (high <= k) {
      last = true;
      high = k;
    } else {
      last = false;
    }
    ranked[i] = Ranked{k, last ? int64_t{i} : -int64_t{i} - 1, i};
  }
  std::sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
    return a.key != b.key ? a.key < b.key : a.rank < b.rank;
  });
  for (unsigned int i = 0; i < count; ++i) order[i] = ranked[i].index;
}

}  // namespace orvel
