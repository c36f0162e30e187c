#include "codec/LzoStreamLength.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "codec/CompressBuffer.h"
#include "common/TestData.h"

using namespace orvel;
using Bytes = std::vector<unsigned char>;

namespace {

// Data that makes the compressor use every kind of instruction: long
// literal runs, near and far matches, long runs of one byte.
Bytes Sample(int kind, size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) {
    switch (kind) {
      case 0: b[i] = static_cast<unsigned char>(rng()); break;
      case 1: b[i] = 0; break;
      case 2: b[i] = static_cast<unsigned char>("abcdefgh ij"[rng() % 11]); break;
      case 3: b[i] = static_cast<unsigned char>(i / (rng() % 50 + 1)); break;
      default:  // near and far repeats (beyond 16 KiB, the longest reach)
        b[i] = rng() % 7 == 0 || i < 40 ? static_cast<unsigned char>(rng())
               : i > 20000 && rng() % 5 == 0 ? b[i - 20000 + rng() % 3]
                                             : b[i - 17 - rng() % 3];
    }
  }
  return b;
}

Bytes Compress(const Bytes& data) {
  CCompressBuffer cb;
  const unsigned char* out = cb.CompressBuffer(data.data(), static_cast<unsigned>(data.size()));
  EXPECT_NE(out, nullptr);
  return Bytes(out, out + cb.m_nStoredSize);
}

}  // namespace

// Every stream the compressor writes, followed by other bytes, measures to
// exactly its own length and its original size.
TEST(LzoStreamLength, MeasuresWhatTheCompressorWrites) {
  for (int kind = 0; kind < 5; ++kind) {
    for (size_t n : {1u, 2u, 17u, 300u, 4096u, 70000u}) {
      SCOPED_TRACE(std::to_string(kind) + " " + std::to_string(n));
      const Bytes data = Sample(kind, n, static_cast<unsigned>(n + kind));
      Bytes stream = Compress(data);
      const size_t length = stream.size();
      const Bytes after = orvel_test::RandomBytes<Bytes>(64, 7);
      stream.insert(stream.end(), after.begin(), after.end());
      LzoStreamLength got;
      uint64_t work = 0;
      ASSERT_TRUE(MeasureLzoStream(stream.data(), stream.size(), n, true, &got, &work));
      EXPECT_EQ(got.consumed, length);
      EXPECT_EQ(got.decoded, n);
      EXPECT_EQ(work, length);
      // Cut anywhere before its end marker, or allowed to decode one byte
      // less, it is no stream.
      for (size_t cut : {length - 1, length / 2, size_t{1}, size_t{0}})
        EXPECT_FALSE(MeasureLzoStream(stream.data(), cut, n, false, &got, &work)) << cut;
      EXPECT_FALSE(MeasureLzoStream(stream.data(), stream.size(), n - 1, false, &got, &work));
    }
  }
}

// Plain data read as a stream fails early: a match that reaches before the
// start, or a length beyond the input.
TEST(LzoStreamLength, PlainDataIsNoStream) {
  const std::string text = orvel_test::Text(5000, 3);
  for (size_t at = 0; at < 200; ++at) {
    LzoStreamLength got;
    uint64_t work = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + at;
    EXPECT_FALSE(MeasureLzoStream(p, text.size() - at, 1u << 20, false, &got, &work)) << at;
    EXPECT_LE(work, 256u) << at;
  }
}

// The quick look refuses no start that the walk takes for a stream with
// content, at any position of plain or compressed bytes.
TEST(LzoStreamLength, QuickLookRefusesNoStream) {
  Bytes bytes = orvel_test::RandomBytes<Bytes>(1 << 16, 11);
  const Bytes stream = Compress(Sample(4, 5000, 3));
  bytes.insert(bytes.begin() + 1000, stream.begin(), stream.end());
  size_t streams = 0;
  for (size_t at = 0; at < bytes.size(); ++at) {
    LzoStreamLength got;
    uint64_t work = 0;
    if (!MeasureLzoStream(bytes.data() + at, bytes.size() - at, 1u << 24, false, &got, &work) ||
        got.decoded == 0)
      continue;
    ++streams;
    EXPECT_TRUE(CouldStartLzoStream(bytes.data() + at, bytes.size() - at)) << at;
  }
  EXPECT_GE(streams, 1u);
}
