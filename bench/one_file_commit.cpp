// One commit that replaces one file of an advanced archive of 1,000,000
// names, timed by phase, for profiling (`perf record` this program; the
// archive is built on the first run and kept for the next).
//
//   bench_one_file_commit [directory, default /tmp]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "OrvelPacket.h"

using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  const std::string path = std::string(argc > 1 ? argv[1] : "/tmp") + "/bench_one_commit.vrk";
  char name[64];
  if (!std::filesystem::exists(path)) {
    IOrvelPacket* p = g_piVrkSystem->NewPacket(path.c_str(), 8, 32, 1u << 21, 0, 1);
    if (!p) return 1;
    p->BeginUpdate();
    for (unsigned i = 0; i < 1000000; ++i) {
      std::snprintf(name, sizeof name, "assets/group%03u/item%07u.dat", i % 997, i);
      p->AddFileFromMemory(name, 0, "sixteen bytes..!", 16, 0, 0);
    }
    p->EndUpdate();
    g_piVrkSystem->FreePacket(p);
    std::printf("built %s; run again to time a commit\n", path.c_str());
    return 0;
  }
  const auto t0 = Clock::now();
  IOrvelPacket* p = g_piVrkSystem->LoadPacket(path.c_str());
  if (!p) return 1;
  const auto t1 = Clock::now();
  p->BeginUpdate();
  std::snprintf(name, sizeof name, "assets/group%03u/item%07u.dat", 5u % 997, 5u);
  p->AddFileFromMemory(name, 2, "replaced bytes!!", 16, 0, 0);
  const auto t2 = Clock::now();
  const int rc = p->EndUpdate();
  const auto t3 = Clock::now();
  g_piVrkSystem->FreePacket(p);
  auto s = [](Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
  };
  std::printf("open %.3f s   bracket and replace %.4f s   commit %.3f s (rc %d)\n", s(t0, t1),
              s(t1, t2), s(t2, t3), rc);
  return rc == 0 ? 0 : 1;
}
