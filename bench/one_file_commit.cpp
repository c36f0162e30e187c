// One commit that replaces one small file: into an advanced archive of
// 1,000,000 names (plain, and with enciphered tables) and into a basic
// archive of 200,000 names (replaced by hashes). Each is timed with the
// table pieces tracked (only changed pieces enciphered, summed and written)
// and with tracking switched off (whole tables written, as before), in the
// same run; the goal is at most 10 ms and at most 0.1x the untracked time.
// The advanced archives are built on the first run and kept for the next
// (`perf record` this program to profile a commit).
//
//   bench_one_file_commit [directory, default /tmp] [rounds, default 5] [basic]
// ("basic" runs the basic archive's part only)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "BenchStats.h"
#include "OrvelPacket.h"
#include "codec/TablePieces.h"

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

double Time(const std::function<void()>& f) {
  const auto t0 = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

double ThreadCpu() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Median wall time and median CPU time of the calling thread (the work
// without the waits for the disk, steadier on a shared machine).
struct Times {
  double wall;
  double cpu;
};

std::string Name(unsigned i) {
  char name[64];
  std::snprintf(name, sizeof name, "assets/group%03u/item%07u.dat", i % 997, i);
  return name;
}

bool Build(const std::string& path, unsigned flags, unsigned names, unsigned table) {
  IOrvelPacket* p = g_piVrkSystem->NewPacket(path.c_str(), flags, 32, table, 0, 1);
  if (!p) return false;
  p->BeginUpdate();
  for (unsigned i = 0; i < names; ++i)
    p->AddFileFromMemory(Name(i).c_str(), 0, "sixteen bytes..!", 16, 0, 0);
  const int rc = p->EndUpdate();
  g_piVrkSystem->FreePacket(p);
  return rc == 0;
}

// Median time of `rounds` commits, each replacing one file by its hashes
// (the name list stays as it is), on the open archive `p`.
Times ReplaceCommits(IOrvelPacket* p, unsigned rounds, unsigned first, int* rc) {
  // A new stamp each time, so that every commit changes the block entry
  // also on archives kept from an earlier run.
  static unsigned stamp = static_cast<unsigned>(std::time(nullptr));
  std::vector<double> times, cpu;
  for (unsigned round = 0; round < rounds; ++round) {
    unsigned hash[3];
    p->GetFileHash(Name(first + round * 7919).c_str(), &hash[0], &hash[1], &hash[2]);
    const double c0 = ThreadCpu();
    times.push_back(Time([&] {
      p->BeginUpdate();
      p->AddCompressedFileByHash(hash, 2, "replaced bytes!!", 16, 16, 0, ++stamp);
      *rc |= p->EndUpdate();
    }));
    cpu.push_back(ThreadCpu() - c0);
  }
  return {orvel_bench::Median(times), orvel_bench::Median(cpu)};
}

// Tracked and untracked commits on one open archive, alternating so that
// both see the same page cache; returns false when a commit failed.
bool Compare(const char* label, const std::string& path, unsigned rounds) {
  IOrvelPacket* p = nullptr;
  const double open = Time([&] { p = g_piVrkSystem->LoadPacket(path.c_str()); });
  if (!p) return std::printf("%s: cannot open %s\n", label, path.c_str()), false;
  int rc = 0;
  ReplaceCommits(p, 1, 1, &rc);  // the first commit after the open warms the files
  orvel::SetTablePiecesEnabled(false);
  const Times before = ReplaceCommits(p, rounds, 11, &rc);
  orvel::SetTablePiecesEnabled(true);
  const Times after = ReplaceCommits(p, rounds, 23, &rc);
  g_piVrkSystem->FreePacket(p);
  std::printf("%-34s open %.3f s   commit: pieces tracked %.2f ms, whole tables %.2f ms, "
              "ratio %.3f (goal <= 10 ms, <= 0.1); CPU %.2f ms against %.2f ms, ratio %.3f%s\n",
              label, open, after.wall * 1e3, before.wall * 1e3, after.wall / before.wall,
              after.cpu * 1e3, before.cpu * 1e3, after.cpu / before.cpu, rc ? "  FAILED" : "");
  return rc == 0;
}

// Median time to make one written page durable in `dir`: a commit makes
// its journal, records, tables and names durable in about seven such steps,
// which bound its wall time from below.
double SyncTime(const std::string& dir) {
  const std::string path = dir + "/bench_one_commit_sync.tmp";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return 0;
  std::vector<double> times;
  char page[4096] = {1};
  for (int i = 0; i < 9; ++i)
    times.push_back(Time([&] {
      if (pwrite(fd, page, sizeof page, i * 4096) == sizeof page) fdatasync(fd);
    }));
  close(fd);
  fs::remove(path);
  return orvel_bench::Median(times);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp";
  const unsigned rounds = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 5;
  const bool basicOnly = argc > 3 && std::string(argv[3]) == "basic";
  bool ok = true;
  struct Advanced {
    const char* label;
    const char* file;
    unsigned flags;
  } advanced[] = {{"advanced, 1,000,000 names, plain", "/bench_one_commit.vrk", 8},
                  {"advanced, 1,000,000 names, cipher", "/bench_one_commit_ice.vrk", 8 | 2}};
  for (const Advanced& a : advanced) {
    if (basicOnly) break;
    const std::string path = dir + a.file;
    if (!fs::exists(path)) {
      const double t = Time([&] { ok &= Build(path, a.flags, 1000000, 1u << 21); });
      std::printf("built %s in %.1f s\n", path.c_str(), t);
    }
    ok &= Compare(a.label, path, rounds);
  }
  const std::string basic = dir + "/bench_one_commit_basic.vrk";
  fs::remove(basic);
  ok &= Build(basic, 0, 200000, 1u << 18);
  ok &= Compare("basic, 200,000 names, by hashes", basic, rounds);
  const std::string scrambled = dir + "/bench_one_commit_scrambled.vrk";
  fs::remove(scrambled);
  ok &= Build(scrambled, 2, 200000, 1u << 18);
  ok &= Compare("basic, 200,000 names, scrambled", scrambled, rounds);
  fs::remove(basic);
  fs::remove(scrambled);
  std::printf("one page made durable in %s: %.2f ms\n", dir.c_str(), SyncTime(dir) * 1e3);
  return ok ? 0 : 1;
}
