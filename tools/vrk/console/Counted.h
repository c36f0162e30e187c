// Counts in messages, with the noun in the right number.
#ifndef VRK_COUNTED_H
#define VRK_COUNTED_H

#include <cstdint>
#include <string>

namespace vrk {

// "1 file", "0 files", "12 block files".
inline std::string Counted(uint64_t n, const std::string& noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

}  // namespace vrk

#endif
