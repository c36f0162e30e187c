// What a commit costs when the names do not change: with the name list
// compressed again only when its text changed, a commit that replaces one
// file must cost a small fraction of one that adds a name (which compresses
// the whole list), and a 10-level patch into a large archive must cost a
// small fraction of what it costs with the cache turned off.
//
//   bench_list_commit [directory for the archives, default /tmp] [basic]
// ("basic" runs the basic archive's part only)
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "BenchStats.h"
#include "OrvelPacket.h"
#include "codec/PackedTextCache.h"
#include "orvel/CVrkPatcher.h"

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

const char kData[] = "sixteen bytes..!";

double Time(const std::function<void()>& f) {
  const auto t0 = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

std::string Name(unsigned i) {
  char name[64];
  std::snprintf(name, sizeof name, "assets/group%03u/item%07u.dat", i % 997, i);
  return name;
}

void Copy(const std::string& from, const std::string& to) {
  for (const char* ext : {".vrk", ".bhl", ".lst"})
    if (fs::exists(from + ext)) fs::copy_file(from + ext, to + ext, fs::copy_options::overwrite_existing);
}

void Remove(const std::string& stem) {
  for (const char* ext : {".vrk", ".bhl", ".lst", ".vrx"}) fs::remove(stem + ext);
  for (unsigned level = 0; level < 16; ++level) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%08x.pb", level);
    fs::remove(stem + suffix);
  }
}

IOrvelPacket* Build(const std::string& path, int flags, unsigned names, unsigned table) {
  IOrvelPacket* p = g_piVrkSystem->NewPacket(path.c_str(), flags, 32, table, 0, 1);
  if (!p) return nullptr;
  p->BeginUpdate();
  for (unsigned i = 0; i < names; ++i)
    p->AddFileFromMemory(Name(i).c_str(), 0, kData, 16, 0, 0);
  p->EndUpdate();
  return p;
}

// Median times of one-change commits on an open archive. A replacement is
// by name, or by the name's hashes: in the basic variant a replacement by
// name moves the name to the end of the list, which changes its text.
void Commits(const char* label, IOrvelPacket* p, unsigned names, bool byHashes) {
  std::vector<double> replace, add;
  for (int round = 0; round < 3; ++round) {
    const std::string old = Name(static_cast<unsigned>(round) * 7);
    unsigned hash[3];
    p->GetFileHash(old.c_str(), &hash[0], &hash[1], &hash[2]);
    replace.push_back(Time([&] {
      p->BeginUpdate();
      if (byHashes) {
        p->AddCompressedFileByHash(hash, 2, "replaced bytes!!", 16, 16, 0, 0);
      } else {
        p->AddFileFromMemory(old.c_str(), 2, "replaced bytes!!", 16, 0, 0);
      }
      p->EndUpdate();
    }));
    add.push_back(Time([&] {
      p->BeginUpdate();
      p->AddFileFromMemory(Name(names + static_cast<unsigned>(round)).c_str(), 0, kData, 16, 0, 0);
      p->EndUpdate();
    }));
  }
  const double r = orvel_bench::Median(replace), a = orvel_bench::Median(add);
  std::printf("%s: replace commit (by %s) %.3f s   add commit %.3f s   ratio %.3f (goal <= 0.1)\n",
              label, byHashes ? "hashes" : "name", r, a, r / a);
}

double Apply(const std::string& base, const std::string& copy, const std::string& patch) {
  Copy(base, copy);
  IOrvelPacket* dst = g_piVrkSystem->LoadPacket((copy + ".vrk").c_str());
  if (!dst) return -1;
  IVrkPatchBuilder* b = g_piVrkSystem->NewPatchBuilder(dst);
  std::string path = patch;
  int rc = 0;
  const double t = Time([&] { rc = CVrkPatcher(dst, b).ProceedPatch(&path[0]); });
  g_piVrkSystem->FreePatchBuilder(b);
  g_piVrkSystem->FreePacket(dst);
  return rc == 0 ? t : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp";
  const std::string adv = dir + "/bench_list_1m";
  const std::string base = dir + "/bench_list_1m_base";
  const std::string copy = dir + "/bench_list_1m_copy";
  const std::string basic = dir + "/bench_list_200k.vrk";
  Remove(adv), Remove(base), Remove(copy), fs::remove(basic);
  const bool basicOnly = argc > 2 && std::string(argv[2]) == "basic";

  IOrvelPacket* p = nullptr;
  if (!basicOnly) {
    std::printf("building 1,000,000 names: %.1f s\n",
                Time([&] { p = Build(adv + ".vrk", 8, 1000000, 1u << 21); }));
    if (!p) return 1;
    g_piVrkSystem->FreePacket(p);
    Copy(adv, base);
    p = g_piVrkSystem->LoadPacket((adv + ".vrk").c_str());
    Commits("advanced, 1,000,000 names", p, 1000000, false);
    g_piVrkSystem->FreePacket(p);
  }

  p = Build(basic, 0, 200000, 1u << 18);
  if (!p) return 1;
  g_piVrkSystem->FreePacket(p);
  p = g_piVrkSystem->LoadPacket(basic.c_str());
  Commits("basic, 200,000 names", p, 200000, true);
  Commits("basic, 200,000 names", p, 200003, false);
  g_piVrkSystem->FreePacket(p);
  fs::remove(basic);
  if (basicOnly) return 0;

  // Ten levels of one small file each, on top of the base copy.
  Remove(adv);
  Copy(base, adv);
  IOrvelPacket* src = g_piVrkSystem->LoadPacket((adv + ".vrk").c_str());
  if (!src) return 1;
  for (unsigned level = 2; level <= 11; ++level) {
    src->BeginUpdate();
    src->AddFileFromMemory(("levels/" + std::to_string(level)).c_str(), 0, kData, 16, 0, level);
    src->EndUpdate();
  }
  src->SetPacketVersion(0, 11);
  IVrkPatchBuilder* b = g_piVrkSystem->NewPatchBuilder(src);
  const int rc = CVrkPatcher(src, b).CreatePatchFile();
  g_piVrkSystem->FreePatchBuilder(b);
  g_piVrkSystem->FreePacket(src);
  if (rc != 0) return std::printf("patch failed: %d\n", rc), 1;
  const double cached = Apply(base, copy, adv + ".vrx");
  orvel::SetPackedTextCacheEnabled(false);
  const double uncached = Apply(base, copy, adv + ".vrx");
  orvel::SetPackedTextCacheEnabled(true);
  std::printf("10-level apply into 1,000,000 names: %.2f s   cache off %.2f s   ratio %.3f "
              "(goal <= 0.1)\n", cached, uncached, cached / uncached);
  Remove(adv), Remove(base), Remove(copy);
  return 0;
}
