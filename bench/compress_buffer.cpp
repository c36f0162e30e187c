// CCompressBuffer against direct liblzo2 calls on a mixed sample of the
// corpus: LZO1X-999 compression and safe LZO1X decompression, file by file.
//
//   bench_compress_buffer [corpus-dir] [every-nth-file]
#include <lzo/lzo1x.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchCorpus.h"
#include "codec/CompressBuffer.h"

namespace {

using orvel_bench::Bytes;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/corpus/loose";
  const size_t every = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100;
  if (!std::filesystem::is_directory(dir)) {
    std::fprintf(stderr, "no corpus at %s\n", dir.c_str());
    return 1;
  }
  const std::vector<Bytes> files = orvel_bench::LoadCorpus(dir, every);
  size_t total = 0, largest = 0;
  for (const auto& f : files) {
    total += f.size();
    largest = std::max(largest, f.size());
  }
  if (lzo_init() != LZO_E_OK) return 1;

  // Direct calls: the caller's own output buffer and work memory.
  Bytes out(orvel::CompressBound(largest) + 16), back(largest + 1);
  std::unique_ptr<unsigned char[]> work(new unsigned char[LZO1X_999_MEM_COMPRESS]);
  std::vector<Bytes> streams(files.size());
  auto cb = std::make_unique<orvel::CCompressBuffer>();

  // The two sides are timed call by call, taking turns going first, so that
  // both see the same cache state and the same load from other processes;
  // each total is the best of several passes.
  double directC = 1e9, oursC = 1e9, directD = 1e9, oursD = 1e9;
  size_t stored = 0;
  bool failed = false;
  for (int rep = 0; rep < 3; ++rep) {
    double d = 0, o = 0;
    stored = 0;
    for (size_t i = 0; i < files.size(); ++i) {
      for (int side = 0; side < 2; ++side) {
        const auto t = Clock::now();
        if ((side + i + rep) % 2 == 0) {
          lzo_uint n = out.size();
          lzo1x_999_compress(files[i].data(), files[i].size(), out.data(), &n,
                             work.get());
          d += Seconds(t);
          stored += n;
          if (rep == 0) streams[i].assign(out.begin(), out.begin() + n);
        } else {
          failed |= !cb->CompressBuffer(files[i].data(),
                                        static_cast<unsigned>(files[i].size()));
          o += Seconds(t);
        }
      }
    }
    directC = std::min(directC, d);
    oursC = std::min(oursC, o);
  }
  for (int rep = 0; rep < 40; ++rep) {
    double d = 0, o = 0;
    for (size_t i = 0; i < files.size(); ++i) {
      for (int side = 0; side < 2; ++side) {
        const auto t = Clock::now();
        if ((side + i + rep) % 2 == 0) {
          lzo_uint n = files[i].size();
          lzo1x_decompress_safe(streams[i].data(), streams[i].size(),
                                back.data(), &n, nullptr);
          d += Seconds(t);
        } else {
          failed |= !cb->Decompress(streams[i].data(),
                                    static_cast<unsigned>(streams[i].size()),
                                    static_cast<unsigned>(files[i].size()),
                                    back.data());
          o += Seconds(t);
        }
      }
    }
    directD = std::min(directD, d);
    oursD = std::min(oursD, o);
  }
  if (failed) {
    std::fprintf(stderr, "CCompressBuffer failed on the sample\n");
    return 1;
  }

  const double mb = total / 1e6;
  std::printf("%zu files, %.1f MB, ratio %.3f (every %zu-th file of %s)\n",
              files.size(), mb, double(stored) / double(total), every, dir.c_str());
  std::printf("compress    direct %7.1f MB/s  CCompressBuffer %7.1f MB/s  overhead %+.2f%%\n",
              mb / directC, mb / oursC, (oursC / directC - 1) * 100);
  std::printf("decompress  direct %7.1f MB/s  CCompressBuffer %7.1f MB/s  overhead %+.2f%%\n",
              mb / directD, mb / oursD, (oursD / directD - 1) * 100);
  return 0;
}
