#include "codec/NameHash.h"

#include <gtest/gtest.h>

#include <string>

namespace orvel {
namespace {

struct CryptTable {
  unsigned int words[kCryptTableWords];
  CryptTable() { InitCryptTable(words); }
};

TEST(NameHash, CryptTableWordsAreTheGeneratorSequence) {
  CryptTable t;
  EXPECT_EQ(t.words[0], 0x55C636E2u);        // row 0, column 0
  EXPECT_EQ(t.words[256], 0x76F8C1B1u);      // row 1, column 0
  EXPECT_EQ(t.words[512], 0x3DF6965Du);      // row 2, column 0
  EXPECT_EQ(t.words[1], 0x02BE0170u);        // row 0, column 1
  EXPECT_EQ(t.words[4 * 256 + 255], 0x7303286Cu);  // row 4, column 255
}

TEST(NameHash, KnownNamesHashToTheirStoredValues) {
  CryptTable t;
  unsigned int h[3];
  HashNameAll("(listfile)", t.words, h);
  EXPECT_EQ(h[0], 0x5F3DE859u);
  EXPECT_EQ(h[1], 0xFD657910u);
  EXPECT_EQ(h[2], 0x4E9B98A7u);
  for (const char* name : {"abc", "ABC", "aBc"}) {
    HashNameAll(name, t.words, h);
    EXPECT_EQ(h[0], 0xF434F751u) << name;
    EXPECT_EQ(h[1], 0xAAB2C1A5u) << name;
    EXPECT_EQ(h[2], 0x34300855u) << name;
  }
  EXPECT_EQ(HashName("abc", t.words, kHashType1), 0xAAB2C1A5u);
}

TEST(NameHash, EmptyNameGivesTheStartValue) {
  CryptTable t;
  for (unsigned type : {kHashType0, kHashType1, kHashType2})
    EXPECT_EQ(HashName("", t.words, type), 0x7FED7FEDu);
}

TEST(NameHash, OnlyAsciiLettersFold) {
  CryptTable t;
  EXPECT_NE(HashName("data\\a.txt", t.words, 0),
            HashName("data/a.txt", t.words, 0));
  // 0xE9 and 0xC9 are a letter pair in Latin-1; they stay distinct.
  EXPECT_NE(HashName("caf\xE9", t.words, 0), HashName("caf\xC9", t.words, 0));
  EXPECT_EQ(HashName("Data\\Sub\\File.DAT", t.words, 2),
            HashName("data\\sub\\file.dat", t.words, 2));
  EXPECT_NE(HashName(" a", t.words, 0), HashName("a", t.words, 0));
}

TEST(NameHash, LowerCaseNameCopiesUpTo255Bytes) {
  char out[256];
  ASSERT_TRUE(LowerCaseName("Dir\\FILE.Txt\xC9", out));
  EXPECT_STREQ(out, "dir\\file.txt\xC9");

  std::string longest(255, 'X');
  ASSERT_TRUE(LowerCaseName(longest.c_str(), out));
  EXPECT_EQ(std::string(out), std::string(255, 'x'));

  std::string tooLong(256, 'x');
  out[0] = '#';
  EXPECT_FALSE(LowerCaseName(tooLong.c_str(), out));
  EXPECT_EQ(out[0], '#');
  EXPECT_FALSE(LowerCaseName(nullptr, out));
}

TEST(NameHash, TableSizeRoundsUpToAPowerOfTwo) {
  EXPECT_EQ(RoundTableSize(2, 0), 2u);
  EXPECT_EQ(RoundTableSize(3, 0), 4u);
  EXPECT_EQ(RoundTableSize(1000, 0), 1024u);
  EXPECT_EQ(RoundTableSize(1024, 0), 1024u);
  EXPECT_EQ(RoundTableSize(1025, 0), 2048u);
  EXPECT_EQ(RoundTableSize(4096, 0), 4096u);
  EXPECT_EQ(RoundTableSize(4097, 0), 8192u);
  EXPECT_EQ(RoundTableSize(0x80000000u, 0), 0x80000000u);
  // Requests whose bits give no result: 1 doubles the previous size, 0 wraps
  // to the largest position.
  EXPECT_EQ(RoundTableSize(1, 0), 0u);
  EXPECT_EQ(RoundTableSize(1, 512), 1024u);
  EXPECT_EQ(RoundTableSize(0, 0), 0x80000000u);
}

}  // namespace
}  // namespace orvel
