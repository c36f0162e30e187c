#include "codec/NameHash.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvel;

static const unsigned int* Table() {
  static unsigned int words[kCryptTableWords];
  static const bool ready = (InitCryptTable(words), true);
  return ready ? words : nullptr;
}

static std::vector<unsigned int> Hashes(const char* name) {
  unsigned int h[3];
  HashNameAll(name, Table(), h);
  return {h[0], h[1], h[2]};
}

TEST(NameHash, CryptTableAndKnownNames) {
  const unsigned int* t = Table();
  // Row 0 columns 0 and 1, rows 1 and 2 column 0, row 4 column 255.
  EXPECT_EQ(std::vector<unsigned>({t[0], t[1], t[256], t[512], t[4 * 256 + 255]}),
            std::vector<unsigned>(
                {0x55C636E2u, 0x02BE0170u, 0x76F8C1B1u, 0x3DF6965Du, 0x7303286Cu}));
  EXPECT_EQ(Hashes("(listfile)"), (std::vector<unsigned>{0x5F3DE859u, 0xFD657910u, 0x4E9B98A7u}));
  for (const char* name : {"abc", "ABC", "aBc"})
    EXPECT_EQ(Hashes(name), (std::vector<unsigned>{0xF434F751u, 0xAAB2C1A5u, 0x34300855u}));
  EXPECT_EQ(HashName("", t, kHashType2), 0x7FED7FEDu);
}

TEST(NameHash, OnlyAsciiLettersFold) {
  // 0xE9 and 0xC9 are a letter pair in Latin-1; they stay distinct.
  EXPECT_NE(Hashes("caf\xE9"), Hashes("caf\xC9"));
  char out[256];
  ASSERT_TRUE(LowerCaseName("Dir\\FILE.Txt\xC9", out));
  EXPECT_STREQ(out, "dir\\file.txt\xC9");
  ASSERT_TRUE(LowerCaseName(std::string(255, 'X').c_str(), out));
  EXPECT_EQ(std::string(out), std::string(255, 'x'));
  // A name that would not fit the 256-byte buffer is refused untouched.
  out[0] = '#';
  EXPECT_FALSE(LowerCaseName(std::string(256, 'x').c_str(), out) || LowerCaseName(nullptr, out));
  EXPECT_EQ(out[0], '#');
}

TEST(NameHash, TableSizeRoundsUpToAPowerOfTwo) {
  // Requests whose bits give no result: 1 doubles the previous size, 0 wraps
  // to the largest position.
  const struct { unsigned request, previous, want; } cases[] = {
      {3, 0, 4}, {1024, 0, 1024}, {1025, 0, 2048}, {0x80000000u, 0, 0x80000000u},
      {1, 0, 0}, {1, 512, 1024},  {0, 0, 0x80000000u}};
  for (const auto& c : cases)
    EXPECT_EQ(RoundTableSize(c.request, c.previous), c.want) << c.request;
}
