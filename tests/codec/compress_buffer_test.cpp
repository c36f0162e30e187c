#include "codec/CompressBuffer.h"

#include <gtest/gtest.h>
#include <lzo/lzo1x.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/TestData.h"
#include "common/CountingAllocator.h"
#include "common/TempDir.h"
#include "frame/DiskFile.h"

using namespace orvel;
using Bytes = std::vector<unsigned char>;

// Text-like data with repeats, so the compressor finds matches.
static Bytes MixedBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  for (std::string s;;) {
    if (s.size() >= n) return Bytes(s.begin(), s.begin() + static_cast<long>(n));
    s += "entry " + std::to_string(rng() % 1000) + (rng() % 2 ? " data\\file.dat\n" : " \1\2\3");
  }
}

static Bytes Stored(const CCompressBuffer& cb, const unsigned char* p) {
  return p ? Bytes(p, p + cb.m_nStoredSize) : Bytes();
}

// A block whose last byte sits right before an inaccessible page, so that
// any access past its end faults, even from the uninstrumented LZO library.
struct GuardedBlock {
  explicit GuardedBlock(size_t size) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    length = (size + page - 1) / page * page + page;
    base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) std::abort();
    mprotect(static_cast<char*>(base) + length - page, page, PROT_NONE);
    data = static_cast<unsigned char*>(base) + length - page - size;
  }
  ~GuardedBlock() { munmap(base, length); }
  size_t length;
  void* base;
  unsigned char* data;
};

// Decodes a stream placed at the very end of its block into an output block
// of exactly `size` bytes (stale contents): reading past the stream or
// writing past the output faults.
static bool DecodeExact(CCompressBuffer& cb, const Bytes& stream, unsigned size, Bytes* out) {
  GuardedBlock input(stream.size()), output(size);
  if (!stream.empty()) std::memcpy(input.data, stream.data(), stream.size());
  std::memset(output.data, 0xCC, size);
  const bool ok =
      cb.Decompress(input.data, static_cast<unsigned>(stream.size()), size, output.data);
  out->assign(output.data, output.data + size);
  return ok;
}

TEST(CompressBuffer, RoundTripsAndInteroperatesWithThePlainLzoRoutines) {
  ASSERT_EQ(lzo_init(), LZO_E_OK);
  auto cb = std::make_unique<CCompressBuffer>();
  Bytes work(LZO1X_1_MEM_COMPRESS), back;
  // Incompressible data needs more than the initial 64 KiB buffer.
  for (const Bytes& data : {MixedBytes(0, 0), MixedBytes(1, 1), MixedBytes(200000, 2),
                            orvel_test::RandomBytes<Bytes>(100000, 3)}) {
    const unsigned n = static_cast<unsigned>(data.size());
    // Our stream ends with the end marker and decodes through Decompress
    // and through the plain safe decoder.
    const Bytes ours = Stored(*cb, cb->CompressBuffer(data.data(), n));
    ASSERT_TRUE(ours.size() >= 3 && Bytes(ours.end() - 3, ours.end()) == Bytes({0x11, 0, 0}));
    EXPECT_TRUE(DecodeExact(*cb, ours, n, &back) && back == data) << n;
    back.assign(n + 1, 0);
    lzo_uint length = back.size();
    ASSERT_EQ(lzo1x_decompress_safe(ours.data(), ours.size(), back.data(), &length, nullptr),
              LZO_E_OK);
    EXPECT_EQ(Bytes(back.begin(), back.begin() + static_cast<long>(length)), data);
    // A stream of the fast LZO1X-1 compressor decodes through Decompress.
    Bytes theirs(CompressBound(n));
    length = theirs.size();
    ASSERT_EQ(lzo1x_1_compress(data.data(), n, theirs.data(), &length, work.data()), LZO_E_OK);
    theirs.resize(length);
    EXPECT_TRUE(DecodeExact(*cb, theirs, n, &back) && back == data) << n;
  }
}

TEST(CompressBuffer, DamagedStreamsStayInsideBothBuffers) {
  auto cb = std::make_unique<CCompressBuffer>();
  const Bytes data = MixedBytes(20000, 4);
  const Bytes stream = Stored(*cb, cb->CompressBuffer(data.data(), 20000));
  ASSERT_FALSE(stream.empty());
  Bytes out;
  // Every truncation fails and leaves the sizes of the last good operation.
  for (size_t cut = 0; cut < stream.size(); cut += (cut < 64 ? 1 : 37)) {
    EXPECT_FALSE(DecodeExact(*cb, Bytes(stream.begin(), stream.begin() + cut), 20000, &out));
    EXPECT_EQ(cb->m_nOriginalSize + cb->m_nStoredSize, 20000u + stream.size()) << cut;
  }
  // An output limit below the real size fails without overrunning.
  for (unsigned size : {0u, 19999u}) EXPECT_FALSE(DecodeExact(*cb, stream, size, &out));
  // A larger limit decodes cleanly but short: a failure, the byte that was
  // not produced cleared.
  EXPECT_FALSE(DecodeExact(*cb, stream, 20001, &out));
  EXPECT_EQ(Bytes(out.begin(), out.end() - 1), data);
  EXPECT_EQ(out.back(), 0);
  // Trailing bytes after the end marker are rejected.
  Bytes longer = stream;
  longer.push_back(0);
  EXPECT_FALSE(DecodeExact(*cb, longer, 20000, &out));
  // Random corruption and garbage: whatever happens, the guard pages hold.
  std::mt19937 rng(8);
  for (int round = 0; round < 2000; ++round) {
    Bytes bad = stream;
    for (int k = 0; k < 1 + round % 4; ++k) bad[rng() % bad.size()] = rng() & 0xFF;
    DecodeExact(*cb, bad, 20000, &out);
  }
  EXPECT_FALSE(DecodeExact(*cb, orvel_test::RandomBytes<Bytes>(5000, 12), 100000, &out));
}

TEST(CompressBuffer, DiskFilesCompressLikeMemoryAndHonourShareModes) {
  orvel_test::TempDir tmp;
  const std::string path = tmp / "f";
  const Bytes data = MixedBytes(150000, 5);
  orvel_test::WriteFileBytes(path, std::string(data.begin(), data.end()));
  auto cb = std::make_unique<CCompressBuffer>();
  const Bytes fromDisk = Stored(*cb, cb->CompressDiskFile(path.c_str()));
  EXPECT_EQ(Stored(*cb, cb->CompressBuffer(data.data(), 150000)), fromDisk);
  // The file was closed: an exclusive open succeeds, and while it is held
  // the file cannot be compressed.
  const FileHandle h = OpenDiskFile(path.c_str(), kModeReadExclusive);
  EXPECT_TRUE(h != kInvalidFile && !cb->CompressDiskFile(path.c_str()));
  CloseDiskFile(h);
  EXPECT_EQ(cb->CompressDiskFile((tmp / "missing").c_str()), nullptr);
}

TEST(CompressBuffer, FailedAllocationsGiveNullAndLaterCallsRecover) {
  orvel_test::TempDir tmp;
  const Bytes data = MixedBytes(1000, 6), big = orvel_test::RandomBytes<Bytes>(100000, 7);
  orvel_test::WriteFileBytes(tmp / "f", std::string(data.begin(), data.end()));
  orvel_test::CountingAllocator host;
  {
    orvel_test::ScopedAllocator use(&host);
    host.fail_after(1);  // the object itself, not its buffer
    std::unique_ptr<CCompressBuffer> cb(new CCompressBuffer);
    ASSERT_NE(cb, nullptr);
    EXPECT_EQ(cb->CompressBuffer(data.data(), 1000), nullptr);
    host.fail_after(1);
    ASSERT_NE(cb->CompressBuffer(data.data(), 1000), nullptr);
    // A failed growth keeps the old buffer in use; a failed temporary block
    // for a disk file gives null too.
    EXPECT_EQ(cb->CompressBuffer(big.data(), 100000), nullptr);
    EXPECT_NE(cb->CompressBuffer(data.data(), 1000), nullptr);
    EXPECT_EQ(cb->CompressDiskFile((tmp / "f").c_str()), nullptr);
  }
  EXPECT_EQ(host.live(), 0u);
  EXPECT_TRUE(host.always_aligned_16());
}

// The streams are liblzo2's lzo1x_999_compress bytes, also when the buffer
// (and the work memory beside it) has grown or shrunk back to small inputs.
TEST(CompressBuffer, StreamsAreThoseOfTheReferenceCompressor) {
  ASSERT_EQ(lzo_init(), LZO_E_OK);
  auto cb = std::make_unique<CCompressBuffer>();
  Bytes work(LZO1X_999_MEM_COMPRESS);
  for (const Bytes& data : {MixedBytes(3000, 8), MixedBytes(400000, 9), MixedBytes(70, 10),
                            orvel_test::RandomBytes<Bytes>(90000, 11), MixedBytes(65536, 12)}) {
    const unsigned n = static_cast<unsigned>(data.size());
    Bytes expected(n + n / 16 + 67);
    lzo_uint length = 0;
    lzo1x_999_compress(data.data(), n, expected.data(), &length, work.data());
    expected.resize(length);
    EXPECT_EQ(Stored(*cb, cb->CompressBuffer(data.data(), n)), expected) << n;
  }
}

// Only compression takes the compressor's work memory: an object that only
// decodes stays small.
TEST(CompressBuffer, ReadersDoNotHoldWorkMemory) {
  const Bytes data = MixedBytes(5000, 13);
  Bytes stream;
  {
    auto writer = std::make_unique<CCompressBuffer>();
    stream = Stored(*writer, writer->CompressBuffer(data.data(), 5000));
  }
  orvel_test::CountingAllocator host;
  {
    orvel_test::ScopedAllocator use(&host);
    std::unique_ptr<CCompressBuffer> cb(new CCompressBuffer);
    Bytes out;
    ASSERT_TRUE(DecodeExact(*cb, stream, 5000, &out));
    EXPECT_EQ(out, data);
    EXPECT_LT(host.peak_bytes(), 100000u);
    ASSERT_NE(cb->CompressBuffer(data.data(), 5000), nullptr);
    EXPECT_GT(host.peak_bytes(), 300000u);  // the work memory came with compression
  }
  EXPECT_EQ(host.live(), 0u);
}
