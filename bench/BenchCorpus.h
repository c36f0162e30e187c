// Helpers shared by the benches that run over a corpus of files: gathering
// its files, reading one whole, and timing by this thread's processor time.
#ifndef ORVEL_BENCH_BENCH_CORPUS_H
#define ORVEL_BENCH_BENCH_CORPUS_H

#include <time.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orvel_bench {

using Bytes = std::vector<unsigned char>;

// This thread's processor time, so that waiting for a core another process
// holds is not counted.
inline double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

// Reads the whole file at `path` into `data`; false when it cannot be read.
inline bool ReadBytes(const std::string& path, Bytes* data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  data->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Every nth regular file below `dir` in sorted path order (only those ending
// in `extension` unless it is empty), so that runs see the same sample.
inline std::vector<std::string> CorpusPaths(const std::string& dir, size_t every,
                                            const std::string& extension = "") {
  std::vector<std::string> all;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
    if (e.is_regular_file() && (extension.empty() || e.path().extension() == extension))
      all.push_back(e.path().string());
  std::sort(all.begin(), all.end());
  std::vector<std::string> paths;
  for (size_t i = 0; i < all.size(); i += every ? every : 1) paths.push_back(all[i]);
  return paths;
}

// The contents of CorpusPaths(dir, every, extension).
inline std::vector<Bytes> LoadCorpus(const std::string& dir, size_t every,
                                     const std::string& extension = "") {
  std::vector<Bytes> files;
  for (const std::string& path : CorpusPaths(dir, every, extension)) {
    files.emplace_back();
    ReadBytes(path, &files.back());
  }
  return files;
}

}  // namespace orvel_bench

#endif
