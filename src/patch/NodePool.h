// A pool of list nodes handed out from a preallocated array, last freed
// first reused; nodes beyond the array come from the heap one by one.
#ifndef ORVEL_PATCH_NODE_POOL_H
#define ORVEL_PATCH_NODE_POOL_H

#include <cstdint>
#include <new>

#include "frame/Allocation.h"

namespace orvel {

template <class Node>
class TPool : public VrkHeapObject {
 public:
  explicit TPool(unsigned int capacity)
      : m_pFreeIndex(nullptr), m_nFreeCount(0), m_nCapacity(0), m_pNodes(nullptr) {
    if (capacity == 0 || capacity > UINT32_MAX / sizeof(Node)) return;
    auto* index = static_cast<unsigned int*>(VrkAlloc(sizeof(unsigned int) * capacity));
    auto* nodes = static_cast<Node*>(VrkAlloc(sizeof(Node) * capacity));
    if (!index || !nodes) {
      // A pool without its arrays hands out heap nodes only.
      VrkFree(index);
      VrkFree(nodes);
      return;
    }
    for (unsigned int i = 0; i < capacity; ++i) {
      index[i] = i;  // capacity - 1 ends up on top and goes out first
      new (&nodes[i]) Node();
    }
    m_pFreeIndex = index;
    m_pNodes = nodes;
    m_nFreeCount = m_nCapacity = capacity;
  }

  virtual ~TPool() {
    for (unsigned int i = 0; i < m_nCapacity; ++i) m_pNodes[i].~Node();
    VrkFree(m_pNodes);
    VrkFree(m_pFreeIndex);
  }

  TPool(const TPool&) = delete;
  TPool& operator=(const TPool&) = delete;

  virtual Node* Alloc() {
    if (m_nFreeCount > 0) return &m_pNodes[m_pFreeIndex[--m_nFreeCount]];
    void* p = VrkAlloc(sizeof(Node));
    return p ? new (p) Node() : nullptr;
  }

  // An array node only goes back on the stack (its block keeps its name
  // until the node is stored into again); a heap node is destroyed.
  virtual void Free(Node* node) {
    if (!node) return;
    if (Owns(node)) {
      m_pFreeIndex[m_nFreeCount++] = static_cast<unsigned int>(node - m_pNodes);
      return;
    }
    node->~Node();
    VrkFree(node);
  }

  bool Owns(const Node* node) const {
    // Compared as addresses: a heap node is not part of the array.
    const auto p = reinterpret_cast<std::uintptr_t>(node);
    const auto first = reinterpret_cast<std::uintptr_t>(m_pNodes);
    return m_pNodes && p >= first && p < first + sizeof(Node) * m_nCapacity;
  }

  unsigned int* m_pFreeIndex;
  unsigned int m_nFreeCount;
  unsigned int m_nCapacity;
  Node* m_pNodes;
};

}  // namespace orvel

#endif
