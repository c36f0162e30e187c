// The C++ side of bench/python_reads.py: reads every file named in ORDER (one
// name a line) from ARCHIVE through the public interface, as a host does
// (ReadFileTo into a buffer it keeps), after one untimed pass that warms the
// caches, and prints the mean time per file of the timed pass.
//
//   bench_public_reads ARCHIVE ORDER
//   -> "us_per_file 41.23 files 20000"
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "OrvelPacket.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_public_reads ARCHIVE ORDER\n");
    return 2;
  }
  std::vector<std::string> names;
  std::ifstream order(argv[2]);
  for (std::string line; std::getline(order, line);)
    if (!line.empty()) names.push_back(line);
  IOrvelPacket* a = g_piVrkSystem->LoadPacket(argv[1]);
  if (!a || names.empty()) {
    std::fprintf(stderr, "%s: cannot open (%d) or no names\n", argv[1], g_nVrkErrCode);
    return 1;
  }
  std::vector<unsigned char> buffer(64 << 20);
  auto pass = [&] {
    for (const std::string& name : names) {
      const unsigned size = a->GetFileOriginalSize(name.c_str());
      if (size > 0 &&
          a->ReadFileTo(name.c_str(), buffer.data(), static_cast<int>(buffer.size()), VRK_BY_NAME) !=
              static_cast<int>(size))
        return false;
    }
    return true;
  };
  if (!pass()) return std::fprintf(stderr, "read failed (%d)\n", g_nVrkErrCode), 1;
  const auto t0 = std::chrono::steady_clock::now();
  if (!pass()) return 1;
  const auto t1 = std::chrono::steady_clock::now();
  const double us = std::chrono::duration<double, std::micro>(t1 - t0).count();
  std::printf("us_per_file %.3f files %zu\n", us / static_cast<double>(names.size()), names.size());
  g_piVrkSystem->FreePacket(a);
  return 0;
}
