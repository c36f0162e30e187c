// A reader beside a long bracket: one writer process keeps its bracket open
// for SECONDS (adding files all along), commits, and then commits small
// brackets for a while; a reader process meanwhile opens the archive and
// reads one file with ReadFileAlloc every 20 ms. Readers never wait for a
// bracket, only for a commit in progress, so the reader's worst latency
// must stay within 50 ms plus the writer's longest commit.
//
//   bench_reader_latency DIR [seconds=60] [basic|advanced=advanced]
//   -> worst and median reader latency, the writer's longest commit
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "OrvelPacket.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string Data(uint32_t seed, size_t size) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>('a' + rng() % 8);
  return s;
}

struct WriterResult {
  double longestCommit = 0;
  double bracket = 0;
  int commits = 0;
};

WriterResult Writer(const std::string& path, double seconds) {
  WriterResult r;
  IOrvelPacket* p = g_piVrkSystem->LoadPacket(path.c_str());
  if (!p) return r;
  auto commit = [&] {
    const double t = Now();
    if (p->EndUpdate() != 0) std::fprintf(stderr, "commit failed (%d)\n", g_nVrkErrCode);
    r.longestCommit = std::max(r.longestCommit, Now() - t);
    ++r.commits;
  };
  const double start = Now();
  p->BeginUpdate();
  for (uint32_t i = 0; Now() - start < seconds; ++i) {
    const std::string d = Data(i, 256 << 10);
    p->AddFileFromMemory(("long/" + std::to_string(i)).c_str(), 1, d.data(),
                         static_cast<unsigned>(d.size()), 0, 0);
    if (i % 8 == 0) p->DeleteFile(("base/" + std::to_string(i % 64)).c_str());
  }
  r.bracket = Now() - start;
  commit();
  // Short brackets after the long one: commits the reader may meet.
  for (uint32_t i = 0; i < 50; ++i) {
    p->BeginUpdate();
    const std::string d = Data(i + 1000000, 4096);
    p->AddFileFromMemory(("base/" + std::to_string(i % 64)).c_str(), 3, d.data(),
                         static_cast<unsigned>(d.size()), 0, 0);
    commit();
    usleep(20000);
  }
  g_piVrkSystem->FreePacket(p);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_reader_latency DIR [seconds=60] [basic|advanced]\n");
    return 2;
  }
  const std::string path = std::string(argv[1]) + "/latency.vrk";
  const double seconds = argc > 2 ? std::atof(argv[2]) : 60;
  const bool basic = argc > 3 && std::string(argv[3]) == "basic";
  std::remove(path.c_str());
  IOrvelPacket* p = g_piVrkSystem->NewPacket(path.c_str(), basic ? 0 : 8, 32, 4096, 0, 1);
  if (!p) return std::fprintf(stderr, "cannot create %s\n", path.c_str()), 1;
  p->BeginUpdate();
  for (int i = 0; i < 64; ++i) {
    const std::string d = Data(static_cast<uint32_t>(i), 16384);
    p->AddFileFromMemory(("base/" + std::to_string(i)).c_str(), 1, d.data(),
                         static_cast<unsigned>(d.size()), 0, 0);
  }
  p->EndUpdate();
  g_piVrkSystem->FreePacket(p);

  int fds[2];
  if (pipe(fds) != 0) return 1;
  const pid_t writer = fork();
  if (writer == 0) {
    close(fds[0]);
    const WriterResult r = Writer(path, seconds);
    if (write(fds[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  std::vector<double> latencies;
  int failures = 0;
  for (int i = 0;; ++i) {
    int status = 0;
    if (waitpid(writer, &status, WNOHANG) == writer) break;
    const double t = Now();
    IOrvelPacket* r = g_piVrkSystem->LoadPacket(path.c_str());
    unsigned size = 0;
    void* data = r ? r->ReadFileAlloc(("base/" + std::to_string(i % 64)).c_str(), &size,
                                      0xFFFFFFFFu)
                   : nullptr;
    latencies.push_back(Now() - t);
    // A file the long bracket deletes is there until its commit, then gone.
    if (!r || (!data && g_nVrkErrCode != VRKERR_NOT_FOUND && g_nVrkErrCode != VRKERR_ADV_NOT_FOUND &&
               g_nVrkErrCode != VRKERR_HASH_NOT_FOUND)) {
      ++failures;
      std::fprintf(stderr, "read failed (%d)\n", g_nVrkErrCode);
    }
    if (r) {
      r->FreeBuffer(data);
      g_piVrkSystem->FreePacket(r);
    }
    usleep(20000);
  }
  WriterResult w;
  if (read(fds[0], &w, sizeof w) != static_cast<ssize_t>(sizeof w)) return 1;
  std::vector<double> sorted = latencies;
  std::sort(sorted.begin(), sorted.end());
  const double worst = sorted.empty() ? 0 : sorted.back();
  const double median = sorted.empty() ? 0 : sorted[sorted.size() / 2];
  const bool within = worst <= 0.050 + w.longestCommit;
  std::printf("%s: writer bracket %.1f s, %d commits, longest commit %.1f ms; reader: %zu opens + "
              "reads, %d failed, median %.2f ms, worst %.1f ms (limit %.1f ms) %s\n",
              basic ? "basic" : "advanced", w.bracket, w.commits, w.longestCommit * 1000,
              latencies.size(), failures, median * 1000, worst * 1000,
              (0.050 + w.longestCommit) * 1000, within ? "ok" : "OVER");
  return within && failures == 0 ? 0 : 1;
}
