// Adding many small files to a basic archive must cost O(n) overall: the mean
// time per add over the last 20,000 of 200,000 adds (one update bracket) is
// compared with the mean over the first 20,000. Beside it, the same bytes
// appended with plain pwrite calls, the floor of any add.
//
// Usage: bench_basic_adds [directory for the archive, default /tmp]
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/BasicPacket.h"
#include "orvel/VrkErrors.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFiles = 200000;
constexpr int kWindow = 20000;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp";
  const std::string path = dir + "/bench_basic_adds.vrk";
  const std::string plainPath = dir + "/bench_basic_adds.raw";
  std::vector<char> data(96);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);

  orvel::COrvelPacket packet;
  if (!packet.CreatePacket(path.c_str(), 0, 1024, 0, 1)) {
    std::fprintf(stderr, "cannot create %s (%d)\n", path.c_str(), g_nVrkErrCode);
    return 1;
  }
  std::vector<double> perAdd(kFiles);
  char name[64];
  const Clock::time_point start = Clock::now();
  packet.BeginUpdate();
  for (int i = 0; i < kFiles; ++i) {
    std::snprintf(name, sizeof name, "data/set%03d/file%06d.bin", i % 500, i);
    const Clock::time_point t0 = Clock::now();
    const int rc = packet.AddFileFromMemory(name, 0, data.data(), 96, 0, 0);
    perAdd[i] = Micros(Clock::now() - t0);
    if (rc != 0) {
      std::fprintf(stderr, "add %d failed: %d\n", i, rc);
      return 1;
    }
  }
  const Clock::time_point endAdds = Clock::now();
  const int rc = packet.EndUpdate();
  const Clock::time_point end = Clock::now();
  if (rc != 0) return std::fprintf(stderr, "EndUpdate: %d\n", rc), 1;

  // Baseline: the same bytes appended with one pwrite each.
  const int fd = open(plainPath.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  std::vector<double> perWrite(kFiles);
  for (int i = 0; i < kFiles; ++i) {
    const Clock::time_point t0 = Clock::now();
    if (pwrite(fd, data.data(), 96, static_cast<off_t>(i) * 96) != 96) return 1;
    perWrite[i] = Micros(Clock::now() - t0);
  }
  close(fd);

  auto mean = [](const std::vector<double>& v, int from, int to) {
    double s = 0;
    for (int i = from; i < to; ++i) s += v[i];
    return s / (to - from);
  };
  const double first = mean(perAdd, 0, kWindow);
  const double last = mean(perAdd, kFiles - kWindow, kFiles);
  std::printf(
      "basic archive, %d adds from memory (96 bytes) in one bracket, tables growing from 1024\n",
      kFiles);
  std::printf("  adds total             %10.1f ms\n", Micros(endAdds - start) / 1000);
  std::printf("  EndUpdate              %10.1f ms\n", Micros(end - endAdds) / 1000);
  std::printf("  mean per add, first %d %8.3f us   (pwrite alone %.3f us)\n", kWindow, first,
              mean(perWrite, 0, kWindow));
  std::printf("  mean per add, last %d  %8.3f us   (pwrite alone %.3f us)\n", kWindow, last,
              mean(perWrite, kFiles - kWindow, kFiles));
  std::printf("  ratio last/first       %10.3f   (must be <= 1.5)\n", last / first);
  std::printf("  ratio add/pwrite, all  %10.3f\n",
              mean(perAdd, 0, kFiles) / mean(perWrite, 0, kFiles));
  unlink(path.c_str());
  unlink(plainPath.c_str());
  return last / first <= 1.5 ? 0 : 2;
}
