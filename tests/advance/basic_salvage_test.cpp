// Salvage of damaged basic archives at the library level: the tables behind
// the data area are judged entry by entry, and when they are cut off the
// compressed files are found by their streams. Files here are compressed
// text: a basic archive keeps no checksum, so bytes stored as they are can
// come back wrong after damage to them or to their offset.
#include <filesystem>
#include <map>
#include <set>

#include "archive/BasicTestUtil.h"
#include "common/CountingAllocator.h"
#include "common/SalvageWalk.h"
#include "common/TestData.h"
#include "orvel/VrkSalvage.h"

namespace orvel_test {
namespace {

struct Found {
  std::map<std::string, std::string> named;  // name -> bytes
  std::multiset<std::string> unnamed;         // bytes of the files without names
  unsigned lost = 0;
};

class BasicSalvageTest : public ::testing::Test {
 protected:
  std::string Path() const { return tmp_ / "pack.pak"; }

  // Files "file<i>" of distinct sizes, compressed (and smaller for it, as
  // vrk stores only such files compressed), in a table of 16 (so
  // the hash table's last slots are used), scrambled when `flags` says so.
  void Build(unsigned flags) {
    stored_.clear();
    Packet p = NewCreated(Path(), 16, flags, 3, 7);
    p->BeginUpdate();
    for (int i = 0; i < 12; ++i) {
      const std::string name = "file" + std::to_string(i);
      stored_[name] = Text(static_cast<size_t>(40 * i + 100), static_cast<char>(i)) + name;
      ASSERT_EQ(Add(*p, name, stored_[name], 1), 0);
    }
    ASSERT_EQ(p->EndUpdate(), 0);
    for (const auto& [name, bytes] : stored_) {
      const orvel::basic::BlockEntry& b = Access::Blocks(*p)[p->GetFileBlockIndex(name.c_str())];
      ends_[name] = uint64_t{b.offset} + b.storedSize;
    }
  }

  // Salvages the archive as it is on disk; every file given back under a
  // name is the one stored under it, every other one is one of the stored.
  Found SalvageAll() {
    Found f;
    CVrkSalvage salvage;
    if (!salvage.Open(Path().c_str())) return f;
    EXPECT_EQ(salvage.IsAdvanced(), 0);
    f.lost = salvage.GetLostEntryCount();
    std::multiset<std::string> all;
    for (const auto& [name, bytes] : stored_) all.insert(bytes);
    ForEachSalvaged(salvage, [&](const VrkSalvageEntry& e, const std::string& bytes) {
      if (e.name) {
        EXPECT_EQ(bytes, stored_[e.name]) << e.name;
        f.named[e.name] = bytes;
      } else {
        EXPECT_EQ(all.count(bytes), 1u) << "offset " << e.offset;
        f.unnamed.insert(bytes);
      }
    });
    return f;
  }

  size_t Given(const Found& f) const { return f.named.size() + f.unnamed.size(); }

  TempDir tmp_;
  std::map<std::string, std::string> stored_;
  std::map<std::string, uint64_t> ends_;  // end of each file's stored bytes
};

TEST_F(BasicSalvageTest, IntactArchiveGivesBackEveryFileByName) {
  for (unsigned flags : {0u, 2u}) {
    Build(flags);
    CVrkSalvage salvage;
    ASSERT_EQ(salvage.Open(Path().c_str()), 1);
    EXPECT_EQ(salvage.GetPacketFlags() & 2u, flags);
    unsigned high = 0, low = 0, base = 9;
    salvage.GetPacketVersion(&high, &low, &base);
    EXPECT_EQ(high, 3u);
    EXPECT_EQ(low, 7u);
    EXPECT_EQ(base, 0u);
    const Found f = SalvageAll();
    EXPECT_EQ(f.named, stored_);
    EXPECT_TRUE(f.unnamed.empty());
    EXPECT_EQ(f.lost, 0u);
  }
}

// Cut at every length (inside the hash table, the block table, the list, the
// files): every file whose stored bytes lie wholly in the kept bytes comes
// back (by its stream when no table entry names it), and no other.
TEST_F(BasicSalvageTest, CutShortGivesBackEveryFileInTheKeptBytes) {
  for (unsigned flags : {0u, 2u}) {
    Build(flags);
    const std::string whole = ReadFileBytes(Path());
    for (size_t kept = 48; kept < whole.size(); ++kept) {
      SCOPED_TRACE(std::to_string(flags) + " " + std::to_string(kept));
      WriteFileBytes(Path(), whole.substr(0, kept));
      size_t inside = 0;
      for (const auto& [name, end] : ends_) inside += end <= kept;
      const Found f = SalvageAll();
      EXPECT_EQ(Given(f), inside);
      EXPECT_EQ(f.lost, stored_.size() - inside);
    }
  }
}

// A file stored as it is has no stream to be found by: the stream after it
// is found with its start a guess, and the file itself is lost.
TEST_F(BasicSalvageTest, StreamAfterPlainBytesHasAGuessedStart) {
  const std::string a = Text(500, 1), plain = RandomBytes(3000, 2), b = Text(700, 2);
  {
    Packet p = NewCreated(Path(), 16, 0, 3, 7);
    p->BeginUpdate();
    ASSERT_EQ(Add(*p, "a", a, 1), 0);
    ASSERT_EQ(Add(*p, "plain", plain, 0), 0);
    ASSERT_EQ(Add(*p, "b", b, 1), 0);
    ASSERT_EQ(p->EndUpdate(), 0);
  }
  const std::string whole = ReadFileBytes(Path());
  WriteFileBytes(Path(), whole.substr(0, Word(whole, kBlockTableOffset)));
  CVrkSalvage salvage;
  ASSERT_EQ(salvage.Open(Path().c_str()), 1);
  ASSERT_EQ(salvage.GetEntryCount(), 2u);
  EXPECT_EQ(salvage.GetLostEntryCount(), 1u);
  const std::pair<std::string, unsigned> expected[] = {{a, VRK_SALVAGE_FROM_STREAM},
                                                       {b, VRK_SALVAGE_FROM_STREAM_GUESSED}};
  for (unsigned i = 0; i < 2; ++i) {
    VrkSalvageEntry e;
    ASSERT_EQ(salvage.GetEntry(i, &e), 1);
    EXPECT_EQ(e.origin, expected[i].second) << i;
    EXPECT_EQ(e.name, nullptr);
    void* data = nullptr;
    ASSERT_EQ(salvage.ReadEntry(i, 1, &data), VRK_SALVAGE_OK);
    EXPECT_EQ(std::string(static_cast<const char*>(data), e.originalSize), expected[i].first);
    salvage.FreeBuffer(data);
  }
}

TEST_F(BasicSalvageTest, DamagedTablesLoseOnlyTheEntriesHit) {
  for (unsigned flags : {0u, 2u}) {
    Build(flags);
    const std::string whole = ReadFileBytes(Path());
    // Every byte of both tables flipped in turn: one hash entry, or one
    // block entry (scrambled: the next one's first word too), is spoiled.
    for (size_t at = Word(whole, kBlockTableOffset); at < whole.size(); ++at) {
      std::string damaged = whole;
      damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
      WriteFileBytes(Path(), damaged);
      const Found f = SalvageAll();
      EXPECT_GE(Given(f) + (flags ? 2 : 1), stored_.size()) << at;
    }
  }
}

TEST_F(BasicSalvageTest, DamagedOrLostNameListLeavesNamesToBeGiven) {
  Build(0);
  const std::string whole = ReadFileBytes(Path());
  Packet p = NewOpened(Path());
  const orvel::basic::BlockEntry list = *Access::ListBlock(*p);
  p.reset();
  // Damage near the end of the list's stream keeps the lines before it.
  std::string damaged = whole;
  damaged[list.offset + list.storedSize - 4] ^= 0x33;
  WriteFileBytes(Path(), damaged);
  Found f = SalvageAll();
  EXPECT_GE(f.named.size(), stored_.size() / 2);
  EXPECT_EQ(Given(f), stored_.size());
  EXPECT_EQ(f.lost, 0u);
  // Its first bytes spoiled, no line survives; the names are given back.
  damaged = whole;
  for (int i = 0; i < 4; ++i) damaged[list.offset + static_cast<size_t>(i)] ^= 0x33;
  WriteFileBytes(Path(), damaged);
  CVrkSalvage salvage;
  ASSERT_EQ(salvage.Open(Path().c_str()), 1);
  EXPECT_EQ(salvage.GetEntryCount(), stored_.size());
  for (const auto& [name, bytes] : stored_) EXPECT_EQ(salvage.NameEntry(name.c_str()), 1) << name;
  EXPECT_EQ(salvage.NameEntry("file99"), 0);
}

TEST_F(BasicSalvageTest, DamagedStoredBytesLoseOnlyThatFile) {
  Build(0);
  const std::string whole = ReadFileBytes(Path());
  // The stream's first instruction and the literal after it: a flipped
  // literal further on would decode to the right size with a wrong byte,
  // which nothing in a basic archive can tell.
  Packet p = NewOpened(Path());
  const uint32_t offset = Access::Blocks(*p)[p->GetFileBlockIndex("file9")].offset;
  p.reset();
  std::string damaged = whole;
  damaged[offset] ^= 0x0F;
  damaged[offset + 1] ^= 0x0F;
  WriteFileBytes(Path(), damaged);
  const Found f = SalvageAll();
  EXPECT_EQ(f.named.size(), stored_.size() - 1);
  EXPECT_EQ(f.named.count("file9"), 0u);
}

// A header that claims the largest tables, over a small file: what salvage
// holds stays within a small multiple of the file.
TEST_F(BasicSalvageTest, ClaimedSizesDoNotSizeMemory) {
  Build(0);
  std::string bytes = ReadFileBytes(Path());
  PutWord(bytes, kTableSize, 1u << 26);
  PutWord(bytes, kFileCount, 1u << 26);
  PutWord(bytes, kBlockTableOffset, 48);
  WriteFileBytes(Path(), bytes);
  CountingAllocator counter;
  {
    ScopedAllocator scope(&counter);
    CVrkSalvage salvage;
    EXPECT_EQ(salvage.Open(Path().c_str()), 1);
    for (unsigned i = 0; i < salvage.GetEntryCount(); ++i) {
      void* data = nullptr;
      salvage.ReadEntry(i, 1, &data);
      salvage.FreeBuffer(data);
    }
  }
  EXPECT_LE(counter.peak_bytes(), 300 * bytes.size() + (1u << 20));
  EXPECT_EQ(counter.live(), 0u);
}

}  // namespace
}  // namespace orvel_test
