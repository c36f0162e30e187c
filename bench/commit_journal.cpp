// What journaled commits cost, against the same build with the journal off:
//  1. packing the shared corpus into a new advanced archive in one bracket
//     (what `vrk create` does), and
//  2. a commit of one small new file into an advanced archive of 100,000
//     files (open, bracket, add, commit), repeated.
// Runs alternate between on and off; the best of each is compared.
//
//   bench_commit_journal CORPUS_DIR [directory for the archives, default /tmp]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchStats.h"
#include "OrvelPacket.h"
#include "frame/CommitJournal.h"

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void Remove(const std::string& path) {
  const std::string stem = path.substr(0, path.size() - 4);
  for (const char* ext : {".vrk", ".bhl", ".lst"}) fs::remove(stem + ext);
}

struct Corpus {
  std::vector<std::string> names, data;
};

Corpus Load(const std::string& dir) {
  Corpus c;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    c.names.push_back(fs::relative(e.path(), dir).string());
    c.data.push_back(orvel_bench::Slurp(e.path().string()));
  }
  return c;
}

double Pack(const Corpus& c, const std::string& path) {
  Remove(path);
  const auto t0 = Clock::now();
  IOrvelPacket* p = g_piVrkSystem->NewPacket(path.c_str(), 8, 32,
                                             static_cast<unsigned>(c.names.size() * 2), 0, 1);
  if (!p) return -1;
  p->BeginUpdate();
  for (size_t i = 0; i < c.names.size(); ++i)
    p->AddFileFromMemory(c.names[i].c_str(), 1, c.data[i].data(),
                         static_cast<unsigned>(c.data[i].size()), 0, 0);
  const int rc = p->EndUpdate();
  g_piVrkSystem->FreePacket(p);
  const auto t1 = Clock::now();
  return rc == 0 ? Seconds(t0, t1) : -1;
}

double OneFileCommit(const std::string& path, int serial) {
  const auto t0 = Clock::now();
  IOrvelPacket* p = g_piVrkSystem->LoadPacket(path.c_str());
  if (!p) return -1;
  p->BeginUpdate();
  const std::string name = "added/" + std::to_string(serial);
  p->AddFileFromMemory(name.c_str(), 0, "sixteen bytes..!", 16, 0, 0);
  const int rc = p->EndUpdate();
  g_piVrkSystem->FreePacket(p);
  const auto t1 = Clock::now();
  return rc == 0 ? Seconds(t0, t1) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: bench_commit_journal CORPUS_DIR [WORK_DIR]\n");
    return 2;
  }
  const std::string work = argc > 2 ? argv[2] : "/tmp";
  const Corpus corpus = Load(argv[1]);
  size_t bytes = 0;
  for (const auto& d : corpus.data) bytes += d.size();
  std::printf("corpus: %zu files, %.1f MB\n", corpus.names.size(), bytes / 1e6);

  const std::string packPath = work + "/bench_journal_pack.vrk";
  double packOn = 1e9, packOff = 1e9;
  for (int round = 0; round < 3; ++round) {
    orvel::SetJournalingEnabled(true);
    packOn = std::min(packOn, Pack(corpus, packPath));
    orvel::SetJournalingEnabled(false);
    packOff = std::min(packOff, Pack(corpus, packPath));
  }
  Remove(packPath);
  std::printf("pack:        journal %.3f s   no journal %.3f s   ratio %.3f (goal <= 1.05)\n",
              packOn, packOff, packOn / packOff);

  const std::string bigPath = work + "/bench_journal_100k.vrk";
  Remove(bigPath);
  orvel::SetJournalingEnabled(true);
  IOrvelPacket* p = g_piVrkSystem->NewPacket(bigPath.c_str(), 8, 32, 131072, 0, 1);
  if (!p) return 1;
  p->BeginUpdate();
  for (int i = 0; i < 100000; ++i) {
    const std::string name = "files/" + std::to_string(i) + ".dat";
    p->AddFileFromMemory(name.c_str(), 0, "sixteen bytes..!", 16, 0, 0);
  }
  p->EndUpdate();
  g_piVrkSystem->FreePacket(p);
  std::vector<double> on, off;
  for (int i = 0; i < 20; ++i) {
    orvel::SetJournalingEnabled(i % 2 == 0);
    (i % 2 == 0 ? on : off).push_back(OneFileCommit(bigPath, i));
  }
  orvel::SetJournalingEnabled(true);
  Remove(bigPath);
  const double mOn = orvel_bench::Median(on), mOff = orvel_bench::Median(off);
  std::printf("one-file commit into 100,000 files: journal %.4f s   no journal %.4f s   "
              "ratio %.2f (goal <= 2)\n", mOn, mOff, mOn / mOff);
  return 0;
}
