// Test data and byte access shared by the tests.
#ifndef ORVEL_TESTS_COMMON_TEST_DATA_H
#define ORVEL_TESTS_COMMON_TEST_DATA_H

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace orvel_test {

inline uint32_t Word(const std::string& bytes, size_t offset) {
  uint32_t w = 0;
  std::memcpy(&w, bytes.data() + offset, 4);
  return w;
}

// Compressible text: a 23-letter cycle.
inline std::string Text(size_t n, char seed) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + seed) % 23);
  return s;
}

// Incompressible bytes, as a std::string or a byte vector.
template <class Out = std::string>
Out RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Out v(n, 0);
  for (auto& b : v) b = static_cast<typename Out::value_type>(rng());
  return v;
}

}  // namespace orvel_test

#endif
