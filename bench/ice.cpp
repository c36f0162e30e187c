// Thin-ICE throughput: enciphering and deciphering 16 MiB in place with the
// archive key, the size of a large archive's tables (a million hash entries
// are 20 MiB). The baseline is a plain memcpy of the same buffer, printed
// for scale.
//
//   bench_ice [mebibytes]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "codec/IceCipher.h"

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
double BestMegabytesPerSecond(F&& run, size_t bytes) {
  double best = 0;
  for (int rep = 0; rep < 5; ++rep) {
    const auto t = Clock::now();
    run();
    const double s = std::chrono::duration<double>(Clock::now() - t).count();
    best = std::max(best, bytes / s / 1e6);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
  const size_t bytes = mib << 20;
  std::vector<unsigned char> data(bytes), copy(bytes);
  std::mt19937 rng(1);
  for (auto& b : data) b = static_cast<unsigned char>(rng());
  const std::vector<unsigned char> original = data;
  orvel::KeyArchiveCipher();
  const unsigned n = static_cast<unsigned>(bytes);

  const double memcpyRate = BestMegabytesPerSecond(
      [&] { std::memcpy(copy.data(), data.data(), bytes); }, bytes);
  // Each encipher pass is undone by a decipher pass, so the buffer ends as
  // it started and the result can be checked.
  double enc = 0, dec = 0;
  for (int rep = 0; rep < 5; ++rep) {
    enc = std::max(enc, BestMegabytesPerSecond(
                            [&] { orvel::EncipherBuffer(data.data(), n); }, bytes));
    dec = std::max(dec, BestMegabytesPerSecond(
                            [&] { orvel::DecipherBuffer(data.data(), n); }, bytes));
  }
  if (data != original) {
    std::printf("MISMATCH: deciphering did not restore the buffer\n");
    return 1;
  }
  std::printf("Thin-ICE over %zu MiB in place\n", mib);
  std::printf("  encipher %8.1f MB/s  (%.1f ms per 20 MiB table)\n", enc,
              20.0 * 1048576 / enc / 1e3);
  std::printf("  decipher %8.1f MB/s  (%.1f ms per 20 MiB table)\n", dec,
              20.0 * 1048576 / dec / 1e3);
  std::printf("  memcpy   %8.1f MB/s  (for scale)\n", memcpyRate);
  return 0;
}
