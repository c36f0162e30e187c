// The list of the files a patch carries, kept in ascending level.
#ifndef ORVEL_PATCH_PATCH_BLOCK_LIST_H
#define ORVEL_PATCH_PATCH_BLOCK_LIST_H

#include "patch/DualList.h"
#include "patch/PatchBlock.h"

namespace orvel {

template <>
inline bool CopiedWhole(const PatchBlock& copy, const PatchBlock& original) {
  return copy.lpName || !original.lpName;
}

class TPatchBlockList : public TDualList<PatchBlock> {
 public:
  explicit TPatchBlockList(unsigned int capacity) : TDualList<PatchBlock>(capacity) {}

  // Inserts by nVersion (unsigned): before the head when the head's key is
  // not smaller, after the tail when the tail's key is not larger, else
  // before the first node whose key is not smaller. So a key equal to the
  // head's goes first, one equal to the tail's goes last, and among equal
  // keys in the middle the new one goes first.
  virtual void AddSorted(const PatchBlock& b);
};

// Where AddSorted puts blocks added one after the other: given their keys in
// the order of adding, fills `order` with their indices from head to tail.
// Runs in O(n log n) where adding one by one can take O(n^2).
void OrderAsAddSorted(const unsigned int* keys, unsigned int count, unsigned int* order);

}  // namespace orvel

#endif
