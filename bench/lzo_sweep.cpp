// Compresses every file named on standard input (paths ended by NUL) with our
// LZO1X-999 compressor and with liblzo2's, and counts the files whose
// streams differ; scripts/lzo_sweep feeds it whole directory trees. Also
// totals each compressor's processor time.
//
//   find DIR -type f -print0 | bench_lzo_sweep [level]
// Exits 1 when any stream differs (each such path is printed).
#include <lzo/lzo1x.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "BenchCorpus.h"
#include "codec/Lzo1x999Compress.h"

using orvel_bench::CpuSeconds;

int main(int argc, char** argv) {
  const int level = argc > 1 ? std::atoi(argv[1]) : orvel::kLzo999DefaultLevel;
  if (lzo_init() != LZO_E_OK || level < 1 || level > 9) return 2;
  orvel::Lzo1x999Compressor ours;
  std::vector<unsigned char> work(LZO1X_999_MEM_COMPRESS), mine, theirs, data;
  size_t files = 0, unreadable = 0, differ = 0;
  unsigned long long bytes = 0;
  double ourTime = 0, theirTime = 0;
  std::string path;
  while (std::getline(std::cin, path, '\0')) {
    if (!orvel_bench::ReadBytes(path, &data)) {
      ++unreadable;
      continue;
    }
    mine.resize(orvel::Lzo1x999Bound(data.size()));
    theirs.resize(mine.size());
    size_t n = 0;
    lzo_uint m = 0;
    double t = CpuSeconds();
    const bool ok = ours.Compress(data.data(), data.size(), mine.data(), &n, level);
    ourTime += CpuSeconds() - t;
    t = CpuSeconds();
    lzo1x_999_compress_level(data.data(), data.size(), theirs.data(), &m, work.data(), nullptr, 0,
                             nullptr, level);
    theirTime += CpuSeconds() - t;
    ++files;
    bytes += data.size();
    if (!ok || n != m || std::memcmp(mine.data(), theirs.data(), n) != 0) {
      ++differ;
      std::printf("DIFFERS %s\n", path.c_str());
      std::fflush(stdout);
    }
  }
  std::printf("level %d: %zu files, %.1f MB, %zu differ, %zu unreadable; liblzo2 %.1f s, ours %.1f s (%.2fx)\n",
              level, files, bytes / 1e6, differ, unreadable, theirTime, ourTime,
              ourTime > 0 ? theirTime / ourTime : 0.0);
  return differ ? 1 : 0;
}
