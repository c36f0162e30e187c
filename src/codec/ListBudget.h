// What loading an archive's name list may cost: at most this many bytes of
// memory for each byte read from the archive for it, plus a fixed allowance.
// LZO1X lets a stored list stand for 256 times its size, and loading holds
// the text more than once (decoded, kept, and the copy a commit reuses), so
// a list whose loading would need more is refused as damaged instead of
// letting a small hostile file cost gigabytes. Real name lists pack a few
// times smaller than their text and stay far inside it.
#ifndef ORVEL_CODEC_LIST_BUDGET_H
#define ORVEL_CODEC_LIST_BUDGET_H

#include <cstdint>

namespace orvel {

constexpr uint64_t kListMemoryPerByte = 256;
constexpr uint64_t kListMemoryAllowance = uint64_t{4} << 20;

inline uint64_t ListMemoryBudget(uint64_t bytesRead) {
  return kListMemoryPerByte * bytesRead + kListMemoryAllowance;
}

}  // namespace orvel

#endif
