#include "codec/checksum_crc.h"
#include "codec/checksum_crc_vector.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/TestData.h"

using namespace orvel;
using Bytes = std::vector<unsigned char>;

// Bit-at-a-time reference, independent of any table.
static uint32_t ReferenceUpdate(uint32_t crc, const unsigned char* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return crc;
}

TEST(Crc32, CheckValuesPiecesAndVerify) {
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32(nullptr, 0), 0u);
  const unsigned char zero = 0;
  EXPECT_EQ(VerifyCRC(&zero, 1, 0xD202EF8D) * 2 + VerifyCRC(&zero, 1, 0xD202EF8D ^ 0x10000), 2);
  // Init, two updates and finish give the value of one call.
  unsigned long crc;
  InitCRC(&crc), UpdateCRC(&crc, "1234", 4), UpdateCRC(&crc, "56789", 5), FinishCRC(&crc);
  EXPECT_EQ(crc, 0xCBF43926ul);
}

TEST(Crc32, EnginesMatchTheReferenceOnEveryLengthAndAlignment) {
  // Random bytes, then runs of zeros and of 0xFF, which stress the folding
  // constants differently; a few long lengths cross many folding rounds.
  // Lengths run past two rounds of the widest engine (512 bytes) so that
  // every block-count and tail combination of each engine comes up.
  std::vector<size_t> lengths = {4096 + 13, 65536, 65536 + 77};
  for (size_t len = 0; len <= 640; ++len) lengths.push_back(len);
  std::vector<int> widths;  // the wide engines this processor can run
  for (int width : {256, 512})
    if (width <= Crc32VectorWidth()) widths.push_back(width);
  const size_t size = 64 + 65536 + 77;
  for (const auto& data : {orvel_test::RandomBytes<Bytes>(size, 7), Bytes(size, 0),
                           Bytes(size, 0xFF)}) {
    for (size_t align = 0; align < 64; ++align) {
      for (size_t len : lengths) {
        const unsigned char* p = data.data() + align;
        const uint32_t seed = static_cast<uint32_t>(len * 2654435761u);
        const uint32_t want = ReferenceUpdate(seed, p, len);
        const uint32_t clmul = Crc32HasClmul() ? Crc32UpdateClmul(seed, p, len) : want;
        std::vector<uint32_t> got = {Crc32UpdateSlicing(seed, p, len), clmul,
                                     Crc32Update(seed, p, len)};
        for (int width : widths) got.push_back(Crc32UpdateVector(width, seed, p, len));
        ASSERT_EQ(got, std::vector<uint32_t>(got.size(), want)) << align << "/" << len;
      }
    }
  }
}

