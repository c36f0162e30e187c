#include "codec/checksum_crc.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <vector>

#include "codec/assert_capture.h"

namespace orvel {
namespace {

using orvel_test::AssertCapture;

// Bit-at-a-time reference, independent of any table.
uint32_t ReferenceUpdate(uint32_t crc, const unsigned char* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return crc;
}

std::vector<unsigned char> RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<unsigned char> v(n);
  for (auto& b : v) b = static_cast<unsigned char>(rng());
  return v;
}

unsigned long Crc(const void* data, int size) {
  unsigned long crc;
  InitCRC(&crc);
  UpdateCRC(&crc, data, size);
  FinishCRC(&crc);
  return crc;
}

TEST(Crc32, CheckValues) {
  EXPECT_EQ(Crc("123456789", 9), 0xCBF43926ul);
  const unsigned char zero = 0;
  EXPECT_EQ(Crc(&zero, 1), 0xD202EF8Dul);
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32(nullptr, 0), 0u);
}

TEST(Crc32, BothEnginesMatchTheReferenceOnEveryLengthAndAlignment) {
  const auto data = RandomBytes(64 + 320, 7);
  for (size_t align = 0; align < 64; ++align) {
    for (size_t len = 0; len <= 320; ++len) {
      const unsigned char* p = data.data() + align;
      const uint32_t seed = static_cast<uint32_t>(len * 2654435761u);
      const uint32_t want = ReferenceUpdate(seed, p, len);
      ASSERT_EQ(Crc32UpdateSlicing(seed, p, len), want) << align << "/" << len;
      if (Crc32HasClmul()) {
        ASSERT_EQ(Crc32UpdateClmul(seed, p, len), want) << align << "/" << len;
      }
      ASSERT_EQ(Crc32Update(seed, p, len), want) << align << "/" << len;
    }
  }
}

TEST(Crc32, LargeBuffersAgreeAcrossEngines) {
  const auto data = RandomBytes((1u << 20) + 77, 11);
  for (size_t len : {size_t{65536}, size_t{65536 + 13}, data.size() - 5}) {
    const uint32_t want = ReferenceUpdate(0xFFFFFFFFu, data.data() + 5, len);
    EXPECT_EQ(Crc32UpdateSlicing(0xFFFFFFFFu, data.data() + 5, len), want);
    if (Crc32HasClmul()) {
      EXPECT_EQ(Crc32UpdateClmul(0xFFFFFFFFu, data.data() + 5, len), want);
    }
  }
  // Runs of zeros and of 0xFF stress the folding constants differently.
  std::vector<unsigned char> zeros(100000, 0), ones(100000, 0xFF);
  EXPECT_EQ(Crc32Update(0xFFFFFFFFu, zeros.data(), zeros.size()),
            ReferenceUpdate(0xFFFFFFFFu, zeros.data(), zeros.size()));
  EXPECT_EQ(Crc32Update(0, ones.data(), ones.size()),
            ReferenceUpdate(0, ones.data(), ones.size()));
}

TEST(Crc32, PiecesGiveTheSameResultAsOneCall) {
  const auto data = RandomBytes(5000, 3);
  const unsigned long whole = Crc(data.data(), 5000);
  for (int cut : {1, 7, 64, 1000, 4999}) {
    unsigned long crc;
    InitCRC(&crc);
    UpdateCRC(&crc, data.data(), cut);
    UpdateCRC(&crc, data.data() + cut, 5000 - cut);
    FinishCRC(&crc);
    EXPECT_EQ(crc, whole) << cut;
  }
}

TEST(Crc32, VerifyDetectsSingleBitChanges) {
  auto data = RandomBytes(1000, 5);
  const unsigned long crc = Crc(data.data(), 1000);
  EXPECT_EQ(VerifyCRC(data.data(), 1000, crc), 1);
  EXPECT_EQ(VerifyCRC(data.data(), 1000, crc ^ 0x10000), 0);
  data[500] ^= 0x04;
  EXPECT_EQ(VerifyCRC(data.data(), 1000, crc), 0);
}

TEST(Crc32, NullPointersAreReportedAndNothingIsRead) {
  AssertCapture capture;
  InitCRC(nullptr);
  FinishCRC(nullptr);
  UpdateCRC(nullptr, "abc", 3);
  EXPECT_EQ(capture.take(),
            (std::vector<std::string>{
                AssertCapture::Message("pulCRC", "checksum_crc.cpp", 79),
                AssertCapture::Message("pulCRC", "checksum_crc.cpp", 85),
                AssertCapture::Message("pulCRC", "checksum_crc.cpp", 100)}));

  unsigned long crc = 0x12345678;
  UpdateCRC(&crc, nullptr, 10);
  EXPECT_EQ(crc, 0x12345678ul);
  EXPECT_EQ(capture.take(), std::vector<std::string>{AssertCapture::Message(
                                "pBuffer", "checksum_crc.cpp", 101)});
}

TEST(Crc32, NonPositiveCountsAreReportedAndChangeNothing) {
  AssertCapture capture;
  unsigned long crc = 0xABCDEF01;
  UpdateCRC(&crc, "x", 0);
  UpdateCRC(&crc, "x", -5);
  UpdateCRC(&crc, "x", INT_MIN);
  EXPECT_EQ(crc, 0xABCDEF01ul);
  const std::string report =
      AssertCapture::Message("nBuffer>0", "checksum_crc.cpp", 102);
  EXPECT_EQ(capture.take(), std::vector<std::string>(3, report));
}

TEST(Crc32, VerifyOfNothingReportsTwiceAndComparesWithZero) {
  AssertCapture capture;
  EXPECT_EQ(VerifyCRC("abc", 0, 0), 1);
  EXPECT_EQ(capture.take(),
            (std::vector<std::string>{
                AssertCapture::Message("size>0", "checksum_crc.cpp", 186),
                AssertCapture::Message("nBuffer>0", "checksum_crc.cpp", 102)}));
  EXPECT_EQ(VerifyCRC("abc", 0, 0x352441C2), 0);
  capture.take();

  EXPECT_EQ(VerifyCRC(nullptr, 16, 0), 1);
  EXPECT_EQ(capture.take(),
            (std::vector<std::string>{
                AssertCapture::Message("buffer", "checksum_crc.cpp", 185),
                AssertCapture::Message("pBuffer", "checksum_crc.cpp", 101)}));
}

}  // namespace
}  // namespace orvel
