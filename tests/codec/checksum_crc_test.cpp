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


TEST(Crc32, CombiningSumsGivesTheSumOfTheJoinedBytes) {
  const auto data = orvel_test::RandomBytes<Bytes>(5000, 11);
  // Splits at the edges (empty parts), odd lengths, and the table pieces'
  // lengths (64 hash entries, 64 block entries) with long tails.
  const size_t splits[][2] = {{0, 0},    {0, 9},    {9, 0},       {1, 1},       {3, 1280},
                              {1280, 1280}, {2304, 2304}, {2304, 36}, {4999, 1}, {7, 4993}};
  for (const auto& split : splits) {
    const unsigned char* a = data.data();
    const unsigned char* b = a + split[0];
    const uint32_t whole = Crc32(a, split[0] + split[1]);
    EXPECT_EQ(Crc32Combine(Crc32(a, split[0]), Crc32(b, split[1]), split[1]), whole)
        << split[0] << "+" << split[1];
    const Crc32Append append(split[1]);
    EXPECT_EQ(append(Crc32(a, split[0]), Crc32(b, split[1])), whole) << split[0] << "+" << split[1];
  }
  // A long run of equal pieces folds to the sum of the run.
  const Crc32Append piece(1280);
  uint32_t crc = Crc32(data.data(), 1280);
  for (int i = 1; i < 3; ++i) crc = piece(crc, Crc32(data.data() + 1280 * i, 1280));
  EXPECT_EQ(crc, Crc32(data.data(), 3840));
}
