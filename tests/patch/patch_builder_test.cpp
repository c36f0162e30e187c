// The patch builder: the patch file's bytes and checks, block entries, and
// applying single records.
#include <filesystem>

#include "PatchFixture.h"
#include "codec/checksum_crc.h"
#include "orvel/PatchData.h"

namespace orvel_test {
namespace {

namespace fs = std::filesystem;

class PatchBuilderTest : public PatchTest {
 protected:
  // A source at stamp 4 with files at levels 3 (text, compressed; random,
  // stored) and 4 (an empty file), and its patch.
  Side MakePatch() {
    Side src = CreateSource();
    CopySource();
    src->SetPacketVersion(7, 4);
    Write(src, 3, {{"t.txt", Text(2000, 1)}});
    Write(src, 3, {{"r.bin", RandomBytes(700, 2)}}, 0);
    Write(src, 4, {{"e.dat", ""}}, 0);
    EXPECT_EQ(src.patcher->CreatePatchFile(), 0) << g_nVrkErrCode;
    return src;
  }
  std::string PatchBytes() const { return ReadFileBytes(Src(".vrx")); }
  void SetPatchBytes(const std::string& b) const { WriteFileBytes(Src(".vrx"), b); }
};

TEST_F(PatchBuilderTest, PatchFileHoldsCheckedHeaderRecordsAndBlockEntries) {
  Side src = MakePatch();
  const std::string vrx = PatchBytes();
  ASSERT_EQ(vrx.size(), 28u + 3 * 36u);
  EXPECT_EQ(Word(vrx, 0), 7u);  // the source's stamp when built
  EXPECT_EQ(Word(vrx, 4), 4u);
  EXPECT_EQ(Word(vrx, 8), 1u);
  EXPECT_EQ(Word(vrx, 12), 3u);
  EXPECT_EQ(Word(vrx, 20), orvel::Crc32(vrx.data(), 20));
  EXPECT_EQ(Word(vrx, 24 + 108), orvel::Crc32(vrx.data() + 24, 108));

  PatchData r[3];
  std::memcpy(r, vrx.data() + 24, sizeof r);
  const std::string block3 = ReadFileBytes(Block(3));
  // Both level-3 files share one block file, back to back; each record
  // describes its file as the source stores it.
  uint32_t offset = 0;
  for (int i = 0; i < 2; ++i) {
    const char* name = r[i].flags & 1 ? "t.txt" : "r.bin";
    EXPECT_EQ(r[i].offset, offset);
    EXPECT_EQ(r[i].storedSize, src->GetFileStoredSize(name));
    EXPECT_EQ(r[i].originalSize, src->GetFileOriginalSize(name));
    EXPECT_EQ(r[i].flags, src->GetFileFlags(name));
    unsigned h[3];
    src->GetFileHash(name, &h[0], &h[1], &h[2]);
    EXPECT_EQ(std::vector<unsigned>({r[i].hash0, r[i].hash1, r[i].hash2}),
              std::vector<unsigned>({h[0], h[1], h[2]}));
    std::string stored(r[i].storedSize, '\0');
    ASSERT_EQ(src->ReadFileRaw(name, &stored[0], r[i].storedSize), static_cast<int>(r[i].storedSize));
    EXPECT_EQ(block3.substr(offset, r[i].storedSize), stored);
    EXPECT_EQ(Word(block3, offset + r[i].storedSize), orvel::Crc32(stored.data(), stored.size()));
    offset += r[i].storedSize + 4;
  }
  EXPECT_EQ(block3.size(), offset);
  // A file of no stored bytes is an entry of its checksum alone, 0.
  EXPECT_EQ(r[2].versionLow, 4u);
  EXPECT_EQ(r[2].storedSize, 0u);
  EXPECT_EQ(ReadFileBytes(Block(4)), std::string(4, '\0'));

  // A successful save leaves the builder without records.
  EXPECT_EQ(src.builder->GetPatchDataCount(), 0u);
  unsigned high = 1, low = 1;
  src.builder->GetPatchVersion(&high, &low);
  EXPECT_EQ(high + low, 0u);
}

TEST_F(PatchBuilderTest, DamagedOrMisSizedPatchFilesAreRefused) {
  Side src = MakePatch();
  const std::string good = PatchBytes();
  auto loadCode = [&](const std::string& bytes) {
    SetPatchBytes(bytes);
    const int rc = src.builder->LoadPatchFile(Src(".vrx").c_str());
    if (rc != 0) {
      EXPECT_EQ(src.builder->GetPatchDataCount(), 0u);
    }
    return rc;
  };
  EXPECT_EQ(loadCode(good), 0);
  EXPECT_EQ(src.builder->GetPatchDataCount(), 3u);
  for (size_t bit = 0; bit < 24 * 8; bit += 5) {  // header, reserved word and its checksum
    std::string bad = good;
    bad[bit / 8] = static_cast<char>(bad[bit / 8] ^ (1 << (bit % 8)));
    EXPECT_EQ(loadCode(bad), VRKERR_CHECKSUM) << "bit " << bit;
  }
  std::string record = good;
  record[40] ^= 1;
  EXPECT_EQ(loadCode(record), VRKERR_CHECKSUM);
  EXPECT_EQ(loadCode(good + "x"), VRKERR_CHECKSUM);
  EXPECT_EQ(loadCode(good.substr(0, good.size() - 1)), VRKERR_CHECKSUM);
  EXPECT_EQ(loadCode(good.substr(0, 10)), VRKERR_CHECKSUM);

  // A count whose length would pass 32 bits, with a valid header checksum.
  std::string huge = good;
  // 28 + 36 * count wraps in 32 bits to this file's own length.
  const uint32_t count = 0x40000003u;
  std::memcpy(&huge[12], &count, 4);
  const uint32_t crc = orvel::Crc32(huge.data(), 20);
  std::memcpy(&huge[20], &crc, 4);
  EXPECT_EQ(loadCode(huge), VRKERR_CHECKSUM);

  // No records at all: the checksum of nothing is 0.
  std::string empty = good.substr(0, 24) + std::string(4, '\0');
  const uint32_t zero = 0;
  std::memcpy(&empty[12], &zero, 4);
  const uint32_t emptyCrc = orvel::Crc32(empty.data(), 20);
  std::memcpy(&empty[20], &emptyCrc, 4);
  EXPECT_EQ(loadCode(empty), 0);
  EXPECT_EQ(src.builder->LoadPatchFile(Src(".none").c_str()), VRKERR_OPEN_FILE);
  EXPECT_EQ(src.builder->LoadPatchFile(nullptr), VRKERR_NULL_PATH);
}

TEST_F(PatchBuilderTest, ApplyChecksEachEntryBeforeWritingIt) {
  Side src = MakePatch();
  Side dst = Open(Dst());
  IVrkPatchBuilder& b = *dst.builder;
  ASSERT_EQ(b.LoadPatchFile(Src(".vrx").c_str()), 0);
  PatchData* first = b.SelectPatchData(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(b.SelectPatchData(3), nullptr);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BAD_INDEX);
  const std::string block = Block(3);

  // An entry that does not lie inside its block file.
  const PatchData saved = *first;
  first->storedSize = 0xFFFFFFF0u;
  EXPECT_EQ(b.ApplyPatchData(block.c_str()), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_PATCH_DATA_IO);
  first->storedSize = saved.storedSize;
  first->offset = static_cast<unsigned>(fs::file_size(block)) - saved.storedSize - 3;
  EXPECT_EQ(b.ApplyPatchData(block.c_str()), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_PATCH_DATA_IO);
  // A compressed entry that claims more than its bytes can decode to.
  *first = saved;
  first->flags = 1;
  first->originalSize = 0xFFFFFFF0u;
  EXPECT_EQ(b.ApplyPatchData(block.c_str()), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_CHECKSUM);
  *first = saved;

  // A damaged byte fails only the record that refers to it.
  std::string bytes = ReadFileBytes(block);
  const PatchData* second = b.SelectPatchData(1);
  bytes[second->offset + 1] ^= 0x40;
  dst.builder.reset(g_piVrkSystem->NewPatchBuilder(dst.packet.get()));  // lets go of the block file
  WriteFileBytes(block, bytes);
  IVrkPatchBuilder& c = *dst.builder;
  ASSERT_EQ(c.LoadPatchFile(Src(".vrx").c_str()), 0);
  c.SelectPatchData(1);
  EXPECT_EQ(c.ApplyPatchData(block.c_str()), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_CHECKSUM);
  c.SelectPatchData(0);
  EXPECT_EQ(c.ApplyPatchData(block.c_str()), 1);
  EXPECT_EQ(c.ApplyPatchData(block.c_str()), 1);  // not newer: left as it was
  c.SelectPatchData(2);
  EXPECT_EQ(c.ApplyPatchData(Block(4).c_str()), 1);
  const char* name = saved.flags & 1 ? "t.txt" : "r.bin";
  EXPECT_EQ(ReadAll(*dst, name), ReadAll(*src, name));
  EXPECT_EQ(ReadAll(*dst, "e.dat"), "");
  EXPECT_EQ(c.ApplyPatchData(Block(9).c_str()), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NO_SOURCE);
}

TEST_F(PatchBuilderTest, SelectionOutsideTheRecordsLeavesNoCurrentRecord) {
  Side src = CreateSource();
  src->SetPacketVersion(0, 2);
  Write(src, 2, {{"a", "1"}, {"b", "2"}});
  IVrkPatchBuilder& b = *src.builder;
  ASSERT_EQ(b.CollectPatchBlocks(), 2u);
  b.BeginPatchData(1);
  EXPECT_NE(b.SelectPatchBlock(1), nullptr);
  EXPECT_EQ(b.WritePatchBlock(Block(2).c_str(), 2, 0), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NO_BLOCK);
  ASSERT_NE(b.SelectPatchBlock(0), nullptr);
  ASSERT_EQ(b.WritePatchBlock(Block(2).c_str(), 2, 0), 1);
  EXPECT_EQ(b.FindPatchData(b.SelectPatchBlock(0)), 0);
  EXPECT_EQ(b.FindPatchData(b.SelectPatchBlock(1)), -1);
}

}  // namespace
}  // namespace orvel_test
