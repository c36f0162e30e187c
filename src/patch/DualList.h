// A doubly linked list whose nodes come from a pool of its own.
#ifndef ORVEL_PATCH_DUAL_LIST_H
#define ORVEL_PATCH_DUAL_LIST_H

#include <utility>

#include "frame/Allocation.h"
#include "patch/NodePool.h"

namespace orvel {

// Whether a stored copy is whole (a value type whose copy can fail to get
// its resources, such as a name, overloads this).
template <class T>
bool CopiedWhole(const T&, const T&) {
  return true;
}

template <class T>
class TDualList : public VrkHeapObject {
 public:
  struct Node {
    T block;
    Node* pNext;
    Node* pPrev;
  };

  explicit TDualList(unsigned int capacity)
      : m_pHead(nullptr), m_pTail(nullptr), m_pPool(new TPool<Node>(capacity)), m_nCount(0) {}

  virtual ~TDualList() {
    RemoveAll();
    delete m_pPool;
  }

  TDualList(const TDualList&) = delete;
  TDualList& operator=(const TDualList&) = delete;

  virtual void AddHead(T b) {
    if (Node* node = Store(b)) LinkBefore(node, m_pHead);
  }

  virtual void AddTail(T b) {
    if (Node* node = Store(b)) LinkBefore(node, nullptr);
  }

  // Removes one node equal to `b`: the head if it is, else the tail if it
  // is, else the first from the front.
  virtual void Remove(T b) {
    if (!m_pHead) return;
    Node* node = nullptr;
    if (m_pHead->block == b) node = m_pHead;
    else if (m_pTail->block == b) node = m_pTail;
    else
      for (Node* n = m_pHead->pNext; n; n = n->pNext)
        if (n->block == b) {
          node = n;
          break;
        }
    if (!node) return;
    Unlink(node);
    m_pPool->Free(node);
  }

  // The head's value, which the caller now owns; a default value when the
  // list is empty.
  virtual T RemoveHead() { return Take(m_pHead); }
  virtual T RemoveTail() { return Take(m_pTail); }

  virtual void RemoveAll() {
    for (Node* n = m_pHead; n;) {
      Node* next = n->pNext;
      m_pPool->Free(n);
      n = next;
    }
    m_pHead = m_pTail = nullptr;
    m_nCount = 0;
  }

  Node* m_pHead;
  Node* m_pTail;
  TPool<Node>* m_pPool;
  unsigned int m_nCount;

 protected:
  // A node from the pool holding a copy of `b`, links cleared; null (and
  // nothing changed) when no node or no whole copy can be had.
  Node* Store(const T& b) {
    Node* node = m_pPool ? m_pPool->Alloc() : nullptr;
    if (!node) return nullptr;
    node->block = b;
    if (!CopiedWhole(node->block, b)) {
      m_pPool->Free(node);
      return nullptr;
    }
    node->pNext = node->pPrev = nullptr;
    return node;
  }

  // Links `node` in before `next` (at the tail when null).
  void LinkBefore(Node* node, Node* next) {
    Node* prev = next ? next->pPrev : m_pTail;
    node->pPrev = prev;
    node->pNext = next;
    if (prev) prev->pNext = node;
    else m_pHead = node;
    if (next) next->pPrev = node;
    else m_pTail = node;
    ++m_nCount;
  }

 private:
  void Unlink(Node* node) {
    if (node->pPrev) node->pPrev->pNext = node->pNext;
    else m_pHead = node->pNext;
    if (node->pNext) node->pNext->pPrev = node->pPrev;
    else m_pTail = node->pPrev;
    node->pNext = node->pPrev = nullptr;
    --m_nCount;
  }

  T Take(Node* node) {
    if (!node) return T();
    Unlink(node);
    T value = std::move(node->block);
    m_pPool->Free(node);
    return value;
  }
};

}  // namespace orvel

#endif
