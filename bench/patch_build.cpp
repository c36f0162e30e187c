// Building and applying a patch of 5,000 changed files of the benchmark
// corpus, each timed against `cp` of the block files the patch writes (the
// same stored bytes), side by side in one run; then a sample of files read
// back from the patched copy is compared with its sources.
//
//   bench_patch_build [corpus dir] [work dir] [rounds]   (Release build)
//     corpus dir: /tmp/corpus, or its loose/ tree (see ../shared/bench)
//     work dir:   /tmp/orvel-bench; the level-1 archive of the corpus (text
//                 compressed with LZO1X-999, random files stored as they are)
//                 is built there on first use and kept, keyed on the corpus
//                 path and file count.
//     rounds:     3; the best time of each contender counts.
//
// Only the public interface is used, as a host would, except for the switch
// that shows the apply as it was before its levels committed together (one
// durable commit per level). The baseline forks and execs the real `cp` with
// every block file and a scratch directory, then `sync -d` of the copies:
// the library makes block files and tables durable, so the goals are set
// against a durable copy (build at most 1.2x, apply at most 2.0x).
#include <lzo/lzo1x.h>
#include <spawn.h>
#include <sys/wait.h>

#include <OrvelPacket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "BenchStats.h"
#include "patch/PatchCommitMode.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr unsigned kChanged = 5000;  // files the patch carries
constexpr unsigned kLevels = 5;      // written at levels 2 to 6
constexpr unsigned kBaseLevel = 1;
constexpr unsigned kCap = 65536 + 1024;

double Since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// A file's bytes as the archive stores them.
struct Stored {
  std::string bytes;
  bool compressed = false;
};

// LZO1X-999 where it pays; a quick LZO1X-1 trial settles incompressible
// data without running the slow compressor.
Stored Pack(const std::string& data) {
  std::vector<unsigned long long> work(LZO1X_999_MEM_COMPRESS / 8 + 1);
  std::string out(data.size() + data.size() / 16 + 64 + 3, '\0');
  auto* src = reinterpret_cast<const unsigned char*>(data.data());
  auto* dst = reinterpret_cast<unsigned char*>(&out[0]);
  lzo_uint n = 0;
  if (lzo1x_1_compress(src, data.size(), dst, &n, work.data()) != LZO_E_OK ||
      n >= data.size() ||
      lzo1x_999_compress(src, data.size(), dst, &n, work.data()) != LZO_E_OK ||
      n >= data.size())
    return Stored{data, false};
  out.resize(n);
  return Stored{out, true};
}

int Add(IOrvelPacket* a, const std::string& name, const Stored& s, unsigned original,
        unsigned level) {
  const auto size = static_cast<unsigned>(s.bytes.size());
  if (s.compressed)
    return a->AddCompressedFile(name.c_str(), 0, s.bytes.data(), size, original, 0, level);
  return a->AddFileFromMemory(name.c_str(), 0, s.bytes.data(), size, 0, level);
}

// The whole corpus at the base level, compressed on every core and added in
// name order.
bool BuildBase(const std::string& corpus, const std::vector<std::string>& names,
               const std::string& path) {
  IOrvelPacket* a = g_piVrkSystem->NewPacket(path.c_str(), VRK_CREATE_ADVANCED,
                                             VRK_FORMAT_VERSION,
                                             2 * static_cast<unsigned>(names.size()), 0,
                                             kBaseLevel);
  if (!a) return false;
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  const size_t batch = 256;
  bool ok = true;
  a->BeginUpdate();
  for (size_t first = 0; ok && first < names.size(); first += batch) {
    const size_t last = std::min(names.size(), first + batch);
    std::vector<std::string> data(last - first);
    std::vector<Stored> packed(last - first);
    std::vector<std::future<void>> workers;
    for (unsigned t = 0; t < threads; ++t)
      workers.push_back(std::async(std::launch::async, [&, t] {
        for (size_t i = t; i < data.size(); i += threads) {
          data[i] = orvel_bench::Slurp(corpus + "/" + names[first + i]);
          packed[i] = Pack(data[i]);
        }
      }));
    for (auto& w : workers) w.get();
    for (size_t i = 0; ok && i < data.size(); ++i)
      ok = Add(a, names[first + i], packed[i], static_cast<unsigned>(data[i].size()), 0) == 0;
    if (last % 4096 < batch) std::fprintf(stderr, "  %zu / %zu\n", last, names.size());
  }
  ok = a->EndUpdate() == 0 && ok;
  g_piVrkSystem->FreePacket(a);
  return ok;
}

// Copies an advanced archive's three files (x.vrk, x.bhl, x.lst).
void CopyArchive(const std::string& from, const std::string& to) {
  for (const char* ext : {".vrk", ".bhl", ".lst"})
    fs::copy_file(from + ext, to + ext, fs::copy_options::overwrite_existing);
}

// The block files `stem`_*.pb in `dir`, in level order.
std::vector<std::string> BlockFilesIn(const std::string& dir, const std::string& stem) {
  std::vector<std::string> out;
  for (auto& e : fs::directory_iterator(dir)) {
    const std::string n = e.path().filename().string();
    if (n.rfind(stem + "_", 0) == 0 && e.path().extension() == ".pb")
      out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Runs a program found on PATH and waits for it; true when it exits with 0.
bool Run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& s : args) argv.push_back(&s[0]);
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// `prefix` followed by `files`.
std::vector<std::string> Command(std::vector<std::string> prefix,
                                 const std::vector<std::string>& files) {
  prefix.insert(prefix.end(), files.begin(), files.end());
  return prefix;
}

// The changed files: every (n / kChanged)-th name gets the bytes of the
// file after it, at levels 2 to 6 in order of writing.
struct Change {
  size_t index;
  std::string name, source;
  unsigned level;
};

std::vector<Change> PlanChanges(const std::vector<std::string>& names) {
  std::vector<Change> out;
  for (unsigned k = 0; k < kChanged; ++k) {
    const size_t i = k * names.size() / kChanged;
    out.push_back({i, names[i], names[(i + 1) % names.size()],
                   kBaseLevel + 1 + k * kLevels / kChanged});
  }
  return out;
}

// Writes the changes with the stored bytes the archive already holds for
// their sources, so that no compression happens here.
bool WriteChanges(IOrvelPacket* a, const std::vector<Change>& changes) {
  std::vector<char> buffer(kCap);
  bool ok = true;
  a->BeginUpdate();
  for (const Change& c : changes) {
    a->SetPacketVersion(0, c.level);
    const int n = a->ReadFileRaw(c.source.c_str(), buffer.data(), kCap);
    Stored s{std::string(buffer.data(), n > 0 ? static_cast<size_t>(n) : 0),
             a->IsFileCompressed(c.source.c_str()) != 0};
    if (n <= 0 || Add(a, c.name, s, a->GetFileOriginalSize(c.source.c_str()), c.level) != 0) {
      std::fprintf(stderr, "writing %s failed: %d\n", c.name.c_str(), g_nVrkErrCode);
      ok = false;
      break;
    }
  }
  return a->EndUpdate() == 0 && ok;
}

// Every 10th changed file and the unchanged file before each, read back from
// the patched archive, against the corpus files they came from.
bool Verify(const std::string& archive, const std::string& corpus,
            const std::vector<Change>& changes, const std::vector<std::string>& names) {
  IOrvelPacket* a = g_piVrkSystem->LoadPacket(archive.c_str());
  if (!a) return false;
  unsigned checked = 0, wrong = 0;
  auto check = [&](const std::string& name, const std::string& source) {
    unsigned size = 0;
    void* p = a->ReadFileAlloc(name.c_str(), &size, VRK_BY_NAME);
    const std::string want = orvel_bench::Slurp(corpus + "/" + source);
    ++checked;
    if (!p || std::string(static_cast<char*>(p), size) != want) {
      std::fprintf(stderr, "patched copy: %s differs from %s\n", name.c_str(), source.c_str());
      ++wrong;
    }
    if (p) a->FreeBuffer(p);
  };
  for (size_t k = 0; k < changes.size(); k += 10) {
    const size_t i = changes[k].index;
    check(changes[k].name, changes[k].source);
    if (i > 0 && (k == 0 || changes[k - 1].index != i - 1)) check(names[i - 1], names[i - 1]);
  }
  unsigned high = 0, low = 0, base = 0;
  a->GetPacketVersion(&high, &low, &base);
  g_piVrkSystem->FreePacket(a);
  std::printf("verified: %u files read back from the patched copy, %u differ; its level %u\n",
              checked, wrong, low);
  return wrong == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string corpus = argc > 1 ? argv[1] : "/tmp/corpus";
  if (fs::is_directory(corpus + "/loose")) corpus += "/loose";
  const std::string workRoot = argc > 2 ? argv[2] : "/tmp/orvel-bench";
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  std::vector<std::string> names;
  if (fs::is_directory(corpus))
    for (auto& e : fs::recursive_directory_iterator(corpus))
      if (e.is_regular_file()) names.push_back(e.path().lexically_relative(corpus).string());
  std::sort(names.begin(), names.end());
  if (names.size() <= kChanged) {
    std::fprintf(stderr, "need more than %u files at %s (see ../shared/bench)\n", kChanged,
                 corpus.c_str());
    return 2;
  }
  if (lzo_init() != LZO_E_OK) return 1;

  std::string key = fs::absolute(corpus).lexically_normal().string();
  std::replace(key.begin(), key.end(), '/', '_');
  const std::string work = workRoot + "/patch" + key + "-" + std::to_string(names.size());
  for (const char* sub : {"/base", "/src", "/cp", "/apply"}) fs::create_directories(work + sub);
  const std::string base = work + "/base/corpus", done = base + ".built";
  if (!fs::exists(done)) {
    std::fprintf(stderr, "building the level-%u archive of %zu files (once)...\n", kBaseLevel,
                 names.size());
    if (!BuildBase(corpus, names, base + ".vrk")) {
      std::fprintf(stderr, "building %s.vrk failed: %d\n", base.c_str(), g_nVrkErrCode);
      return 1;
    }
    std::fclose(std::fopen(done.c_str(), "w"));
  }

  // Setup, not timed: the archive that changes, with 5,000 changed files.
  const std::string src = work + "/src/corpus", target = work + "/apply/corpus";
  CopyArchive(base, src);
  const std::vector<Change> changes = PlanChanges(names);
  IOrvelPacket* a = g_piVrkSystem->LoadPacket((src + ".vrk").c_str());
  if (!a || !WriteChanges(a, changes)) return 1;
  if (IVrkPatchBuilder* probe = g_piVrkSystem->NewPatchBuilder(a)) {
    g_piVrkSystem->FreePatchBuilder(probe);
  } else {
    std::fprintf(stderr, "no patch builder in this build (%d)\n", g_nVrkErrCode);
    return 1;
  }

  double build = 1e9, copy = 1e9, copySync = 1e9, apply = 1e9, applyPerLevel = 1e9;
  std::vector<std::string> blocks;
  std::string vrx = src + ".vrx";
  for (int round = 0; round < rounds; ++round) {
    for (const std::string& f : BlockFilesIn(work + "/src", "corpus")) fs::remove(f);
    fs::remove(vrx);
    auto t0 = Clock::now();
    IVrkPatchBuilder* b = g_piVrkSystem->NewPatchBuilder(a);
    int rc = CVrkPatcher(a, b).CreatePatchFile();
    g_piVrkSystem->FreePatchBuilder(b);
    build = std::min(build, Since(t0));
    if (rc != 0) return std::fprintf(stderr, "CreatePatchFile: %d\n", rc), 1;

    blocks = BlockFilesIn(work + "/src", "corpus");
    for (const std::string& f : BlockFilesIn(work + "/cp", "corpus")) fs::remove(f);
    t0 = Clock::now();
    std::vector<std::string> cp = Command({"cp"}, blocks);
    cp.push_back(work + "/cp/");
    if (!Run(cp)) return std::fprintf(stderr, "cp failed\n"), 1;
    const double cpSeconds = Since(t0);
    copy = std::min(copy, cpSeconds);
    // For reference: the library makes block files durable, cp does not.
    t0 = Clock::now();
    if (!Run(Command({"sync", "-d"}, BlockFilesIn(work + "/cp", "corpus"))))
      return std::fprintf(stderr, "sync failed\n"), 1;
    copySync = std::min(copySync, cpSeconds + Since(t0));

    // The apply as it is, then with a commit per level (before), each into
    // a fresh level-1 copy.
    for (const bool perLevel : {true, false}) {
      orvel::SetPatchCommitsPerLevel(perLevel);
      CopyArchive(base, target);
      IOrvelPacket* t = g_piVrkSystem->LoadPacket((target + ".vrk").c_str());
      if (!t) return std::fprintf(stderr, "opening the copy: %d\n", g_nVrkErrCode), 1;
      t0 = Clock::now();
      b = g_piVrkSystem->NewPatchBuilder(t);
      rc = CVrkPatcher(t, b).ProceedPatch(&vrx[0]);
      g_piVrkSystem->FreePatchBuilder(b);
      g_piVrkSystem->FreePacket(t);
      double& best = perLevel ? applyPerLevel : apply;
      best = std::min(best, Since(t0));
      if (rc != 0) return std::fprintf(stderr, "ProceedPatch: %d\n", rc), 1;
    }
    orvel::SetPatchCommitsPerLevel(false);
  }
  g_piVrkSystem->FreePacket(a);

  uintmax_t blockBytes = 0;
  for (const std::string& f : blocks) blockBytes += fs::file_size(f);
  std::printf("corpus: %s, %zu files; %u changed at levels %u to %u\n", corpus.c_str(),
              names.size(), kChanged, kBaseLevel + 1, kBaseLevel + kLevels);
  std::printf("patch: %zu block files, %ju stored bytes; best of %d rounds, warm cache\n",
              blocks.size(), blockBytes, rounds);
  std::printf("%-36s %8.3f s\n", "CreatePatchFile", build);
  std::printf("%-36s %8.3f s\n", "cp of the block files (fork+exec)", copy);
  std::printf("%-36s %8.3f s\n", "cp, then sync -d of the copies", copySync);
  std::printf("%-36s %8.3f s\n", "ProceedPatch into a level-1 copy", apply);
  std::printf("%-36s %8.3f s\n", "  before: one commit per level", applyPerLevel);
  const double buildRatio = build / copySync, applyRatio = apply / copySync;
  std::printf("build / (cp + sync):  %.3f  (goal <= 1.2: %s)\n", buildRatio,
              buildRatio <= 1.2 ? "met" : "MISSED");
  std::printf("apply / (cp + sync):  %.3f  (goal <= 2.0: %s)\n", applyRatio,
              applyRatio <= 2.0 ? "met" : "MISSED");
  std::printf("  before (per level): %.3f\n", applyPerLevel / copySync);
  std::printf("for reference, against cp alone: build %.3f, apply %.3f\n", build / copy,
              apply / copy);
  if (!Verify(target + ".vrk", corpus, changes, names)) return 1;
  return buildRatio <= 1.2 && applyRatio <= 2.0 ? 0 : 2;
}
