// Opening: read-only fallback, missing list side file, and refusal of damaged
// or inconsistent side files without ever reading outside the tables.
#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "advance/AdvanceFixture.h"
#include "codec/CompressBuffer.h"
#include "common/CountingAllocator.h"
#include "frame/DiskFile.h"

namespace orvel_test {
namespace {

using orvel::AdvanceBlockEntry;
using orvel::AdvanceHeader;
using orvel::HashEntry;

// `n` bytes followed by their checksum word.
std::string Sealed(const void* p, size_t n) {
  const uint32_t crc = orvel::Crc32(p, n);
  return std::string(static_cast<const char*>(p), n) +
         std::string(reinterpret_cast<const char*>(&crc), 4);
}

// A plain (not enciphered) table side file, editable and written back with
// fresh checksums, so that only the structural checks can refuse it.
struct SideFile {
  AdvanceHeader header;
  std::vector<AdvanceBlockEntry> blocks;
  std::vector<HashEntry> hashes;

  explicit SideFile(const std::string& bytes) {
    std::memcpy(&header, bytes.data(), 52);
    blocks.resize(header.fileCount);
    hashes.resize(header.tableSize);
    std::memcpy(blocks.data(), bytes.data() + header.blockTableOffset, 36 * blocks.size());
    std::memcpy(hashes.data(), bytes.data() + header.hashTableOffset, 20 * hashes.size());
  }
  std::string Bytes() const {
    return Sealed(&header, 52) + Sealed(blocks.data(), 36 * blocks.size()) +
           Sealed(hashes.data(), 20 * hashes.size());
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
  // An exclusive holder refuses reading as well.
  orvel::FileHandle exclusive = orvel::OpenDiskFile(Path().c_str(), orvel::kModeReadExclusive);
  EXPECT_EQ(OpenCode(), VRKERR_OPEN_FILE);
  orvel::CloseDiskFile(exclusive);
  // Writing refused, reading allowed: by another handle that lets others
  // only read, then by an immutable file.
  for (bool immutable : {false, true}) {
    orvel::FileHandle holder = orvel::kInvalidFile;
    if (!immutable) holder = orvel::OpenDiskFile(Path().c_str(), orvel::kModeReadShared);
    if (immutable && std::system(("chattr +i '" + Path() + "' 2>/dev/null").c_str()) != 0) {
      GTEST_SKIP() << "no immutable files here";
    }
    Packet p = Open();
    if (immutable) { EXPECT_EQ(std::system(("chattr -i '" + Path() + "'").c_str()), 0); }
    orvel::CloseDiskFile(holder);
    ASSERT_TRUE(p->IsReadOnly()) << immutable;
    EXPECT_EQ(ReadAll(*p, "beta"), "beta-bytes");
    const std::string before = Bytes(".bhl");
    p->BeginUpdate();
    EXPECT_EQ(p->AddFileFromMemory("x", 0, "x", 1, 0, 0), VRKERR_READ_ONLY);
    EXPECT_EQ(p->EndUpdate(), VRKERR_READ_ONLY);
    EXPECT_EQ(p->CompactPacket(), VRKERR_READ_ONLY);
    EXPECT_EQ(Bytes(".bhl"), before);
  }
}

// A list side file that is there but cannot be written (its holder lets
// others only read) and tables starting past entry 0 open the archive
// read-only: names and files read, changes fail with -42, no file changes.
TEST_F(AdvanceOpenTest, UnwritableListOrTablesPastEntryZeroOpenReadOnly) {
  auto files = [this] { return Bytes(".vrk") + Bytes(".bhl") + Bytes(".lst"); };
  auto expectReadOnly = [&](const char* why) {
    const std::string before = files();
    Packet p = Open();
    ASSERT_TRUE(p->IsReadOnly()) << why;
    EXPECT_EQ(ReadAll(*p, "beta"), "beta-bytes");
    char name[16];
    EXPECT_EQ(p->GetFileName(2, name, sizeof(name)), 0);
    EXPECT_STREQ(name, "beta");
    p->BeginUpdate();
    EXPECT_EQ(p->AddFileFromMemory("x", 0, "x", 1, 0, 0), VRKERR_READ_ONLY) << why;
    EXPECT_EQ(p->DeleteFile("beta"), VRKERR_READ_ONLY);
    EXPECT_EQ(p->EndUpdate(), VRKERR_READ_ONLY);
    p->SetPacketVersion(7, 7);
    EXPECT_EQ(g_nVrkErrCode, VRKERR_READ_ONLY);
    EXPECT_EQ(p->CompactPacket(), VRKERR_READ_ONLY);
    p.reset();
    EXPECT_EQ(files(), before) << why;
  };
  orvel::FileHandle holder = orvel::OpenDiskFile(Path(".lst").c_str(), orvel::kModeReadShared);
  ASSERT_NE(holder, orvel::kInvalidFile);
  expectReadOnly("list side file held");
  orvel::CloseDiskFile(holder);
  EXPECT_FALSE(Open()->IsReadOnly());

  SideFile side(Bytes(".bhl"));
  side.header.firstBlock = 1;
  WriteFileBytes(Path(".bhl"), side.Bytes());
  expectReadOnly("firstBlock 1");
}

// Every flipped byte of a side file fails the checksum or the structure
// checks, with and without enciphered tables; truncations fail without harm.
// The name list's damage shows at open or at the first name use.
TEST_F(AdvanceOpenTest, DamagedOrTruncatedSideFilesAreRefused) {
  for (bool deferred : {true, false}) {
    NameListMode mode(deferred);
    for (bool enciphered : {false, true}) {
      if (enciphered) Build(8, "one", 1, 8 | 2);
      for (const char* ext : {".bhl", ".lst"}) {
        auto code = [&] { return ext[1] == 'l' ? OpenAndNameCode() : OpenCode(); };
        const std::string good = Bytes(ext);
        for (size_t i = 0; i < good.size(); ++i) {
          std::string bad = good;
          bad[i] = static_cast<char>(bad[i] ^ (1 << (i % 8)));
          WriteFileBytes(Path(ext), bad);
          const int rc = code();
          EXPECT_TRUE(rc == VRKERR_CHECKSUM || rc == VRKERR_BAD_SIGNATURE) << ext << i << " " << rc;
          WriteFileBytes(Path(ext), good.substr(0, i));
          EXPECT_NE(code(), 0) << ext << i;
        }
        WriteFileBytes(Path(ext), good);
      }
      EXPECT_EQ(OpenCode(), 0);
    }
    SetUp();
  }
  const std::string vrk = Bytes(".vrk");
  WriteFileBytes(Path(), vrk.substr(0, 5));
  EXPECT_EQ(OpenCode(), VRKERR_SEEK);
  WriteFileBytes(Path(), vrk.substr(0, vrk.size() - 1));  // last record cut
  EXPECT_EQ(OpenCode(), VRKERR_BAD_SIGNATURE);
}

// Side files whose checksums match but whose header or tables break the
// structure.
TEST_F(AdvanceOpenTest, InconsistentHeaderOrTablesAreRefused) {
  const SideFile good(Bytes(".bhl"));
  ASSERT_EQ(OpenWith(good), 0);
  // The n-th used slot; with n < 0, the first free one.
  auto used = [&good](int n) {
    for (uint32_t s = 0; s < good.hashes.size(); ++s)
      if ((good.hashes[s].blockIndex != kNone) == (n >= 0) && (n < 0 || n-- == 0)) return s;
    return kNone;
  };
  auto freeSlot = [&used] { return used(-1); };
  std::vector<std::function<void(SideFile&)>> edits = {
      [](SideFile& f) { f.header.tableSize = 12; },
      [](SideFile& f) { f.header.tableSize = 1u << 27; },
      [](SideFile& f) { f.header.fileCount = f.header.blockCount = 9; },
      [](SideFile& f) { f.header.blockCount += 1; },
      [](SideFile& f) { f.header.blockTableOffset = 20; },
      [](SideFile& f) { f.header.hashTableOffset = 60; },
      [&](SideFile& f) { f.hashes[used(1)].blockIndex = 4; },            // out of range
      [&](SideFile& f) { f.hashes[used(1)].blockIndex = f.hashes[used(2)].blockIndex; },
      [&](SideFile& f) { f.hashes[used(1)].next = 8; },                  // outside table
      [&](SideFile& f) { f.hashes[used(0)].next = used(0); },            // cycle
      [&](SideFile& f) { f.hashes[used(0)].next = freeSlot(); },         // into a free slot
      [&](SideFile& f) { f.hashes[freeSlot()].hash1 = 5; },              // dirty free slot
      [&](SideFile& f) { f.hashes[used(1)].hash0 ^= 1; },                // wrong chain
      [&](SideFile& f) { f.blocks[1].hashIndex = freeSlot(); },
      [&](SideFile& f) { f.blocks[2].storedSize += 1000; },             // past the file
      [&](SideFile& f) {  // a block entry left without its hash entry
        for (uint32_t s = 0; s < 8; ++s) {
          bool target = false;
          for (const HashEntry& h : f.hashes) target |= h.next == s;
          if (f.hashes[s].blockIndex == kNone || f.hashes[s].next != kNone || target) continue;
          f.hashes[s] = HashEntry{~0u, ~0u, ~0u, ~0u, ~0u};
          return;
        }
      },
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
  // A large table that the file does not hold: a short read, no allocation
  // beyond the limit.
  SideFile big = good;
  big.header.tableSize = 1u << 26;
  EXPECT_EQ(OpenWith(big), VRKERR_HASH_TABLE_IO);
}

TEST_F(AdvanceOpenTest, DamagedRecordsFailTheRead) {
  SideFile side(Bytes(".bhl"));
  Packet p = Open();
  const AdvanceBlockEntry beta = *p->FindBlock("beta", kNone);
  const uint32_t alpha = static_cast<uint32_t>(p->GetFileBlockIndex("alpha"));
  const uint32_t list = static_cast<uint32_t>(p->GetFileBlockIndex("(listfile)"));
  p.reset();
  std::string vrk = Bytes(".vrk");
  vrk[beta.offset + 3] ^= 0x01;
  WriteFileBytes(Path(), vrk);
  // A compressed record that does not decode to its size, although its
  // checksum matches.
  side.blocks[alpha].originalSize += 1;
  ASSERT_EQ(OpenWith(side), 0);
  p = Open();
  EXPECT_EQ(ReadAll(*p, "beta"), "<-35>");
  char buf[64];
  EXPECT_EQ(p->ReadFileTo("beta", buf, 10, kNone), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_CHECKSUM);
  EXPECT_EQ(ReadAll(*p, "alpha"), "<-9>");
  EXPECT_FALSE(p->SetVerifyCheckSum(false));
  EXPECT_EQ(ReadAll(*p, "beta"), "bet`-bytes");
  EXPECT_EQ(ReadAll(*p, "alpha"), "<-9>");
  // Block indexes at or beyond blockCount are not found.
  for (unsigned index : {4u, 0xFFFFFFF0u}) {
    EXPECT_EQ(p->ReadFileAlloc(nullptr, nullptr, index), nullptr);
    EXPECT_EQ(g_nVrkErrCode, VRKERR_ADV_NOT_FOUND);
  }
  // An original size that no stream of its stored size decodes to, and the
  // list file's entry (no open checks it against the archive file) claiming
  // more stored bytes than the file holds, are refused before anything is
  // allocated: by ReadFileAlloc, and by ReadFileTo into a buffer that would
  // hold the claim.
  p.reset();
  const uint32_t claim = 256 * side.blocks[alpha].storedSize + 4097;
  side.blocks[list].storedSize = 0xFFFFFF00u;
  std::string room(claim, '\0');
  for (uint32_t original : {0xFFFFFFF0u, claim}) {
    side.blocks[alpha].originalSize = original;
    ASSERT_EQ(OpenWith(side), 0);
    p = Open();
    CountingAllocator none;
    none.fail_after(0);
    ScopedAllocator scoped(&none);
    EXPECT_EQ(ReadAll(*p, "alpha"), "<-9>");
    EXPECT_EQ(ReadAll(*p, "(listfile)"), "<-9>");
    EXPECT_EQ(p->ReadFileTo("alpha", &room[0], static_cast<int>(claim), kNone), 0);
    EXPECT_EQ(g_nVrkErrCode, original == claim ? VRKERR_DATA_IO : 0) << original;
  }
  // A buffer too small for the file leaves the code as the lookup set it.
  for (const char* name : {"alpha", "beta"}) {
    g_nVrkErrCode = -77;
    EXPECT_EQ(p->ReadFileTo(name, &room[0], 3, kNone), 0);
    EXPECT_EQ(g_nVrkErrCode, 0) << name;
  }
}

TEST_F(AdvanceOpenTest, ListSideFileOfTheWrongTextSizeOrMissing) {
  const std::string lst = Bytes(".lst");
  AdvanceBlockEntry rec;
  std::memcpy(&rec, lst.data(), 36);
  for (uint32_t size : {rec.originalSize + 1, rec.originalSize - 1, 0xFFFFFFF0u}) {
    rec.originalSize = size;
    WriteFileBytes(Path(".lst"), Sealed(&rec, 36) + lst.substr(40));
    EXPECT_EQ(OpenAndNameCode(), VRKERR_LIST_FILE_IO) << size;
  }
  // Without it: an empty name list, and no list side file written again.
  ASSERT_EQ(unlink(Path(".lst").c_str()), 0);
  Packet p = Open();
  char name[32];
  EXPECT_EQ(p->GetFileName(0, name, sizeof(name)), VRKERR_NULL_NAME);  // empty list
  EXPECT_EQ(ReadAll(*p, "gamma"), Text(50, 3));
  p->BeginUpdate();
  AddText(p.get(), "delta", "d");
  ASSERT_EQ(p->EndUpdate(), 0);
  EXPECT_NE(access(Path(".lst").c_str(), F_OK), 0);
}

// Opening costs at most 256 times the bytes read from the list side file
// plus a few MiB: lists of one-letter names packed as tightly as LZO packs
// them fail with -17 (for the text, or for the names of a text that fits);
// a realistic list opens.
TEST_F(AdvanceOpenTest, ListSideFileMemoryIsBoundedByItsSize) {
  AdvanceBlockEntry rec;
  std::memcpy(&rec, Bytes(".lst").data(), 36);
  CountingAllocator counter;
  ScopedAllocator scoped(&counter);
  counter.limit_bytes(256u << 20);  // a regression fails instead of taking the memory
  auto openWithList = [&](const std::string& text, int expected) {
    std::unique_ptr<orvel::CCompressBuffer> c(new orvel::CCompressBuffer());
    const unsigned char* packed = c->CompressBuffer(text.data(), text.size() + 1);
    rec.storedSize = c->m_nStoredSize;
    rec.originalSize = static_cast<uint32_t>(text.size() + 1);
    const std::string file = Sealed(&rec, 36) + Sealed(packed, rec.storedSize);
    WriteFileBytes(Path(".lst"), file);
    counter.ResetPeak();
    EXPECT_EQ(OpenAndNameCode(), expected);
    EXPECT_LE(counter.peak_bytes(), 256 * file.size() + (8u << 20)) << text.size();
  };
  for (size_t size : {24u << 20, 2u << 20}) {
    std::string tight = "(listfile)\n";
    while (tight.size() < size) tight += "a\n";
    openWithList(tight, VRKERR_LIST_FILE_IO);
  }
  std::string names = "(listfile)\n";
  for (int i = 0; i < 60000; ++i) names += "maps/r" + std::to_string(i % 97) + "/" + std::to_string(i) + "\n";
  openWithList(names, 0);
  char name[32];
  EXPECT_EQ(Open()->GetFileName(60000, name, sizeof(name)), 0);
  EXPECT_STREQ(name, "maps/r53/59999");
}

}  // namespace
}  // namespace orvel_test
