#include "codec/Lzo1x999Compress.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <lzo/lzo1x.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/TestData.h"

using namespace orvel;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes Reference(const Bytes& data, int level) {
  Bytes out(Lzo1x999Bound(data.size()));
  std::vector<unsigned char> work(LZO1X_999_MEM_COMPRESS);
  lzo_uint n = 0;
  lzo1x_999_compress_level(data.data(), data.size(), out.data(), &n, work.data(), nullptr, 0,
                           nullptr, level);
  out.resize(n);
  return out;
}

void ExpectSameStream(Lzo1x999Compressor& ours, const Bytes& data, int level,
                      const std::string& what) {
  Bytes out(Lzo1x999Bound(data.size()));
  size_t n = 0;
  ASSERT_TRUE(ours.Compress(data.data(), data.size(), out.data(), &n, level)) << what;
  out.resize(n);
  const Bytes expected = Reference(data, level);
  if (out == expected) return;
  size_t at = 0;
  while (at < out.size() && at < expected.size() && out[at] == expected[at]) ++at;
  FAIL() << what << " (" << data.size() << " bytes, level " << level << "): " << out.size()
         << " vs " << expected.size() << " bytes, first difference at " << at;
}

// Words with repeats near and far, like prose or source.
Bytes Prose(size_t n, unsigned seed) {
  static const char* const kWords[] = {"the ", "of ", "packet ", "archive ", "stream ",
                                       "int ", "return ", "{\n", "}\n", "0x1F, ",
                                       "compress", "ed ", "ing ", "\t", ". ", "\n"};
  std::mt19937 rng(seed);
  Bytes v;
  while (v.size() < n) {
    const char* w = kWords[rng() % 16];
    v.insert(v.end(), w, w + std::char_traits<char>::length(w));
    if (rng() % 40 == 0) v.push_back(static_cast<unsigned char>('A' + rng() % 26));
  }
  v.resize(n);
  return v;
}

// Copies from chosen distances and lengths: at and around each distance
// class's edge, longer than the lookahead, runs of one byte.
Bytes Repeats(size_t n, unsigned seed) {
  static const size_t kDistances[] = {1, 2, 3, 7, 1024, 1025, 2048, 2049, 3072, 3073,
                                      16384, 16385, 49151, 49152, 60000};
  static const size_t kLengths[] = {2, 3, 4, 8, 9, 10, 33, 34, 35, 300, 2047, 2048, 2049, 5000};
  std::mt19937 rng(seed);
  Bytes v;
  while (v.size() < n) {
    if (v.size() < 16 || rng() % 3 == 0) {
      for (unsigned k = rng() % 6; k > 0; --k) v.push_back(static_cast<unsigned char>(rng()));
      continue;
    }
    const size_t d = std::min(kDistances[rng() % 15], v.size());
    const size_t len = kLengths[rng() % 14];
    for (size_t i = 0; i < len; ++i) v.push_back(v[v.size() - d]);
    if (rng() % 2) v.push_back(static_cast<unsigned char>(rng()));  // breaks the copy
  }
  v.resize(n);
  return v;
}

std::vector<std::string> FilesUnder(const std::string& dir, size_t every, size_t most,
                                    size_t maxSize) {
  std::vector<std::string> files, pending{dir};
  size_t seen = 0;
  while (!pending.empty() && files.size() < most) {
    const std::string d = pending.back();
    pending.pop_back();
    DIR* h = opendir(d.c_str());
    if (!h) continue;
    while (dirent* e = readdir(h)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = d + "/" + name;
      struct stat st;
      if (lstat(path.c_str(), &st) != 0) continue;
      if (S_ISDIR(st.st_mode)) pending.push_back(path);
      if (S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) <= maxSize && seen++ % every == 0)
        files.push_back(path);
    }
    closedir(h);
  }
  return files;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(Lzo1x999Compress, MadeUpInputsOfEverySize) {
  ASSERT_EQ(lzo_init(), LZO_E_OK);
  Lzo1x999Compressor ours;
  const size_t sizes[] = {0, 1, 2, 3, 4, 5, 18, 19, 238, 239, 240, 1000, 4096, 49152,
                          70000, 262144 + 50000, 1 << 20};
  for (size_t n : sizes) {
    const unsigned seed = static_cast<unsigned>(n);
    ExpectSameStream(ours, orvel_test::RandomBytes<Bytes>(n, seed), 8, "random");
    ExpectSameStream(ours, Prose(n, seed), 8, "prose");
    ExpectSameStream(ours, Repeats(n, seed), 8, "repeats");
    ExpectSameStream(ours, Bytes(n, 0), 8, "zeros");
    const std::string text = orvel_test::Text(n, 'c');
    ExpectSameStream(ours, Bytes(text.begin(), text.end()), 8, "cycle");
  }
}

TEST(Lzo1x999Compress, EveryLevel) {
  ASSERT_EQ(lzo_init(), LZO_E_OK);
  Lzo1x999Compressor ours;
  for (int level = 1; level <= 9; ++level) {
    for (size_t n : {0u, 7u, 3000u, 90000u}) {
      const unsigned seed = static_cast<unsigned>(n) + level;
      ExpectSameStream(ours, Prose(n, seed), level, "prose");
      ExpectSameStream(ours, Repeats(n, seed), level, "repeats");
      ExpectSameStream(ours, orvel_test::RandomBytes<Bytes>(n, seed), level, "random");
    }
  }
}

TEST(Lzo1x999Compress, RefusesBadLevels) {
  Lzo1x999Compressor ours;
  unsigned char out[80];
  size_t n = 0;
  for (int level : {0, 10, -1}) EXPECT_FALSE(ours.Compress(out, 4, out + 8, &n, level));
  EXPECT_TRUE(ours.Compress(nullptr, 0, out, &n));
  EXPECT_EQ(n, 3u);  // the end marker alone
}

// Real files: a sample of the shared corpus and of the system's documents,
// at the default level and, fewer of them, at every level.
TEST(Lzo1x999Compress, SampleOfRealFiles) {
  ASSERT_EQ(lzo_init(), LZO_E_OK);
  std::vector<std::string> files = FilesUnder("/tmp/corpus", 97, 120, 1 << 20);
  const std::vector<std::string> docs = FilesUnder("/usr/share/doc", 7, 150, 1 << 20);
  files.insert(files.end(), docs.begin(), docs.end());
  if (files.empty()) GTEST_SKIP() << "no corpus and no /usr/share/doc";
  Lzo1x999Compressor ours;
  for (size_t i = 0; i < files.size(); ++i) {
    const Bytes data = ReadFile(files[i]);
    ExpectSameStream(ours, data, 8, files[i]);
    if (i % 25 == 0 && data.size() <= 200000) {
      for (int level = 1; level <= 9; ++level) ExpectSameStream(ours, data, level, files[i]);
    }
  }
}

// Work memory of any content, reused for inputs of other sizes, gives the
// same stream as fresh memory.
TEST(Lzo1x999Compress, WorkMemoryOfAnyContent) {
  ASSERT_EQ(lzo_init(), LZO_E_OK);
  std::vector<unsigned char> work(Lzo1x999WorkSize(1 << 20), 0xA5);
  for (size_t n : {size_t{5000}, size_t{300000}, size_t{70}, size_t{1 << 20}}) {
    const Bytes data = Repeats(n, 3);
    Bytes out(Lzo1x999Bound(n));
    size_t got = 0;
    ASSERT_TRUE(Lzo1x999Compress(data.data(), n, out.data(), &got, work.data()));
    out.resize(got);
    EXPECT_EQ(out, Reference(data, 8)) << n;
  }
}
