// One file that a patch carries: its name and the level (the low half of its
// version stamp) at which it was last written.
#ifndef ORVEL_PATCH_PATCH_BLOCK_H
#define ORVEL_PATCH_PATCH_BLOCK_H

#include <cstring>

#include "frame/Allocation.h"

namespace orvel {

// A value type that owns its copy of the name, kept on the process heap
// whatever allocator the host installed. Copies duplicate the name; a copy
// whose duplicate could not be made has a null name.
struct PatchBlock {
  unsigned int nVersion = 0;
  char* lpName = nullptr;

  PatchBlock() = default;
  PatchBlock(unsigned int version, const char* name)
      : nVersion(version), lpName(name ? HeapStrDup(name) : nullptr) {}
  PatchBlock(const PatchBlock& other) : PatchBlock(other.nVersion, other.lpName) {}
  PatchBlock(PatchBlock&& other) noexcept : nVersion(other.nVersion), lpName(other.lpName) {
    other.lpName = nullptr;
  }
  PatchBlock& operator=(const PatchBlock& other) {
    if (this != &other) {
      Release();
      nVersion = other.nVersion;
      lpName = other.lpName ? HeapStrDup(other.lpName) : nullptr;
    }
    return *this;
  }
  PatchBlock& operator=(PatchBlock&& other) noexcept {
    if (this != &other) {
      Release();
      nVersion = other.nVersion;
      lpName = other.lpName;
      other.lpName = nullptr;
    }
    return *this;
  }
  ~PatchBlock() { Release(); }

  void Release() {
    if (lpName) HeapStrFree(lpName);
    lpName = nullptr;
  }

  // Same level and the same name byte for byte (letter case matters).
  bool operator==(const PatchBlock& other) const {
    if (nVersion != other.nVersion) return false;
    if (!lpName || !other.lpName) return lpName == other.lpName;
    return std::strcmp(lpName, other.lpName) == 0;
  }
};

}  // namespace orvel

#endif
