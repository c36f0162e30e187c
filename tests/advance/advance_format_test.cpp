// The bytes of the three files: signature, header copies, side file sizes,
// growth of the tables, enciphered tables and the list side file.
#include <lzo/lzo1x.h>

#include "advance/AdvanceFixture.h"
#include "codec/IceCipher.h"

namespace orvel_test {
namespace {

using Words = std::vector<std::pair<size_t, uint32_t>>;

TEST_F(AdvanceTest, FreshArchiveIsSixtyBytesWithHeaderCopy) {
  EXPECT_EQ(Create(8, 1000, 3, 7)->TableSize(), 1024u);
  const std::string vrk = Bytes(".vrk");
  ASSERT_EQ(vrk.size(), 60u);
  EXPECT_EQ(vrk.substr(0, 4), std::string("VRK\x1A", 4));
  // Header size, then the copy: fileSize (before the copy was written),
  // versions, flags, fileCount, tableSize, baseVersion.
  for (auto [at, want] : Words{{4, 32}, {8, 8}, {12, 3}, {16, 7}, {20, 8}, {28, 1}, {44, 1024},
                               {56, 7}})
    EXPECT_EQ(Word(vrk, at), want) << at;

  const std::string bhl = Bytes(".bhl");
  ASSERT_EQ(bhl.size(), 64u + 36u + 20u * 1024u);
  EXPECT_EQ(bhl.substr(4, 48), vrk.substr(12, 48));
  const size_t end = bhl.size() - 4;
  for (auto [at, want] : Words{{16, 56}, {32, 96}, {52, orvel::Crc32(bhl.data(), 52)},
                               {92, orvel::Crc32(bhl.data() + 56, 36)},
                               {end, orvel::Crc32(bhl.data() + 96, 20 * 1024)}})
    EXPECT_EQ(Word(bhl, at), want) << at;

  const std::string lst = Bytes(".lst");
  orvel::AdvanceBlockEntry rec;
  std::memcpy(&rec, lst.data(), 36);
  EXPECT_EQ(Word(lst, 36), orvel::Crc32(lst.data(), 36));
  EXPECT_EQ(rec.offset, 40u);
  EXPECT_EQ(rec.flags & 1u, 1u);
  ASSERT_EQ(lst.size(), 44u + rec.storedSize);
  const std::string packed = lst.substr(40, rec.storedSize);
  EXPECT_EQ(Word(lst, 40 + rec.storedSize), orvel::Crc32(packed.data(), packed.size()));
  std::string text(rec.originalSize, '\0');
  lzo_uint len = text.size();
  ASSERT_EQ(lzo1x_decompress_safe(reinterpret_cast<const unsigned char*>(packed.data()),
                                  packed.size(), reinterpret_cast<unsigned char*>(&text[0]),
                                  &len, nullptr), LZO_E_OK);
  EXPECT_EQ(text.substr(0, len), std::string("(listfile)\n\0", 12));
}

TEST_F(AdvanceTest, GrowthFromFourSlotsAndSideFileSizes) {
  Packet p = Create(8, 4, 0, 5);
  Watch(VRKCB_GROW_TABLES);
  p->BeginUpdate();
  for (int i = 0; i < 4; ++i) AddText(p.get(), "g" + std::to_string(i), Text(100, char(i)), 1);
  EXPECT_EQ(g_calls.size(), 4u);  // one growth, from 4 slots
  EXPECT_EQ((std::vector<uint32_t>{p->TableSize(), p->Header()->blockCount, p->Header()->fileCount}),
            (std::vector<uint32_t>{8, 5, 5}));
  // Growth rewrote the copy in the archive file, staged until the commit:
  // readers see the committed size until then.
  EXPECT_EQ(Word(Bytes(".vrk"), 8 + 36), 4u);
  EXPECT_EQ(Word(Bytes(".bhl"), 36), 4u);
  ASSERT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(Word(Bytes(".vrk"), 8 + 36), 8u);

  EXPECT_EQ(Bytes(".bhl").size(), 64u + 36u * 5 + 20u * 8);
  const std::string lst = Bytes(".lst");
  EXPECT_EQ(lst.size(), 44u + Word(lst, 16));
  // Data records: stored bytes followed by their checksum word.
  const orvel::AdvanceBlockEntry* e = p->FindBlock("g2", kNone);
  const std::string vrk = Bytes(".vrk");
  EXPECT_EQ(Word(vrk, e->offset + e->storedSize),
            orvel::Crc32(vrk.data() + e->offset, e->storedSize));
  EXPECT_EQ(Word(vrk, 8), vrk.size());

  // A version stamp outside a bracket reaches both header copies.
  p->SetPacketVersion(1, 9);
  EXPECT_EQ(Word(Bytes(".vrk"), 8 + 8), 9u);
  EXPECT_EQ(Word(Bytes(".bhl"), 8), 9u);
  EXPECT_EQ(ReadAll(*Open(), "g3"), Text(100, 3));
}

TEST_F(AdvanceTest, EncipheredOddBlockTableKeepsPlainTail) {
  Packet p = Build(16, "e", 2, 8 | 2);
  const std::string plain(reinterpret_cast<const char*>(p->BlockTable()), 36 * 3);
  const std::string bhl = Bytes(".bhl");
  EXPECT_EQ(Word(bhl, 12) & 2u, 2u);
  const std::string stored = bhl.substr(56, 36 * 3);
  // 108 bytes: 13 whole blocks enciphered, the last 4 bytes plain.
  EXPECT_EQ(stored.substr(104), plain.substr(104));
  EXPECT_NE(stored.substr(0, 104), plain.substr(0, 104));
  std::string deciphered = stored;
  orvel::DecipherBuffer(&deciphered[0], static_cast<unsigned>(deciphered.size()));
  // Entry 0, "(listfile)", lags one flush behind in the table side file.
  EXPECT_EQ(deciphered.substr(36), plain.substr(36));
  EXPECT_EQ(Word(bhl, 56 + 108), orvel::Crc32(stored.data(), stored.size()));
  p.reset();
  EXPECT_EQ(ReadAll(*Open(), "e1"), "e1");
}

}  // namespace
}  // namespace orvel_test
