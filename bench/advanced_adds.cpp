// Adding 200,000 small files from memory to an advanced archive in one
// update bracket: the mean time per add over the last 20,000 against the
// first 20,000 shows whether adds cost O(n) overall (table growth included;
// the tables start at 1,024 entries).
//
//   bench_advanced_adds [directory for the archive, default /tmp]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "advance/VrkAdvance.h"
#include "orvel/VrkErrors.h"

using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp";
  const std::string path = dir + "/bench_advanced_adds.vrk";
  const unsigned kAdds = 200000, kWindow = 20000;
  orvel::CVrkAdvance* p = new orvel::CVrkAdvance();
  if (!p->CreatePacket(path.c_str(), 8 | 2, 1024, 0, 1)) {
    std::printf("create failed: %d\n", g_nVrkErrCode);
    return 1;
  }
  char data[100];
  for (unsigned i = 0; i < sizeof(data); ++i) data[i] = static_cast<char>(i * 31);
  std::vector<double> us(kAdds);
  char name[64];
  p->BeginUpdate();
  for (unsigned i = 0; i < kAdds; ++i) {
    std::snprintf(name, sizeof(name), "assets/group%03u/item%06u.dat", i % 500, i);
    auto t0 = Clock::now();
    int rc = p->AddFileFromMemory(name, 0, data, sizeof(data), 0, 0);
    auto t1 = Clock::now();
    if (rc != 0) {
      std::printf("add %u failed: %d\n", i, rc);
      return 1;
    }
    us[i] = std::chrono::duration<double, std::micro>(t1 - t0).count();
  }
  auto t2 = Clock::now();
  int rc = p->EndUpdate();
  auto t3 = Clock::now();
  double first = 0, last = 0, all = 0;
  for (unsigned i = 0; i < kWindow; ++i) first += us[i];
  for (unsigned i = kAdds - kWindow; i < kAdds; ++i) last += us[i];
  for (double x : us) all += x;
  std::printf("%u adds from memory in one bracket (tables grew to %u entries)\n", kAdds,
              p->TableSize());
  std::printf("mean per add: first %u %.2f us, last %u %.2f us, all %.2f us\n", kWindow,
              first / kWindow, kWindow, last / kWindow, all / kAdds);
  std::printf("per window of %u:", kWindow);
  for (unsigned w = 0; w < kAdds / kWindow; ++w) {
    double sum = 0;
    for (unsigned i = w * kWindow; i < (w + 1) * kWindow; ++i) sum += us[i];
    std::printf(" %.2f", sum / kWindow);
  }
  std::printf(" us\n");
  std::printf("last / first = %.3f (must be <= 1.5)\n", last / first);
  std::printf("EndUpdate (tables, headers, list side file): %.1f ms, result %d\n",
              std::chrono::duration<double, std::milli>(t3 - t2).count(), rc);
  delete p;
  unlink(path.c_str());
  unlink((dir + "/bench_advanced_adds.bhl").c_str());
  unlink((dir + "/bench_advanced_adds.lst").c_str());
  return last / first <= 1.5 ? 0 : 2;
}
