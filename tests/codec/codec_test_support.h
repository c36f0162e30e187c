// Helpers shared by the codec tests.
#ifndef ORVEL_TESTS_CODEC_CODEC_TEST_SUPPORT_H
#define ORVEL_TESTS_CODEC_CODEC_TEST_SUPPORT_H

#include <random>
#include <vector>

namespace orvel_test {

using Bytes = std::vector<unsigned char>;

inline Bytes RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes v(n);
  for (auto& b : v) b = static_cast<unsigned char>(rng());
  return v;
}

}  // namespace orvel_test

#endif
