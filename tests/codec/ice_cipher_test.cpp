#include "codec/IceCipher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace orvel {
namespace {

using Block = std::vector<unsigned char>;

TEST(IceCipher, PublishedThinIceVector) {
  IceKey key;
  ASSERT_TRUE(IceKeyCreate(&key, 0));
  EXPECT_EQ(key.size, 1);
  EXPECT_EQ(key.rounds, 8);
  const unsigned char k[8] = {0xde, 0xad, 0xbe, 0xef, 0x01, 0x23, 0x45, 0x67};
  const unsigned char plain[8] = {0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
  const Block want = {0xde, 0x24, 0x0d, 0x83, 0xa0, 0x0a, 0x9c, 0xc0};
  IceKeySet(&key, k);
  Block cipher(8), back(8);
  IceEncrypt(&key, plain, cipher.data());
  EXPECT_EQ(cipher, want);
  IceDecrypt(&key, cipher.data(), back.data());
  EXPECT_EQ(back, Block(plain, plain + 8));

  IceKeyDestroy(&key);
  EXPECT_EQ(key.keysched, nullptr);
  EXPECT_EQ(key.rounds, 0);
  EXPECT_EQ(key.size, 0);
}

TEST(IceCipher, LevelsAboveZeroUseSixteenRoundsPerKeyPart) {
  IceKey key;
  ASSERT_TRUE(IceKeyCreate(&key, 2));
  EXPECT_EQ(key.size, 2);
  EXPECT_EQ(key.rounds, 32);
  unsigned char k[16];
  for (int i = 0; i < 16; ++i) k[i] = static_cast<unsigned char>(i * 17);
  IceKeySet(&key, k);
  const unsigned char plain[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  unsigned char cipher[8], back[8];
  IceEncrypt(&key, plain, cipher);
  IceDecrypt(&key, cipher, back);
  EXPECT_NE(std::memcmp(cipher, plain, 8), 0);
  EXPECT_EQ(std::memcmp(back, plain, 8), 0);
  IceKeyDestroy(&key);
}

TEST(IceCipher, KeyingTwiceGivesTheSameSchedule) {
  KeyArchiveCipher();
  const IceKey* key = ArchiveIceKey();
  ASSERT_NE(key->keysched, nullptr);
  ASSERT_EQ(key->rounds, 8);
  std::vector<IceSubkey> first(key->keysched, key->keysched + 8);
  KeyArchiveCipher();
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 3; ++j)
      EXPECT_EQ(key->keysched[i].val[j], first[i].val[j]);
}

TEST(IceCipher, BuffersTransformWholeBlocksOnly) {
  KeyArchiveCipher();
  std::mt19937 rng(3);
  Block data(20);
  for (auto& b : data) b = static_cast<unsigned char>(rng());
  Block work = data;
  EncipherBuffer(work.data(), 20);
  // Block by block, the same as the single-block routine with the key.
  for (int b = 0; b < 2; ++b) {
    unsigned char one[8];
    IceEncrypt(ArchiveIceKey(), data.data() + 8 * b, one);
    EXPECT_EQ(std::memcmp(work.data() + 8 * b, one, 8), 0) << b;
  }
  EXPECT_EQ(Block(work.begin() + 16, work.end()), Block(data.begin() + 16, data.end()));
  DecipherBuffer(work.data(), 20);
  EXPECT_EQ(work, data);

  Block seven(data.begin(), data.begin() + 7);
  EncipherBuffer(seven.data(), 7);
  EXPECT_EQ(seven, Block(data.begin(), data.begin() + 7));
}

TEST(IceCipher, LongBuffersMatchTheSingleBlockRoutine) {
  KeyArchiveCipher();
  std::mt19937 rng(4);
  Block data(13 * 8 + 5);
  for (auto& b : data) b = static_cast<unsigned char>(rng());
  Block work = data;
  EncipherBuffer(work.data(), static_cast<unsigned>(work.size()));
  for (size_t b = 0; b < 13; ++b) {
    unsigned char one[8];
    IceEncrypt(ArchiveIceKey(), data.data() + 8 * b, one);
    ASSERT_EQ(std::memcmp(work.data() + 8 * b, one, 8), 0) << b;
  }
  EXPECT_EQ(Block(work.end() - 5, work.end()), Block(data.end() - 5, data.end()));
  DecipherBuffer(work.data(), static_cast<unsigned>(work.size()));
  EXPECT_EQ(work, data);
}

TEST(IceCipher, PieceByPieceMeetsOnePassOnBlockBoundaries) {
  KeyArchiveCipher();
  // A table written in 64-entry pieces of 20 bytes (1280 bytes each, a
  // multiple of 8) and read back whole.
  Block table(130 * 20);
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<unsigned char>(i * 7);
  Block written = table;
  for (size_t at = 0; at < written.size(); at += 1280) {
    const size_t n = std::min<size_t>(1280, written.size() - at);
    EncipherBuffer(written.data() + at, static_cast<unsigned>(n));
  }
  Block whole = table;
  EncipherBuffer(whole.data(), static_cast<unsigned>(whole.size()));
  EXPECT_EQ(written, whole);
  DecipherBuffer(written.data(), static_cast<unsigned>(written.size()));
  EXPECT_EQ(written, table);
}

TEST(IceCipher, ArchiveKeyRoundTripsAnyBlock) {
  KeyArchiveCipher();
  std::mt19937 rng(5);
  for (int i = 0; i < 1000; ++i) {
    unsigned char plain[8], cipher[8], back[8];
    for (auto& b : plain) b = static_cast<unsigned char>(rng());
    IceEncrypt(ArchiveIceKey(), plain, cipher);
    IceDecrypt(ArchiveIceKey(), cipher, back);
    ASSERT_EQ(std::memcmp(back, plain, 8), 0);
  }
  const unsigned char expected[8] = {0x5A, 0xC1, 0x09, 0x7E, 0x22, 0xB4, 0xE8, 0x31};
  EXPECT_EQ(std::memcmp(kArchiveKey, expected, 8), 0);
}

}  // namespace
}  // namespace orvel
