// Random reads with checksum verification from an advanced archive of the
// benchmark corpus, side by side with the floor (hash-map lookup + one pread
// + CRC-32 + lzo1x_decompress_safe), loose files, libzip (deflate -9) and the
// basic archive, all in one run on the same read order.
//
//   bench_advanced_reads [corpus dir] [work dir]
//     corpus dir: /tmp/corpus/loose (see ../shared/bench/make_corpus.cpp)
//     work dir:   /tmp/orvel-bench; the archives (text files compressed with
//                 LZO1X-999, random files stored raw) and a `zip -r -9` of the
//                 corpus are built there on first use and kept.
#include <fcntl.h>
#include <lzo/lzo1x.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "BenchStats.h"
#include "OrvelPacket.h"
#include "advance/VrkAdvance.h"
#include "codec/CompressBuffer.h"
#include "codec/checksum_crc.h"
#include "orvel/VrkErrors.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using orvel_bench::Mean;
using orvel_bench::Median;

namespace {

constexpr unsigned kCap = 65536 + 128;

bool IsText(const std::string& name) {
  return name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0;
}

// Builds both archives from the same compressed bytes.
bool BuildArchives(const std::string& corpus, const std::vector<std::string>& names,
                   const std::string& adv, const std::string& basic) {
  orvel::CVrkAdvance* a = new orvel::CVrkAdvance();
  IOrvelPacket* b = g_piVrkSystem->NewPacket(basic.c_str(), 0, 32, 32768, 0, 1);
  if (!b || !a->CreatePacket(adv.c_str(), 8, 32768, 0, 1)) return false;
  orvel::CCompressBuffer* packer = new orvel::CCompressBuffer();
  a->BeginUpdate();
  b->BeginUpdate();
  size_t done = 0;
  for (const std::string& name : names) {
    const std::string data = orvel_bench::Slurp(corpus + "/" + name);
    const unsigned size = static_cast<unsigned>(data.size());
    int ra, rb;
    if (IsText(name)) {
      const unsigned char* packed = packer->CompressBuffer(data.data(), size);
      if (!packed) return false;
      ra = a->AddCompressedFile(name.c_str(), 0, packed, packer->m_nStoredSize, size, 0, 0);
      rb = b->AddCompressedFile(name.c_str(), 0, packed, packer->m_nStoredSize, size, 0, 0);
    } else {
      ra = a->AddFileFromMemory(name.c_str(), 0, data.data(), size, 0, 0);
      rb = b->AddFileFromMemory(name.c_str(), 0, data.data(), size, 0, 0);
    }
    if (ra != 0 || rb != 0) {
      std::fprintf(stderr, "add %s: %d %d\n", name.c_str(), ra, rb);
      return false;
    }
    if (++done % 2000 == 0) std::fprintf(stderr, "  %zu / %zu\n", done, names.size());
  }
  bool ok = a->EndUpdate() == 0 && b->EndUpdate() == 0;
  delete packer;
  delete a;
  g_piVrkSystem->FreePacket(b);
  return ok;
}

struct Rec {
  uint32_t offset, stored, original;
  bool compressed;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string corpus = argc > 1 ? argv[1] : "/tmp/corpus/loose";
  const std::string work = argc > 2 ? argv[2] : "/tmp/orvel-bench";
  fs::create_directories(work);
  std::vector<std::string> names;
  for (auto& e : fs::recursive_directory_iterator(corpus))
    if (e.is_regular_file()) names.push_back(fs::relative(e.path(), corpus).string());
  std::sort(names.begin(), names.end());
  if (names.empty()) {
    std::fprintf(stderr, "no corpus at %s\n", corpus.c_str());
    return 2;
  }
  const std::string tag = std::to_string(names.size());
  const std::string adv = work + "/corpus" + tag + ".vrk";
  const std::string basic = work + "/corpus" + tag + ".pak";
  const std::string done = work + "/corpus" + tag + ".built";
  const std::string zipPath = work + "/corpus" + tag + ".zip";
  if (!fs::exists(done)) {
    std::fprintf(stderr, "building archives of %zu files (LZO1X-999, takes a while)...\n",
                 names.size());
    if (!BuildArchives(corpus, names, adv, basic)) return 1;
    std::fclose(std::fopen(done.c_str(), "w"));
  }
  if (!fs::exists(zipPath)) {
    std::fprintf(stderr, "zip -r -9 of the corpus...\n");
    const std::string cmd = "cd '" + corpus + "' && zip -qr -9 '" + zipPath + ".part' . && mv '" +
                            zipPath + ".part' '" + zipPath + "'";
    if (std::system(cmd.c_str()) != 0) return 1;
  }

  orvel::CVrkAdvance* a = new orvel::CVrkAdvance();
  if (!a->OpenPacket(adv.c_str())) return std::fprintf(stderr, "open %d\n", g_nVrkErrCode), 1;
  IOrvelPacket* b = g_piVrkSystem->LoadPacket(basic.c_str());
  int zerr = 0;
  zip_t* za = zip_open(zipPath.c_str(), ZIP_RDONLY, &zerr);
  if (!za) return std::fprintf(stderr, "zip_open %d\n", zerr), 1;

  // The floor: its own index and file descriptor over the same archive file.
  std::unordered_map<std::string, Rec> index;
  for (const std::string& n : names) {
    const orvel::AdvanceBlockEntry* e = a->FindBlock(n.c_str(), 0xFFFFFFFFu);
    index[n] = Rec{e->offset, e->storedSize, e->originalSize, (e->flags & 1) != 0};
  }
  const int fd = open(adv.c_str(), O_RDONLY);
  std::vector<unsigned char> scratchBlock(kCap * 2 + 64);
  std::vector<unsigned char> outBlock(kCap + 64);
  unsigned char* out = outBlock.data() + (64 - reinterpret_cast<uintptr_t>(outBlock.data()) % 64);

  auto floorRead = [&](const std::string& name) -> int {
    const Rec& r = index.find(name)->second;
    unsigned char* dst = out;
    if (r.compressed) {
      uintptr_t base = reinterpret_cast<uintptr_t>(scratchBlock.data());
      dst = scratchBlock.data() + ((r.offset - base) & 63u);
    }
    if (pread(fd, dst, r.stored + 4, r.offset) != static_cast<ssize_t>(r.stored + 4)) return -1;
    uint32_t word;
    std::memcpy(&word, dst + r.stored, 4);
    if (orvel::Crc32(dst, r.stored) != word) return -1;
    if (!r.compressed) return static_cast<int>(r.stored);
    lzo_uint len = r.original;
    if (lzo1x_decompress_safe(dst, r.stored, out, &len, nullptr) != LZO_E_OK) return -1;
    return static_cast<int>(len);
  };
  auto advRead = [&](const std::string& name) {
    return a->ReadFileTo(name.c_str(), out, kCap, 0xFFFFFFFFu);
  };
  auto basicRead = [&](const std::string& name) {
    return b ? b->ReadFileTo(name.c_str(), out, kCap, 0xFFFFFFFFu) : 0;
  };
  auto looseRead = [&](const std::string& name) -> int {
    int f = open((corpus + "/" + name).c_str(), O_RDONLY);
    if (f < 0) return -1;
    ssize_t n = read(f, out, kCap);
    close(f);
    return static_cast<int>(n);
  };
  auto zipRead = [&](const std::string& name) -> int {
    zip_file_t* zf = zip_fopen(za, name.c_str(), 0);
    if (!zf) return -1;
    zip_int64_t n = zip_fread(zf, out, kCap);
    zip_fclose(zf);
    return static_cast<int>(n);
  };

  std::vector<size_t> order(names.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(42));

  struct Method {
    const char* label;
    std::function<int(const std::string&)> read;
    orvel_bench::SplitTimes stats;
  };
  std::vector<Method> methods;
  methods.push_back({"advanced archive", advRead, {}});
  methods.push_back({"floor", floorRead, {}});
  methods.push_back({"loose files", looseRead, {}});
  methods.push_back({"libzip deflate-9", zipRead, {}});
  if (b) methods.push_back({"basic archive", basicRead, {}});

  std::vector<int> sizes(names.size());
  for (size_t i = 0; i < names.size(); ++i) sizes[i] = looseRead(names[i]);
  // Methods take turns read by read, so that a busy machine slows them alike;
  // at each turn they read different files (each method starts at its own
  // place in the order), so that none finds the file just read by another
  // in the CPU caches.
  const size_t stride = order.size() / methods.size();
  for (int pass = 0; pass < 4; ++pass) {
    for (size_t j = 0; j < order.size(); ++j) {
      for (size_t k = 0; k < methods.size(); ++k) {
        Method& m = methods[k];
        const size_t i = order[(j + k * stride) % order.size()];
        const std::string& n = names[i];
        auto t0 = Clock::now();
        int got = m.read(n);
        auto t1 = Clock::now();
        if (got != sizes[i]) {
          std::fprintf(stderr, "%s: %s gave %d, want %d (err %d)\n", m.label, n.c_str(), got,
                       sizes[i], g_nVrkErrCode);
          return 1;
        }
        if (pass > 0)  // the first pass warms the caches
          m.stats.Add(std::chrono::duration<double, std::micro>(t1 - t0).count(), IsText(n));
      }
    }
  }

  std::printf("%zu files, %zu timed reads per method, verification on\n", names.size(),
              methods[0].stats.all.size());
  std::printf("%-18s %10s %10s %10s %10s %10s %10s\n", "us per read", "mean", "median",
              "text mean", "text med", "raw mean", "raw med");
  for (Method& m : methods)
    std::printf("%-18s %10.2f %10.2f %10.2f %10.2f %10.2f %10.2f\n", m.label, Mean(m.stats.all),
                Median(m.stats.all), Mean(m.stats.text), Median(m.stats.text),
                Mean(m.stats.raw), Median(m.stats.raw));
  const orvel_bench::SplitTimes& s = methods[0].stats;
  auto ratio = [&](size_t k, const char* what, double limit) {
    const orvel_bench::SplitTimes& o = methods[k].stats;
    std::printf("advanced / %-17s mean %.3f  median %.3f", what, Mean(s.all) / Mean(o.all),
                Median(s.all) / Median(o.all));
    if (limit > 0) std::printf("   (must be <= %.2f)", limit);
    std::printf("\n");
  };
  ratio(1, "floor", 1.10);
  ratio(3, "libzip", 0.65);
  std::printf("advanced / loose, raw half: mean %.3f  median %.3f   (must be <= 1.00)\n",
              Mean(s.raw) / Mean(methods[2].stats.raw),
              Median(s.raw) / Median(methods[2].stats.raw));
  if (b) ratio(4, "basic archive", 0);
  zip_close(za);
  close(fd);
  delete a;
  if (b) g_piVrkSystem->FreePacket(b);
  return 0;
}
