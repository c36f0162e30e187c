#include "codec/CompressBuffer.h"

#include <gtest/gtest.h>
#include <lzo/lzo1x.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "frame/DiskFile.h"
#include "orvel/CPacketAllocator.h"

namespace orvel {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes v(n);
  for (auto& b : v) b = static_cast<unsigned char>(rng());
  return v;
}

// Text-like data with repeats, so the compressor finds matches.
Bytes MixedBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  static const char* words[] = {"alpha ", "beta ", "gamma\n", "data\\file.dat ",
                                "0123456789", "\x01\x02\x03"};
  Bytes v;
  while (v.size() < n) {
    const char* w = words[rng() % 6];
    v.insert(v.end(), w, w + std::char_traits<char>::length(w));
    if (rng() % 7 == 0) v.push_back(static_cast<unsigned char>(rng()));
  }
  v.resize(n);
  return v;
}

Bytes Stored(const CCompressBuffer& cb, const unsigned char* p) {
  return Bytes(p, p + cb.m_nStoredSize);
}

// A block whose last byte sits right before an inaccessible page, so that
// any access past its end faults, even from the uninstrumented LZO library.
class GuardedBlock {
 public:
  explicit GuardedBlock(size_t size) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    length_ = (size + page - 1) / page * page + page;
    void* base = mmap(nullptr, length_, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) std::abort();
    base_ = static_cast<unsigned char*>(base);
    mprotect(base_ + length_ - page, page, PROT_NONE);
    data_ = base_ + length_ - page - size;
  }
  ~GuardedBlock() { munmap(base_, length_); }
  GuardedBlock(const GuardedBlock&) = delete;
  GuardedBlock& operator=(const GuardedBlock&) = delete;
  unsigned char* data() { return data_; }

 private:
  unsigned char* base_;
  unsigned char* data_;
  size_t length_;
};

// Decodes a stream placed at the very end of its block into an output block
// of exactly `size` bytes: reading past the stream or writing past the
// output faults.
bool DecodeExact(CCompressBuffer& cb, const Bytes& stream, unsigned size,
                 Bytes* out) {
  GuardedBlock input(stream.size()), output(size);
  if (!stream.empty()) std::memcpy(input.data(), stream.data(), stream.size());
  std::memset(output.data(), 0xCC, size);  // stale contents
  const bool ok = cb.Decompress(input.data(), static_cast<unsigned>(stream.size()),
                                size, output.data());
  out->assign(output.data(), output.data() + size);
  return ok;
}

TEST(CompressBuffer, ConstructionReservesSixtyFourKiB) {
  auto cb = std::make_unique<CCompressBuffer>();
  ASSERT_NE(cb->m_pBuffer, nullptr);
  EXPECT_EQ(cb->m_nCapacity, 65536u);
  EXPECT_EQ(cb->m_nOriginalSize, 0u);
  EXPECT_EQ(cb->m_nStoredSize, 0u);
}

TEST(CompressBuffer, RoundTripsAndStreamsEndWithTheEndMarker) {
  auto cb = std::make_unique<CCompressBuffer>();
  for (size_t n : {size_t{0}, size_t{1}, size_t{17}, size_t{4000}, size_t{300000}}) {
    const Bytes data = MixedBytes(n, static_cast<unsigned>(n));
    const unsigned char* p = cb->CompressBuffer(data.data(), static_cast<unsigned>(n));
    ASSERT_NE(p, nullptr) << n;
    EXPECT_EQ(cb->m_nOriginalSize, n);
    const Bytes stream = Stored(*cb, p);
    ASSERT_GE(stream.size(), 3u);
    EXPECT_EQ(stream[stream.size() - 3], 0x11);
    EXPECT_EQ(stream[stream.size() - 2], 0x00);
    EXPECT_EQ(stream[stream.size() - 1], 0x00);

    Bytes back;
    ASSERT_TRUE(DecodeExact(*cb, stream, static_cast<unsigned>(n), &back)) << n;
    EXPECT_EQ(back, data);
    EXPECT_EQ(cb->m_nOriginalSize, n);
    EXPECT_EQ(cb->m_nStoredSize, stream.size());
  }
}

TEST(CompressBuffer, StreamsInteroperateWithThePlainLzoRoutines) {
  ASSERT_EQ(lzo_init(), LZO_E_OK);
  const Bytes data = MixedBytes(200000, 9);

  // A stream of the fast LZO1X-1 compressor decodes through Decompress.
  Bytes stream(CompressBound(data.size()));
  std::vector<unsigned char> work(LZO1X_1_MEM_COMPRESS);
  lzo_uint streamLength = stream.size();
  ASSERT_EQ(lzo1x_1_compress(data.data(), data.size(), stream.data(),
                             &streamLength, work.data()),
            LZO_E_OK);
  stream.resize(streamLength);
  auto cb = std::make_unique<CCompressBuffer>();
  Bytes back;
  ASSERT_TRUE(DecodeExact(*cb, stream, 200000, &back));
  EXPECT_EQ(back, data);

  // Our stream decodes bit for bit through the plain safe decoder.
  const unsigned char* p = cb->CompressBuffer(data.data(), 200000);
  ASSERT_NE(p, nullptr);
  Bytes plain(200000);
  lzo_uint plainLength = plain.size();
  ASSERT_EQ(lzo1x_decompress_safe(p, cb->m_nStoredSize, plain.data(),
                                  &plainLength, nullptr),
            LZO_E_OK);
  EXPECT_EQ(plainLength, 200000u);
  EXPECT_EQ(plain, data);
  EXPECT_LT(cb->m_nStoredSize, streamLength);  // 999 beats 1 on this data
}

TEST(CompressBuffer, CapacityGrowsToTheBoundAndNeverShrinks) {
  auto cb = std::make_unique<CCompressBuffer>();
  const Bytes noise = RandomBytes(100000, 1);
  ASSERT_NE(cb->CompressBuffer(noise.data(), 100000), nullptr);
  EXPECT_EQ(cb->m_nCapacity, 101581u);
  EXPECT_LE(cb->m_nStoredSize, cb->m_nCapacity);
  EXPECT_GT(cb->m_nStoredSize, 100000u);

  const Bytes small = MixedBytes(100, 2);
  ASSERT_NE(cb->CompressBuffer(small.data(), 100), nullptr);
  EXPECT_EQ(cb->m_nCapacity, 101581u);
  EXPECT_EQ(cb->m_nOriginalSize, 100u);
}

TEST(CompressBuffer, DamagedStreamsNeverWritePastTheOriginalSize) {
  auto cb = std::make_unique<CCompressBuffer>();
  const Bytes data = MixedBytes(20000, 4);
  const unsigned char* p = cb->CompressBuffer(data.data(), 20000);
  ASSERT_NE(p, nullptr);
  const Bytes stream = Stored(*cb, p);
  Bytes out;

  // Every truncation fails and leaves the sizes of the last good operation.
  for (size_t cut = 0; cut < stream.size(); cut += (cut < 64 ? 1 : 37)) {
    const Bytes part(stream.begin(), stream.begin() + cut);
    EXPECT_FALSE(DecodeExact(*cb, part, 20000, &out)) << cut;
    EXPECT_EQ(cb->m_nOriginalSize, 20000u);
    EXPECT_EQ(cb->m_nStoredSize, stream.size());
  }
  // An output limit below the real size fails without overrunning.
  for (unsigned size : {0u, 1u, 19999u})
    EXPECT_FALSE(DecodeExact(*cb, stream, size, &out)) << size;
  // A larger limit decodes cleanly but short: reported as a failure, the
  // sizes kept, and the byte that was not produced cleared.
  EXPECT_FALSE(DecodeExact(*cb, stream, 20001, &out));
  EXPECT_EQ(cb->m_nOriginalSize, 20000u);
  EXPECT_EQ(Bytes(out.begin(), out.end() - 1), data);
  EXPECT_EQ(out.back(), 0);
  // Trailing bytes after the end marker are rejected.
  Bytes longer = stream;
  longer.push_back(0);
  EXPECT_FALSE(DecodeExact(*cb, longer, 20000, &out));

  // Random corruption: whatever happens, no access outside either buffer.
  std::mt19937 rng(8);
  for (int round = 0; round < 2000; ++round) {
    Bytes bad = stream;
    for (int k = 0; k < 1 + round % 4; ++k)
      bad[rng() % bad.size()] = static_cast<unsigned char>(rng());
    if (DecodeExact(*cb, bad, 20000, &out)) {
      EXPECT_EQ(cb->m_nOriginalSize, 20000u);
    }
  }
  const Bytes garbage = RandomBytes(5000, 12);
  EXPECT_FALSE(DecodeExact(*cb, garbage, 100000, &out));
}

std::string TempPath(const char* tag) {
  return "/tmp/orvel_codec_" + std::to_string(getpid()) + "_" + tag;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

TEST(CompressBuffer, DiskFileCompressesLikeTheSameBytesInMemory) {
  const std::string path = TempPath("disk");
  const Bytes data = MixedBytes(150000, 5);
  WriteFile(path, data);

  auto cb = std::make_unique<CCompressBuffer>();
  const unsigned char* p = cb->CompressDiskFile(path.c_str());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(cb->m_nOriginalSize, 150000u);
  const Bytes fromDisk = Stored(*cb, p);
  const unsigned char* q = cb->CompressBuffer(data.data(), 150000);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(Stored(*cb, q), fromDisk);

  // The file is closed afterwards: an exclusive open succeeds.
  const FileHandle h = OpenDiskFile(path.c_str(), kModeReadExclusive);
  EXPECT_NE(h, kInvalidFile);
  // While it is held exclusively, it cannot be compressed.
  EXPECT_EQ(cb->CompressDiskFile(path.c_str()), nullptr);
  CloseDiskFile(h);

  WriteFile(path, Bytes());
  p = cb->CompressDiskFile(path.c_str());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(cb->m_nOriginalSize, 0u);
  EXPECT_EQ(cb->m_nStoredSize, 3u);
  std::remove(path.c_str());
  EXPECT_EQ(cb->CompressDiskFile(path.c_str()), nullptr);
  EXPECT_EQ(cb->CompressDiskFile(nullptr), nullptr);
}

// Serves a fixed number of allocations, then fails; counts what it serves.
class RationedAllocator : public CPacketAllocator {
 public:
  explicit RationedAllocator(int allowed) : allowed_(allowed) {}
  void* Alloc(unsigned int size, unsigned int alignment) override {
    if (alignment != 16) misaligned_ = true;
    if (allowed_ == 0) return nullptr;
    --allowed_;
    ++live_;
    return std::aligned_alloc(16, (size + 15) / 16 * 16);
  }
  void Free(void* p) override {
    --live_;
    std::free(p);
  }
  void allow(int n) { allowed_ = n; }
  int live() const { return live_; }
  bool misaligned() const { return misaligned_; }

 private:
  int allowed_;
  int live_ = 0;
  bool misaligned_ = false;
};

struct Installed {
  explicit Installed(CPacketAllocator* a) { g_vrkAllocator = a; }
  ~Installed() { g_vrkAllocator = nullptr; }
};

TEST(CompressBuffer, FailedAllocationsGiveNullAndLaterCallsRecover) {
  RationedAllocator host(1);  // the object itself, not its buffer
  {
    Installed installed(&host);
    std::unique_ptr<CCompressBuffer> cb(new CCompressBuffer);
    ASSERT_NE(cb, nullptr);
    EXPECT_EQ(cb->m_pBuffer, nullptr);
    const Bytes data = MixedBytes(1000, 6);
    EXPECT_EQ(cb->CompressBuffer(data.data(), 1000), nullptr);

    host.allow(1);
    const unsigned char* p = cb->CompressBuffer(data.data(), 1000);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(cb->m_nCapacity, 65536u);

    // A failed growth keeps the old buffer and reports null.
    const Bytes big = RandomBytes(100000, 7);
    EXPECT_EQ(cb->CompressBuffer(big.data(), 100000), nullptr);
    EXPECT_EQ(cb->m_nCapacity, 65536u);
    EXPECT_NE(cb->m_pBuffer, nullptr);

    // The temporary block of a disk file failing gives null too.
    const std::string path = TempPath("alloc");
    WriteFile(path, data);
    EXPECT_EQ(cb->CompressDiskFile(path.c_str()), nullptr);
    host.allow(1);
    EXPECT_NE(cb->CompressDiskFile(path.c_str()), nullptr);
    std::remove(path.c_str());
  }
  EXPECT_EQ(host.live(), 0);
  EXPECT_FALSE(host.misaligned());
}

}  // namespace
}  // namespace orvel
