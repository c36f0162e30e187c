// Readers beside writers, in processes of their own: W writer processes add,
// replace (in place when the size allows) and delete files and now and then
// compact, while R reader processes read every file in loops, through an
// archive object they keep and through fresh opens. Every file's bytes say
// which version of which name they are and carry a checksum, so each read is
// checked against what some commit wrote: a mix of two commits, bytes of a
// bracket never committed or a torn record all fail the check.
//
//   bench_reader_stress DIR [seconds=300] [basic|advanced=both] [writers=4] [readers=4]
//   -> one line per variant: reads, wrong bytes, false damage reports,
//      failed opens, busy reads, commits, failed commits
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "OrvelPacket.h"

namespace {

constexpr int kNames = 48;

struct Counts {
  uint64_t reads = 0, wrong = 0, damage = 0, failedOpens = 0, opens = 0, busy = 0;
  uint64_t commits = 0, failedCommits = 0;
};

std::string Name(int i) { return "dir/f" + std::to_string(i); }

uint32_t Sum(const std::string& s) {
  uint32_t h = 2166136261u;
  for (unsigned char c : s) h = (h ^ c) * 16777619u;
  return h;
}

// The bytes of version `version` of file `i`: a header naming both, text
// that compresses (or not), and the checksum of all before it.
std::string Content(int i, uint32_t version) {
  std::mt19937 rng(static_cast<uint32_t>(i) * 7919u + version);
  const size_t size = 16 + rng() % (version % 5 == 0 ? 60000 : 3000);
  std::string s = Name(i) + "|" + std::to_string(version) + "|";
  const bool text = rng() % 2 == 0;
  while (s.size() < size)
    s.push_back(text ? static_cast<char>('a' + rng() % 4) : static_cast<char>(rng()));
  const uint32_t sum = Sum(s);
  s.append(reinterpret_cast<const char*>(&sum), 4);
  return s;
}

// True when `bytes` are some version of file `i` as a writer made it.
bool Genuine(int i, const std::string& bytes) {
  const std::string head = Name(i) + "|";
  if (bytes.compare(0, head.size(), head) != 0) return false;
  const uint32_t version = static_cast<uint32_t>(std::strtoul(bytes.c_str() + head.size(), nullptr, 10));
  return bytes == Content(i, version);
}

bool Damage(int code) {
  return code != VRKERR_OK && code != VRKERR_NOT_FOUND && code != VRKERR_ADV_NOT_FOUND &&
         code != VRKERR_HASH_NOT_FOUND && code != VRKERR_BUSY;
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void Writer(const std::string& path, int id, double end, Counts* c) {
  std::mt19937 rng(static_cast<uint32_t>(id) * 104729u + static_cast<uint32_t>(getpid()));
  uint32_t version = static_cast<uint32_t>(id) << 24;
  IOrvelPacket* kept = id % 2 ? g_piVrkSystem->LoadPacket(path.c_str()) : nullptr;
  while (Now() < end) {
    IOrvelPacket* p = kept ? kept : g_piVrkSystem->LoadPacket(path.c_str());
    ++c->opens;
    if (!p) {
      ++c->failedOpens;
      continue;
    }
    if (rng() % 60 == 0) {
      const int rc = p->CompactPacket();
      if (rc == 0) ++c->commits; else ++c->failedCommits;
      if (rc) std::fprintf(stderr, "compaction: error %d\n", rc);
    } else {
      p->BeginUpdate();
      const int ops = 1 + static_cast<int>(rng() % 3);
      for (int k = 0; k < ops; ++k) {
        const int i = static_cast<int>(rng() % kNames);
        if (rng() % 4 == 0) {
          p->DeleteFile(Name(i).c_str());
        } else {
          const std::string data = Content(i, ++version);
          p->AddFileFromMemory(Name(i).c_str(), rng() % 2 ? 3 : 2, data.data(),
                               static_cast<unsigned>(data.size()), 0, 0);
        }
      }
      const int rc = p->EndUpdate();
      if (rc == 0) ++c->commits; else ++c->failedCommits;
      if (rc) std::fprintf(stderr, "commit: error %d\n", rc);
    }
    if (!kept) g_piVrkSystem->FreePacket(p);
  }
  g_piVrkSystem->FreePacket(kept);
}

void ReadAll(IOrvelPacket& p, Counts* c) {
  for (int i = 0; i < kNames; ++i) {
    unsigned size = 0;
    void* data = p.ReadFileAlloc(Name(i).c_str(), &size, 0xFFFFFFFFu);
    ++c->reads;
    if (!data) {
      if (g_nVrkErrCode == VRKERR_BUSY) ++c->busy;
      if (Damage(g_nVrkErrCode)) {
        ++c->damage;
        std::fprintf(stderr, "%s: error %d\n", Name(i).c_str(), g_nVrkErrCode);
      }
      continue;
    }
    if (!Genuine(i, std::string(static_cast<const char*>(data), size))) ++c->wrong;
    p.FreeBuffer(data);
  }
}

void Reader(const std::string& path, double end, Counts* c) {
  IOrvelPacket* kept = g_piVrkSystem->LoadPacket(path.c_str());
  ++c->opens;
  if (!kept) ++c->failedOpens;
  for (int round = 0; Now() < end; ++round) {
    if (kept) ReadAll(*kept, c);
    if (round % 4 == 0) {
      IOrvelPacket* fresh = g_piVrkSystem->LoadPacket(path.c_str());
      ++c->opens;
      if (!fresh) {
        ++c->failedOpens;
        std::fprintf(stderr, "open: error %d\n", g_nVrkErrCode);
        continue;
      }
      ReadAll(*fresh, c);
      g_piVrkSystem->FreePacket(fresh);
    }
  }
  g_piVrkSystem->FreePacket(kept);
}

Counts Run(const std::string& path, int flags, double seconds, int writers, int readers) {
  std::remove(path.c_str());
  IOrvelPacket* p = g_piVrkSystem->NewPacket(path.c_str(), flags, 32, 64, 0, 1);
  if (!p) {
    std::fprintf(stderr, "%s: cannot create (%d)\n", path.c_str(), g_nVrkErrCode);
    std::exit(1);
  }
  p->BeginUpdate();
  for (int i = 0; i < kNames; ++i) {
    const std::string data = Content(i, 1);
    p->AddFileFromMemory(Name(i).c_str(), 1, data.data(), static_cast<unsigned>(data.size()), 0, 0);
  }
  p->EndUpdate();
  g_piVrkSystem->FreePacket(p);

  const double end = Now() + seconds;
  std::vector<pid_t> children;
  std::vector<int> pipes;
  for (int k = 0; k < writers + readers; ++k) {
    int fds[2];
    if (pipe(fds) != 0) std::exit(1);
    const pid_t child = fork();
    if (child == 0) {
      close(fds[0]);
      Counts c;
      if (k < writers) Writer(path, k, end, &c); else Reader(path, end, &c);
      if (write(fds[1], &c, sizeof c) != static_cast<ssize_t>(sizeof c)) _exit(1);
      _exit(0);
    }
    close(fds[1]);
    children.push_back(child);
    pipes.push_back(fds[0]);
  }
  Counts total;
  for (size_t k = 0; k < children.size(); ++k) {
    Counts c;
    if (read(pipes[k], &c, sizeof c) != static_cast<ssize_t>(sizeof c)) ++total.damage;
    close(pipes[k]);
    waitpid(children[k], nullptr, 0);
    total.reads += c.reads, total.wrong += c.wrong, total.damage += c.damage;
    total.failedOpens += c.failedOpens, total.opens += c.opens, total.busy += c.busy;
    total.commits += c.commits, total.failedCommits += c.failedCommits;
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: bench_reader_stress DIR [seconds=300] [basic|advanced|both] "
                 "[writers=4] [readers=4]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const double seconds = argc > 2 ? std::atof(argv[2]) : 300;
  const std::string which = argc > 3 ? argv[3] : "both";
  const int writers = argc > 4 ? std::atoi(argv[4]) : 4;
  const int readers = argc > 5 ? std::atoi(argv[5]) : 4;
  int bad = 0;
  for (int flags : {0, 8}) {
    if ((which == "basic" && flags) || (which == "advanced" && !flags)) continue;
    const double share = which == "both" ? seconds / 2 : seconds;
    const Counts c = Run(dir + "/stress.vrk", flags, share, writers, readers);
    std::printf("%s: %.0f s, %d writers, %d readers: reads %llu, wrong bytes %llu, "
                "false damage %llu, opens %llu, failed opens %llu, busy reads %llu, "
                "commits %llu, failed commits %llu\n",
                flags ? "advanced" : "basic", share, writers, readers,
                static_cast<unsigned long long>(c.reads), static_cast<unsigned long long>(c.wrong),
                static_cast<unsigned long long>(c.damage), static_cast<unsigned long long>(c.opens),
                static_cast<unsigned long long>(c.failedOpens),
                static_cast<unsigned long long>(c.busy), static_cast<unsigned long long>(c.commits),
                static_cast<unsigned long long>(c.failedCommits));
    bad += c.wrong || c.damage || c.failedOpens;
  }
  return bad ? 1 : 0;
}
