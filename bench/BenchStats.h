// Helpers shared by the benches: mean and median of per-operation timings,
// and reading a whole file.
#ifndef ORVEL_BENCH_BENCH_STATS_H
#define ORVEL_BENCH_BENCH_STATS_H

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace orvel_bench {

inline double Mean(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x;
  return v.empty() ? 0 : s / static_cast<double>(v.size());
}

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// Timings of one method, overall and split by kind of file.
struct SplitTimes {
  std::vector<double> all, text, raw;
  void Add(double us, bool isText) {
    all.push_back(us);
    (isText ? text : raw).push_back(us);
  }
};

// The whole content of a file ("" when it cannot be read).
inline std::string Slurp(const std::string& path) {
  std::string s;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return s;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  std::fclose(f);
  return s;
}

}  // namespace orvel_bench

#endif
