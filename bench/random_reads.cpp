// Reads COUNT files of an archive chosen at random (fixed seed) after it is
// open, and prints the seconds they took: the same reads from a path and
// from a URL compare the disk with HTTP (bench/http_reads.sh).
//
//   bench_random_reads ARCHIVE_OR_URL [COUNT]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "orvel/IOrvelPacket.h"
#include "orvel/IVrkSystem.h"
#include "orvel/VrkErrors.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_random_reads ARCHIVE_OR_URL [COUNT]\n");
    return 2;
  }
  const unsigned count = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 1000;
  IOrvelPacket* p = g_piVrkSystem->LoadPacket(argv[1]);
  if (!p) {
    std::fprintf(stderr, "bench_random_reads: %s does not open (%d)\n", argv[1], g_nVrkErrCode);
    return 2;
  }
  std::vector<std::string> names;
  char name[512];
  for (unsigned i = 1; p->GetFileName(i, name, sizeof name) == 0; ++i) names.emplace_back(name);
  if (names.empty()) return 2;
  std::mt19937 gen(12345);
  std::vector<const std::string*> picked;
  for (unsigned i = 0; i < count; ++i) picked.push_back(&names[gen() % names.size()]);
  uint64_t bytes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const std::string* n : picked) {
    unsigned size = 0;
    void* data = p->ReadFileAlloc(n->c_str(), &size, 0xFFFFFFFFu);
    if (!data) {
      std::fprintf(stderr, "bench_random_reads: %s: read failed (%d)\n", n->c_str(), g_nVrkErrCode);
      return 1;
    }
    bytes += size;
    p->FreeBuffer(data);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.4f %llu\n", seconds, static_cast<unsigned long long>(bytes));
  g_piVrkSystem->FreePacket(p);
  return 0;
}
