// Opening: read-only fallback, missing list side file, and refusal of damaged
// or inconsistent side files without ever reading outside the tables.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "advance/AdvanceFixture.h"
#include "frame/DiskFile.h"

namespace orvel_test {
namespace {

using orvel::AdvanceBlockEntry;
using orvel::AdvanceHeader;
using orvel::HashEntry;

// A plain (not enciphered) table side file, editable and written back with
// fresh checksums, so that only the structural checks can refuse it.
struct SideFile {
  AdvanceHeader header;
  std::vector<AdvanceBlockEntry> blocks;
  std::vector<HashEntry> hashes;

  explicit SideFile(const std::string& bytes) {
    std::memcpy(&header, bytes.data(), 52);
    blocks.resize(header.fileCount);
    std::memcpy(blocks.data(), bytes.data() + header.blockTableOffset, 36 * blocks.size());
    hashes.resize(header.tableSize);
    std::memcpy(hashes.data(), bytes.data() + header.hashTableOffset, 20 * hashes.size());
  }
  std::string Bytes() const {
    std::string out(reinterpret_cast<const char*>(&header), 52);
    auto add = [&out](const void* p, size_t n) {
      out.append(static_cast<const char*>(p), n);
      uint32_t crc = orvel::Crc32(p, n);
      out.append(reinterpret_cast<const char*>(&crc), 4);
    };
    out.resize(0);
    add(&header, 52);
    add(blocks.data(), 36 * blocks.size());
    add(hashes.data(), 20 * hashes.size());
    return out;
  }
};

class AdvanceOpenTest : public AdvanceTest {
 protected:
  void SetUp() override {
    Packet p = Create(8, 8);
    p->BeginUpdate();
    AddText(p.get(), "alpha", Text(400, 1), 1);
    AddText(p.get(), "beta", "beta-bytes");
    AddText(p.get(), "gamma", Text(50, 3));
    ASSERT_EQ(p->EndUpdate(), 0);
  }
  int OpenWith(const SideFile& side) {
    WriteFileBytes(Path(".bhl"), side.Bytes());
    return OpenCode();
  }
};

TEST_F(AdvanceOpenTest, FallsBackToReadOnlyWhenWritingIsRefused) {
  // Another handle that reads and lets others only read: opening for writing
  // is refused, opening for reading is not.
  orvel::FileHandle holder = orvel::OpenDiskFile(Path().c_str(), orvel::kModeReadShared);
  ASSERT_NE(holder, orvel::kInvalidFile);
  Packet p = Open();
  orvel::CloseDiskFile(holder);
  ASSERT_TRUE(p->IsReadOnly());
  EXPECT_EQ(Read(p.get(), "beta"), "beta-bytes");
  p->BeginUpdate();
  EXPECT_EQ(p->AddFileFromMemory("x", 0, "x", 1, 0, 0), VRKERR_READ_ONLY);
  EXPECT_EQ(p->DeleteFile("beta"), VRKERR_READ_ONLY);
  const unsigned hash[3] = {1, 2, 3};
  EXPECT_EQ(p->AddCompressedFileByHash(hash, 0, "x", 1, 1, 0, 0), VRKERR_READ_ONLY);
  EXPECT_EQ(p->EndUpdate(), VRKERR_READ_ONLY);
  EXPECT_EQ(p->CompactPacket(), VRKERR_READ_ONLY);
  const std::string before = Bytes(".bhl");
  p->SetPacketVersion(5, 5);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_READ_ONLY);
  EXPECT_EQ(Bytes(".bhl"), before);

  // An exclusive holder refuses reading as well.
  p.reset();
  holder = orvel::OpenDiskFile(Path().c_str(), orvel::kModeReadExclusive);
  EXPECT_EQ(OpenCode(), VRKERR_OPEN_FILE);
  orvel::CloseDiskFile(holder);
}

TEST_F(AdvanceOpenTest, ImmutableArchiveFileOpensReadOnly) {
  const std::string chattr = "chattr +i '" + Path() + "' 2>/dev/null";
  if (std::system(chattr.c_str()) != 0) GTEST_SKIP() << "no immutable files here";
  Packet p = Open();
  std::system(("chattr -i '" + Path() + "'").c_str());
  ASSERT_TRUE(p);
  EXPECT_TRUE(p->IsReadOnly());
  EXPECT_EQ(Read(p.get(), "alpha"), Text(400, 1));
}

TEST_F(AdvanceOpenTest, MissingListSideFileGivesAnEmptyNameList) {
  ASSERT_EQ(unlink(Path(".lst").c_str()), 0);
  Packet p = Open();
  char name[32];
  EXPECT_EQ(p->GetFileName(0, name, sizeof(name)), VRKERR_NULL_NAME);
  EXPECT_EQ(Read(p.get(), "gamma"), Text(50, 3));
  p->BeginUpdate();
  AddText(p.get(), "delta", "d");
  ASSERT_EQ(p->EndUpdate(), 0);
  EXPECT_NE(access(Path(".lst").c_str(), F_OK), 0);
}

TEST_F(AdvanceOpenTest, AnyFlippedSideFileByteIsRefused) {
  for (unsigned enciphered : {0u, 2u}) {
    if (enciphered) {
      Packet p = Create(8 | enciphered, 8);
      p->BeginUpdate();
      AddText(p.get(), "one", "1");
      ASSERT_EQ(p->EndUpdate(), 0);
    }
    const std::string bhl = Bytes(".bhl");
    for (size_t i = 0; i < bhl.size(); ++i) {
      std::string bad = bhl;
      bad[i] = static_cast<char>(bad[i] ^ (1 << (i % 8)));
      WriteFileBytes(Path(".bhl"), bad);
      const int rc = OpenCode();
      EXPECT_TRUE(rc == VRKERR_CHECKSUM || rc == VRKERR_BAD_SIGNATURE) << i << " " << rc;
    }
    WriteFileBytes(Path(".bhl"), bhl);
    const std::string lst = Bytes(".lst");
    for (size_t i = 0; i < lst.size(); ++i) {
      std::string bad = lst;
      bad[i] = static_cast<char>(bad[i] ^ 0x10);
      WriteFileBytes(Path(".lst"), bad);
      EXPECT_EQ(OpenCode(), VRKERR_CHECKSUM) << i;
    }
    WriteFileBytes(Path(".lst"), lst);
    EXPECT_EQ(OpenCode(), 0);
  }
}

TEST_F(AdvanceOpenTest, TruncatedFilesFailWithoutHarm) {
  const std::string bhl = Bytes(".bhl");
  for (size_t n = 0; n < bhl.size(); n += 7) {
    WriteFileBytes(Path(".bhl"), bhl.substr(0, n));
    EXPECT_NE(OpenCode(), 0) << n;
  }
  WriteFileBytes(Path(".bhl"), bhl);
  const std::string lst = Bytes(".lst");
  for (size_t n = 0; n < lst.size(); ++n) {
    WriteFileBytes(Path(".lst"), lst.substr(0, n));
    const int rc = OpenCode();
    if (n < 36) EXPECT_EQ(rc, VRKERR_LIST_FILE_IO) << n;
    else if (n < 40) EXPECT_EQ(rc, VRKERR_CHECKSUM_IO) << n;
    else EXPECT_TRUE(rc == VRKERR_LIST_FILE_IO || rc == VRKERR_CHECKSUM_IO) << n;
  }
  WriteFileBytes(Path(".lst"), lst);
  const std::string vrk = Bytes(".vrk");
  WriteFileBytes(Path(), vrk.substr(0, 5));
  EXPECT_EQ(OpenCode(), VRKERR_SEEK);
  WriteFileBytes(Path(), vrk.substr(0, vrk.size() - 1));  // last record cut
  EXPECT_EQ(OpenCode(), VRKERR_BAD_SIGNATURE);
  std::string badMagic = vrk;
  badMagic[4] = 33;
  WriteFileBytes(Path(), badMagic);
  EXPECT_EQ(OpenCode(), VRKERR_BAD_SIGNATURE);
}

TEST_F(AdvanceOpenTest, AbsurdHeaderValuesAreRefused) {
  const SideFile good(Bytes(".bhl"));
  std::vector<std::function<void(AdvanceHeader&)>> edits = {
      [](AdvanceHeader& h) { h.tableSize = 12; },
      [](AdvanceHeader& h) { h.tableSize = 1; },
      [](AdvanceHeader& h) { h.tableSize = 1u << 27; },
      [](AdvanceHeader& h) { h.fileCount = h.blockCount = 9; },
      [](AdvanceHeader& h) { h.blockCount += 1; },
      [](AdvanceHeader& h) { h.fileCount = h.blockCount = 0xFFFFFFF0u; },
      [](AdvanceHeader& h) { h.blockTableOffset = 20; },
      [](AdvanceHeader& h) { h.hashTableOffset = 60; },
  };
  for (size_t i = 0; i < edits.size(); ++i) {
    SideFile side = good;
    edits[i](side.header);
    std::string bytes = side.Bytes();
    // Keep the table bytes where the edited offsets point, so that only the
    // structure is wrong.
    WriteFileBytes(Path(".bhl"), bytes.substr(0, 56) + good.Bytes().substr(56));
    EXPECT_EQ(OpenCode(), VRKERR_BAD_SIGNATURE) << i;
  }
  // A large table that the file does not hold: a short read, no allocation
  // beyond the limit, no crash.
  SideFile big = good;
  big.header.tableSize = 1u << 26;
  WriteFileBytes(Path(".bhl"), big.Bytes().substr(0, 56) + good.Bytes().substr(56));
  EXPECT_EQ(OpenCode(), VRKERR_HASH_TABLE_IO);
}

TEST_F(AdvanceOpenTest, InconsistentTablesAreRefused) {
  const SideFile good(Bytes(".bhl"));
  ASSERT_EQ(OpenWith(good), 0);
  auto used = [&good](int n) {
    for (uint32_t s = 0; s < good.hashes.size(); ++s)
      if (good.hashes[s].blockIndex != 0xFFFFFFFFu && n-- == 0) return s;
    return 0xFFFFFFFFu;
  };
  auto freeSlot = [&good]() {
    for (uint32_t s = 0; s < good.hashes.size(); ++s)
      if (good.hashes[s].blockIndex == 0xFFFFFFFFu) return s;
    return 0xFFFFFFFFu;
  };
  std::vector<std::function<void(SideFile&)>> edits = {
      [&](SideFile& f) { f.hashes[used(1)].blockIndex = 4; },            // out of range
      [&](SideFile& f) { f.hashes[used(1)].blockIndex = f.hashes[used(2)].blockIndex; },
      [&](SideFile& f) { f.hashes[used(1)].next = 8; },                  // outside table
      [&](SideFile& f) { f.hashes[used(0)].next = used(0); },            // cycle
      [&](SideFile& f) { f.hashes[used(0)].next = freeSlot(); },         // into a free slot
      [&](SideFile& f) { f.hashes[freeSlot()].hash1 = 5; },              // dirty free slot
      [&](SideFile& f) { f.hashes[used(1)].hash0 ^= 1; },                // wrong chain
      [&](SideFile& f) { f.blocks[1].hashIndex = freeSlot(); },
      [&](SideFile& f) { f.blocks[2].offset = 0xFFFFFFF0u; },            // past the file
      [&](SideFile& f) { f.blocks[2].storedSize += 1000; },
      [&](SideFile& f) {                                                 // unreachable
        uint32_t s = used(1), t = freeSlot();
        f.hashes[t] = f.hashes[s];
        f.blocks[f.hashes[t].blockIndex].hashIndex = t;
        f.hashes[s] = HashEntry{~0u, ~0u, ~0u, ~0u, ~0u};
        if ((f.hashes[t].hash0 & 7u) == t) f.hashes[t].hash0 ^= 1;
      },
  };
  for (size_t i = 0; i < edits.size(); ++i) {
    SideFile side = good;
    edits[i](side);
    EXPECT_EQ(OpenWith(side), VRKERR_BAD_SIGNATURE) << i;
  }
}

TEST_F(AdvanceOpenTest, DamagedDataFailsTheReadWhileVerifying) {
  Packet p = Open();
  const AdvanceBlockEntry beta = *p->FindBlock("beta", 0xFFFFFFFFu);
  p.reset();
  std::string vrk = Bytes(".vrk");
  vrk[beta.offset + 3] ^= 0x01;
  WriteFileBytes(Path(), vrk);
  p = Open();
  EXPECT_EQ(Read(p.get(), "beta"), "<-35>");
  char buf[64];
  EXPECT_EQ(p->ReadFileTo("beta", buf, 10, 0xFFFFFFFFu), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_CHECKSUM);
  EXPECT_EQ(p->ReadFileRaw("beta", buf, sizeof(buf)), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_CHECKSUM);
  EXPECT_FALSE(p->SetVerifyCheckSum(false));
  EXPECT_EQ(Read(p.get(), "beta"), "bet`-bytes");
  // The checksum word itself damaged.
  vrk[beta.offset + 3] ^= 0x01;
  vrk[beta.offset + beta.storedSize] ^= 0x80;
  WriteFileBytes(Path(), vrk);
  EXPECT_EQ(Read(Open().get(), "beta"), "<-35>");
}

TEST_F(AdvanceOpenTest, CompressedRecordOfTheWrongSizeFailsWithDataError) {
  SideFile side(Bytes(".bhl"));
  Packet p = Open();
  const uint32_t b = static_cast<uint32_t>(p->GetFileBlockIndex("alpha"));
  p.reset();
  side.blocks[b].originalSize += 1;  // checksum of the record still matches
  ASSERT_EQ(OpenWith(side), 0);
  p = Open();
  EXPECT_EQ(Read(p.get(), "alpha"), "<-9>");
  p->SetVerifyCheckSum(false);
  EXPECT_EQ(Read(p.get(), "alpha"), "<-9>");
  std::string out(500, '\0');
  EXPECT_EQ(p->ReadFileTo("alpha", &out[0], 500, 0xFFFFFFFFu), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_DATA_IO);
  EXPECT_EQ(p->GetOriginalSize(nullptr, 4), 0u);  // at blockCount
  EXPECT_EQ(g_nVrkErrCode, VRKERR_ADV_NOT_FOUND);
  EXPECT_EQ(p->ReadFileAlloc(nullptr, nullptr, 0xFFFFFFF0u), nullptr);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_ADV_NOT_FOUND);
}

TEST_F(AdvanceOpenTest, ListTextOfTheWrongSizeFailsTheOpen) {
  std::string lst = Bytes(".lst");
  AdvanceBlockEntry rec;
  std::memcpy(&rec, lst.data(), 36);
  for (uint32_t size : {rec.originalSize + 1, rec.originalSize - 1, 0xFFFFFFF0u}) {
    rec.originalSize = size;
    std::string bad = lst;
    std::memcpy(&bad[0], &rec, 36);
    PutWord(&bad, 36, orvel::Crc32(bad.data(), 36));
    WriteFileBytes(Path(".lst"), bad);
    EXPECT_EQ(OpenCode(), VRKERR_LIST_FILE_IO) << size;
  }
}

}  // namespace
}  // namespace orvel_test
