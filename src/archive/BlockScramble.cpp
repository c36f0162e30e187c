#include "archive/BlockScramble.h"

#include <cstring>

namespace orvel {
namespace basic {
namespace {

constexpr unsigned kWords = sizeof(BlockEntry) / 4;

}  // namespace

void ScrambleBlockRing(const BlockEntry* plain, BlockEntry* out, uint32_t size, uint32_t first,
                       uint32_t count) {
  uint32_t chain = kScrambleSeed;
  uint32_t index = first;
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t words[kWords];
    std::memcpy(words, &plain[index], sizeof words);
    for (uint32_t& w : words) {
      chain ^= w;
      w = chain;
    }
    std::memcpy(&out[index], words, sizeof words);
    if (++index == size) index = 0;
  }
}

void UnscrambleBlockRing(BlockEntry* table, uint32_t size, uint32_t first, uint32_t count) {
  uint32_t previous = kScrambleSeed;
  uint32_t index = first;
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t words[kWords];
    std::memcpy(words, &table[index], sizeof words);
    for (uint32_t& w : words) {
      const uint32_t stored = w;
      w = stored ^ previous;
      previous = stored;
    }
    std::memcpy(&table[index], words, sizeof words);
    if (++index == size) index = 0;
  }
}

}  // namespace basic
}  // namespace orvel
