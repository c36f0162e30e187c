// Our LZO1X-999 compressor against liblzo2's lzo1x_999_compress_level on the
// corpus's text files (every nth), the two taking turns; also checks that
// every stream is the same bytes.
//
//   bench_lzo_compress [corpus-dir] [every-nth-file] [level]
#include <lzo/lzo1x.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchCorpus.h"
#include "codec/Lzo1x999Compress.h"

using orvel_bench::Bytes;
using orvel_bench::CpuSeconds;

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/corpus/loose";
  const size_t every = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 10;
  const int level = argc > 3 ? std::atoi(argv[3]) : orvel::kLzo999DefaultLevel;
  if (!std::filesystem::is_directory(dir) || lzo_init() != LZO_E_OK) {
    std::fprintf(stderr, "no corpus at %s\n", dir.c_str());
    return 1;
  }
  const std::vector<Bytes> files = orvel_bench::LoadCorpus(dir, every, ".txt");
  size_t total = 0, largest = 0;
  for (const auto& f : files) total += f.size(), largest = std::max(largest, f.size());
  Bytes mine(orvel::Lzo1x999Bound(largest)), theirs(mine.size());
  std::vector<unsigned char> work(LZO1X_999_MEM_COMPRESS);
  orvel::Lzo1x999Compressor ours;

  bool same = true;
  size_t packed = 0;
  auto pass = [&](bool useOurs) {
    const double start = CpuSeconds();
    packed = 0;
    for (const auto& f : files) {
      if (useOurs) {
        size_t n = 0;
        if (!ours.Compress(f.data(), f.size(), mine.data(), &n, level)) same = false;
        packed += n;
      } else {
        lzo_uint n = 0;
        lzo1x_999_compress_level(f.data(), f.size(), theirs.data(), &n, work.data(), nullptr, 0,
                                 nullptr, level);
        packed += n;
      }
    }
    return total / (CpuSeconds() - start) / 1e6;
  };
  double theirRate = 0, ourRate = 0;
  for (int rep = 0; rep < 3; ++rep) {
    theirRate = std::max(theirRate, pass(false));
    ourRate = std::max(ourRate, pass(true));
  }
  for (const auto& f : files) {
    size_t n = 0;
    lzo_uint m = 0;
    ours.Compress(f.data(), f.size(), mine.data(), &n, level);
    lzo1x_999_compress_level(f.data(), f.size(), theirs.data(), &m, work.data(), nullptr, 0, nullptr,
                             level);
    if (n != m || std::memcmp(mine.data(), theirs.data(), n) != 0) same = false;
  }
  std::printf("LZO1X-999 level %d of %zu text files, %.1f MB to %.1f MB (best of 3, thread CPU time)\n",
              level, files.size(), total / 1e6, packed / 1e6);
  std::printf("  liblzo2  %8.2f MB/s\n", theirRate);
  std::printf("  ours     %8.2f MB/s  ratio %.2fx%s\n", ourRate, ourRate / theirRate,
              same ? "  identical streams" : "  MISMATCH");
  return same ? 0 : 1;
}
