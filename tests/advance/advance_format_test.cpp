// The bytes of the three files: signature, header copies, side file sizes,
// enciphered tables and the list side file.
#include <lzo/lzo1x.h>

#include "advance/AdvanceFixture.h"
#include "codec/IceCipher.h"
#include "codec/NameHash.h"

namespace orvel_test {
namespace {

using orvel::AdvanceBlockEntry;
using orvel::AdvanceHeader;

std::string Unlzo(const std::string& packed, size_t size) {
  std::string out(size, '\0');
  lzo_uint len = size;
  int rc = lzo1x_decompress_safe(reinterpret_cast<const unsigned char*>(packed.data()),
                                 packed.size(), reinterpret_cast<unsigned char*>(&out[0]),
                                 &len, nullptr);
  EXPECT_EQ(rc, LZO_E_OK);
  out.resize(len);
  return out;
}

TEST_F(AdvanceTest, FreshArchiveIsSixtyBytesWithHeaderCopy) {
  Packet p = Create(8, 1000, 3, 7);
  EXPECT_EQ(p->TableSize(), 1024u);
  p.reset();
  std::string vrk = Bytes(".vrk");
  ASSERT_EQ(vrk.size(), 60u);
  EXPECT_EQ(vrk.substr(0, 4), std::string("VRK\x1A", 4));
  EXPECT_EQ(Word(vrk, 4), 32u);
  EXPECT_EQ(Word(vrk, 8), 8u);  // fileSize before the copy was written
  EXPECT_EQ(Word(vrk, 8 + 4), 3u);
  EXPECT_EQ(Word(vrk, 8 + 8), 7u);
  EXPECT_EQ(Word(vrk, 8 + 12), 8u);      // flags: advanced
  EXPECT_EQ(Word(vrk, 8 + 20), 1u);      // fileCount
  EXPECT_EQ(Word(vrk, 8 + 36), 1024u);   // tableSize
  EXPECT_EQ(Word(vrk, 8 + 48), 7u);      // baseVersion

  std::string bhl = Bytes(".bhl");
  ASSERT_EQ(bhl.size(), 64u + 36u + 20u * 1024u);
  EXPECT_EQ(bhl.substr(0, 52).substr(4), vrk.substr(12, 48));
  EXPECT_EQ(Word(bhl, 52), orvel::Crc32(bhl.data(), 52));
  EXPECT_EQ(Word(bhl, 16), 56u);
  EXPECT_EQ(Word(bhl, 32), 96u);
  EXPECT_EQ(Word(bhl, 92), orvel::Crc32(bhl.data() + 56, 36));
  EXPECT_EQ(Word(bhl, bhl.size() - 4), orvel::Crc32(bhl.data() + 96, 20 * 1024));

  std::string lst = Bytes(".lst");
  AdvanceBlockEntry rec;
  std::memcpy(&rec, lst.data(), 36);
  EXPECT_EQ(Word(lst, 36), orvel::Crc32(lst.data(), 36));
  EXPECT_EQ(rec.offset, 40u);
  EXPECT_EQ(rec.flags & 1u, 1u);
  ASSERT_EQ(lst.size(), 44u + rec.storedSize);
  std::string packed = lst.substr(40, rec.storedSize);
  EXPECT_EQ(Word(lst, 40 + rec.storedSize), orvel::Crc32(packed.data(), packed.size()));
  EXPECT_EQ(Unlzo(packed, rec.originalSize), std::string("(listfile)\n\0", 12));
}

TEST_F(AdvanceTest, SideFileSizesFollowFileAndTableCounts) {
  Packet p = Create(8, 8);
  p->BeginUpdate();
  for (int i = 0; i < 9; ++i) AddText(p.get(), "f" + std::to_string(i), Text(100, char(i)), 1);
  ASSERT_EQ(p->EndUpdate(), 0);
  const unsigned n = p->GetFileCount();
  const unsigned s = p->TableSize();
  EXPECT_EQ(n, 10u);
  EXPECT_EQ(s, 16u);  // grew from 8
  EXPECT_EQ(Bytes(".bhl").size(), 64u + 36u * n + 20u * s);
  std::string lst = Bytes(".lst");
  EXPECT_EQ(lst.size(), 44u + Word(lst, 16));
  // Data records: stored bytes followed by their checksum word.
  const AdvanceBlockEntry* e = p->FindBlock("f3", 0xFFFFFFFFu);
  ASSERT_NE(e, nullptr);
  std::string vrk = Bytes(".vrk");
  EXPECT_EQ(Word(vrk, e->offset + e->storedSize),
            orvel::Crc32(vrk.data() + e->offset, e->storedSize));
  EXPECT_EQ(Word(vrk, 8), vrk.size());
}

TEST_F(AdvanceTest, EncipheredOddBlockTableKeepsPlainTail) {
  Packet p = Create(8 | 2, 16);
  p->BeginUpdate();
  AddText(p.get(), "one", "payload-one");
  AddText(p.get(), "two", "payload-two");
  ASSERT_EQ(p->EndUpdate(), 0);
  ASSERT_EQ(p->GetFileCount(), 3u);
  std::string plain(reinterpret_cast<const char*>(p->BlockTable()), 36 * 3);
  std::string bhl = Bytes(".bhl");
  EXPECT_EQ(Word(bhl, 12) & 2u, 2u);
  std::string stored = bhl.substr(56, 36 * 3);
  // 108 bytes: 13 whole blocks enciphered, the last 4 bytes plain.
  EXPECT_EQ(stored.substr(104), plain.substr(104));
  EXPECT_NE(stored.substr(0, 104), plain.substr(0, 104));
  std::string deciphered = stored;
  orvel::DecipherBuffer(&deciphered[0], static_cast<unsigned>(deciphered.size()));
  // Entry 0, "(listfile)", lags one flush behind in the table side file.
  EXPECT_EQ(deciphered.substr(36), plain.substr(36));
  EXPECT_EQ(Word(bhl, 56 + 108), orvel::Crc32(stored.data(), stored.size()));
  p.reset();
  Packet again = Open();
  EXPECT_EQ(Read(again.get(), "two"), "payload-two");
}

TEST_F(AdvanceTest, UpperCaseExtensionGivesLowerCaseSideFiles) {
  const std::string path = tmp_ / "Mixed.VRK";
  Packet p(new orvel::CVrkAdvance());
  ASSERT_EQ(p->CreatePacket(path.c_str(), 8, 4, 0, 0), 1);
  EXPECT_FALSE(ReadFileBytes(tmp_ / "Mixed.bhl").empty());
  EXPECT_FALSE(ReadFileBytes(tmp_ / "Mixed.lst").empty());
  EXPECT_EQ(p->CreatePacket((tmp_ / "x.pak").c_str(), 8, 4, 0, 0), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BAD_EXTENSION);
  EXPECT_EQ(p->OpenPacket((tmp_ / "x.pak").c_str()), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BAD_EXTENSION);
}

TEST_F(AdvanceTest, HeaderCopyFollowsGrowthAndVersionOutsideFlush) {
  Packet p = Create(8, 4, 0, 5);
  p->BeginUpdate();
  for (int i = 0; i < 4; ++i) AddText(p.get(), "g" + std::to_string(i), "x");
  // Growth rewrote the copy in the archive file before any flush.
  EXPECT_EQ(Word(Bytes(".vrk"), 8 + 36), 8u);
  EXPECT_EQ(Word(Bytes(".bhl"), 36), 4u);
  ASSERT_EQ(p->EndUpdate(), 0);
  p->SetPacketVersion(1, 9);
  EXPECT_EQ(g_nVrkErrCode, 0);
  EXPECT_EQ(Word(Bytes(".vrk"), 8 + 8), 9u);
  EXPECT_EQ(Word(Bytes(".bhl"), 8), 9u);
  unsigned vh = 0, vl = 0, base = 0;
  Open()->GetPacketVersion(&vh, &vl, &base);
  EXPECT_EQ(vh, 1u);
  EXPECT_EQ(vl, 9u);
  EXPECT_EQ(base, 5u);
}

}  // namespace
}  // namespace orvel_test
