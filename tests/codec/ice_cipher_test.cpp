#include "codec/IceCipher.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/TestData.h"

using namespace orvel;
using Bytes = std::vector<unsigned char>;

TEST(IceCipher, PublishedThinIceVector) {
  IceKey key;
  ASSERT_TRUE(IceKeyCreate(&key, 0));
  const Bytes plain = {0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
  IceKeySet(&key, Bytes{0xde, 0xad, 0xbe, 0xef, 0x01, 0x23, 0x45, 0x67}.data());
  Bytes cipher(8), back(8);
  IceEncrypt(&key, plain.data(), cipher.data());
  IceDecrypt(&key, cipher.data(), back.data());
  EXPECT_EQ(cipher, (Bytes{0xde, 0x24, 0x0d, 0x83, 0xa0, 0x0a, 0x9c, 0xc0}));
  EXPECT_EQ(back, plain);
  IceKeyDestroy(&key);
  EXPECT_EQ(key.keysched, nullptr);
}

TEST(IceCipher, ArchiveKeyBuffersRoundTripWholeBlocksAndMeetInPieces) {
  EXPECT_EQ(Bytes(kArchiveKey, kArchiveKey + 8),
            (Bytes{0x5A, 0xC1, 0x09, 0x7E, 0x22, 0xB4, 0xE8, 0x31}));
  KeyArchiveCipher();
  const Bytes data = orvel_test::RandomBytes<Bytes>(130 * 20 + 5, 3);
  Bytes whole = data;
  EncipherBuffer(whole.data(), static_cast<unsigned>(whole.size()));
  // Block by block the single-block routine; the 5-byte tail is left alone.
  Bytes blocks = data;
  for (size_t at = 0; at + 8 <= data.size(); at += 8)
    IceEncrypt(ArchiveIceKey(), data.data() + at, blocks.data() + at);
  EXPECT_EQ(whole, blocks);

  // A table written in pieces of 64 entries of 20 bytes meets one pass, and
  // deciphers back after keying again.
  Bytes pieces = data;
  for (size_t at = 0; at < pieces.size(); at += 1280)
    EncipherBuffer(pieces.data() + at,
                   static_cast<unsigned>(std::min<size_t>(1280, pieces.size() - at)));
  EXPECT_EQ(pieces, whole);
  KeyArchiveCipher();
  DecipherBuffer(pieces.data(), static_cast<unsigned>(pieces.size()));
  EXPECT_EQ(pieces, data);
}
