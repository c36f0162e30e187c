// Our LZO1X decoder against liblzo2's lzo1x_decompress_safe on LZO1X-999
// streams of the corpus's text files (every nth), the two taking turns.
//
//   bench_lzo_decode [corpus-dir] [every-nth-file]
#include <lzo/lzo1x.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchCorpus.h"
#include "codec/Lzo1xDecode.h"

namespace {

using orvel_bench::Bytes;

struct Stream {
  Bytes packed;
  size_t size;
};

std::vector<Stream> LoadStreams(const std::string& dir, size_t every) {
  std::vector<unsigned char> work(LZO1X_999_MEM_COMPRESS);
  std::vector<Stream> streams;
  for (const Bytes& data : orvel_bench::LoadCorpus(dir, every, ".txt")) {
    Stream s{Bytes(data.size() + data.size() / 16 + 64 + 3), data.size()};
    lzo_uint packed = 0;
    lzo1x_999_compress(data.data(), data.size(), s.packed.data(), &packed, work.data());
    s.packed.resize(packed);
    streams.push_back(std::move(s));
  }
  return streams;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/corpus/loose";
  const size_t every = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 20;
  if (!std::filesystem::is_directory(dir) || lzo_init() != LZO_E_OK) {
    std::fprintf(stderr, "no corpus at %s\n", dir.c_str());
    return 1;
  }
  const std::vector<Stream> streams = LoadStreams(dir, every);
  size_t total = 0, largest = 0;
  for (const auto& s : streams) total += s.size, largest = std::max(largest, s.size);
  Bytes out(largest), check(largest);

  bool same = true;
  auto pass = [&](bool ours) {
    const double start = orvel_bench::CpuSeconds();
    for (const auto& s : streams) {
      size_t n = s.size;
      int rc;
      if (ours) {
        rc = orvel::Lzo1xDecodeSafe(s.packed.data(), s.packed.size(), out.data(), &n);
      } else {
        lzo_uint m = s.size;
        rc = lzo1x_decompress_safe(s.packed.data(), s.packed.size(), out.data(), &m, nullptr);
        n = m;
      }
      if (rc != 0 || n != s.size) same = false;
    }
    return total / (orvel_bench::CpuSeconds() - start) / 1e6;
  };
  double theirs = 0, ours = 0;
  for (int rep = 0; rep < 15; ++rep) {
    theirs = std::max(theirs, pass(false));
    ours = std::max(ours, pass(true));
  }
  // Same bytes as the reference on every stream.
  for (const auto& s : streams) {
    size_t n = s.size;
    lzo_uint m = s.size;
    orvel::Lzo1xDecodeSafe(s.packed.data(), s.packed.size(), out.data(), &n);
    lzo1x_decompress_safe(s.packed.data(), s.packed.size(), check.data(), &m, nullptr);
    if (n != m || !std::equal(out.begin(), out.begin() + static_cast<long>(n), check.begin()))
      same = false;
  }
  std::printf("LZO1X decode of %zu text streams, %.1f MB (best of 15, thread CPU time)\n", streams.size(),
              total / 1e6);
  std::printf("  liblzo2 safe  %8.1f MB/s\n", theirs);
  std::printf("  ours          %8.1f MB/s  ratio %.2fx%s\n", ours, ours / theirs,
              same ? "" : "  MISMATCH");
  return same ? 0 : 1;
}
