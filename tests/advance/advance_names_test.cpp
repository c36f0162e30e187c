// The name list read at its first use instead of at open: lookups need only
// the tables, a damaged list fails the first operation that needs names with
// the code the open gave before, and commits write the same bytes either way.
#include <random>

#include "advance/AdvanceFixture.h"
#include "advance/RandomChanges.h"
#include "codec/TablePieces.h"
#include "common/CountingAllocator.h"

namespace orvel_test {
namespace {

class AdvanceNamesTest : public AdvanceTest {
 protected:
  void SetUp() override {
    Packet p = Create(8, 16);
    p->BeginUpdate();
    for (const char* name : {"alpha", "beta", "gamma"}) AddText(p.get(), name, name);
    ASSERT_EQ(p->EndUpdate(), 0);
  }
  using Files = std::vector<std::string>;
  Files Snapshot() const { return {Bytes(".vrk"), Bytes(".bhl"), Bytes(".lst")}; }
  void Restore(const Files& files) const {
    WriteFileBytes(Path(), files[0]);
    WriteFileBytes(Path(".bhl"), files[1]);
    WriteFileBytes(Path(".lst"), files[2]);
  }
};

// `n` bytes followed by their checksum word.
std::string Sealed(const void* p, size_t n) {
  const uint32_t crc = orvel::Crc32(p, n);
  return std::string(static_cast<const char*>(p), n) +
         std::string(reinterpret_cast<const char*>(&crc), 4);
}

std::string Resealed(std::string lst, uint32_t originalSize) {
  std::memcpy(&lst[20], &originalSize, 4);  // the record's originalSize
  const uint32_t crc = orvel::Crc32(lst.data(), 36);
  std::memcpy(&lst[36], &crc, 4);
  return lst;
}

TEST_F(AdvanceNamesTest, DamagedListFailsTheFirstNameUseWithTheOpensCode) {
  const std::string good = Bytes(".lst");
  uint32_t originalSize;
  std::memcpy(&originalSize, &good[20], 4);
  struct Damage {
    const char* what;
    std::string bytes;
    int code;
    bool recordIntact;  // a commit that changes no name can still go ahead
  };
  std::string textFlip = good, recordFlip = good;
  textFlip[44] ^= 0x10;
  recordFlip[3] ^= 0x01;
  const std::vector<Damage> damages = {
      {"text byte", textFlip, VRKERR_CHECKSUM, true},
      {"record byte", recordFlip, VRKERR_CHECKSUM, false},
      {"text size", Resealed(good, originalSize + 1), VRKERR_LIST_FILE_IO, true},
      {"record cut", good.substr(0, 20), VRKERR_LIST_FILE_IO, false},
      {"checksum cut", good.substr(0, 38), VRKERR_CHECKSUM_IO, false},
  };
  const Files intact = Snapshot();
  for (const Damage& d : damages) {
    Restore(intact);
    WriteFileBytes(Path(".lst"), d.bytes);
    {
      NameListMode eager(false);
      EXPECT_EQ(OpenCode(), d.code) << d.what;
    }
    Packet p = Open();
    // Lookups and reads by name need only the tables.
    EXPECT_EQ(ReadAll(*p, "beta"), "beta") << d.what;
    EXPECT_GE(p->GetFileBlockIndex("gamma"), 0);
    EXPECT_EQ(p->GetFileOriginalSize("alpha"), 5u);
    EXPECT_FALSE(p->NamesLoaded());
    // Every operation that needs names fails with the list's code, each
    // time it is asked.
    char name[16];
    for (int round = 0; round < 2; ++round) {
      EXPECT_EQ(p->GetFileName(1, name, sizeof name), d.code) << d.what;
      EXPECT_EQ(p->NameCount(), 0u);
      EXPECT_EQ(g_nVrkErrCode, d.code);
    }
    p->BeginUpdate();
    EXPECT_EQ(Add(*p, "delta", "d"), d.code) << d.what;
    EXPECT_EQ(p->DeleteFile("alpha"), d.code) << d.what;
    EXPECT_EQ(p->GetFileBlockIndex("alpha"), 1) << "the failed removal changed nothing";
    EXPECT_EQ(Add(*p, "beta", "BETA", 0, 0, 7), 0) << "a replacement keeps its name";
    EXPECT_EQ(p->EndUpdate(), d.recordIntact ? 0 : d.code) << d.what;
    // A list record that cannot be checked against the tables fails the
    // commit before it writes anything, and the bracket is rolled back.
    if (!d.recordIntact) {
      EXPECT_EQ(ReadAll(*p, "beta"), "beta") << d.what;
    }
    p.reset();
    if (d.recordIntact) {
      EXPECT_EQ(Bytes(".lst"), d.bytes) << "a commit that changes no name leaves the list";
      EXPECT_EQ(ReadAll(*Open(), "beta"), "BETA");
    }
  }
}

TEST_F(AdvanceNamesTest, LookupsAndReplacementsLeaveTheNamesOnDisk) {
  Packet p = Open();
  EXPECT_FALSE(p->NamesLoaded());
  EXPECT_EQ(ReadAll(*p, "ALPHA"), "alpha");
  unsigned hash[3] = {};
  p->GetFileHash("gamma", &hash[0], &hash[1], &hash[2]);
  p->BeginUpdate();
  EXPECT_EQ(Add(*p, "beta", "new beta", 0, 0, 7), 0);
  EXPECT_EQ(p->AddCompressedFileByHash(hash, 0, "g", 1, 1, 0, 0), 0);
  EXPECT_EQ(p->EndUpdate(), 0);
  EXPECT_FALSE(p->NamesLoaded());
  char name[16];
  EXPECT_EQ(p->GetFileName(3, name, sizeof name), 0);
  EXPECT_STREQ(name, "gamma");
  EXPECT_TRUE(p->NamesLoaded());
  EXPECT_EQ(p->NameCount(), 4u);
}

// A commit that changes no name keeps the unread list side file only while
// table pieces are tracked (off, every commit writes the list as it always
// did, the same bytes); a name listed while the others still wait on disk
// joins them instead of taking their place.
TEST_F(AdvanceNamesTest, UnreadNamesAtCommit) {
  const std::string list = Bytes(".lst");
  struct Case {
    const char* what;
    bool tracked;
    const char* listed;  // passed to ListFileAdd before the commit, or null
    bool loadedAfter;
    unsigned names;
  };
  const Case cases[] = {
      {"tracked", true, nullptr, false, 4},
      {"untracked", false, nullptr, true, 4},
      {"listed", true, "extra", true, 5},
  };
  for (const Case& c : cases) {
    WriteFileBytes(Path(".lst"), list);
    Packet p = Open();
    p->BeginUpdate();
    EXPECT_EQ(Add(*p, "beta", "new beta", 0, 0, 7), 0);
    if (c.listed) p->ListFileAdd(c.listed);
    orvel::SetTablePiecesEnabled(c.tracked);
    EXPECT_EQ(p->EndUpdate(), 0) << c.what;
    orvel::SetTablePiecesEnabled(true);
    EXPECT_EQ(p->NamesLoaded(), c.loadedAfter) << c.what;
    p.reset();
    if (!c.listed) {
      EXPECT_EQ(Bytes(".lst"), list) << c.what;
    }
    EXPECT_EQ(Open()->NameCount(), c.names) << c.what;
  }
}

// Memory running out while the names are read fails the name use with -2
// (never a list short of names, which the next commit would write), and the
// next use reads them whole.
TEST_F(AdvanceNamesTest, NamesReadWholeOrNotAtAll) {
  Build(64, "file", 40);
  CountingAllocator allocator;
  ScopedAllocator scoped(&allocator);
  bool completed = false;
  for (long k = 0; !completed; ++k) {
    Packet p = Open();
    allocator.fail_after(k);
    char name[16];
    const int rc = p->GetFileName(40, name, sizeof name);
    allocator.fail_after(-1);
    completed = rc == 0;
    if (!completed) {
      ASSERT_EQ(rc, VRKERR_NO_MEMORY) << k;
      EXPECT_FALSE(p->NamesLoaded());
    }
    EXPECT_EQ(p->GetFileName(40, name, sizeof name), 0) << k;
    EXPECT_STREQ(name, "file39");
    EXPECT_EQ(p->NameCount(), 41u);
  }
}

// The list side file as another writer may leave it: a record whose
// entry differs from the table's (version 1 here), or the text stored as
// it is.
std::string ForeignList(const std::string& lst, bool plainText, int names) {
  std::string text = "(listfile)\n";
  for (int i = 0; i < names; ++i) text += "f" + std::to_string(i) + "\n";
  text += '\0';
  orvel::AdvanceBlockEntry record;
  std::memcpy(&record, lst.data(), 36);
  if (!plainText) {
    record.versionHigh = 1;
    return Sealed(&record, 36) + lst.substr(40);
  }
  record.flags = 0;
  record.storedSize = record.originalSize = static_cast<uint32_t>(text.size());
  return Sealed(&record, 36) + Sealed(text.data(), text.size());
}

// Random brackets of changes, each on a freshly opened archive: names read at open and names read at
// first use leave the same bytes in all three files after every bracket,
// also where the list side file is not as this library writes it.
TEST_F(AdvanceNamesTest, CommitsWriteTheSameBytesWithNamesReadLate) {
  const RandomChanges kChanges(24, [](unsigned i) {
    return (i % 2 ? "f" : "g") + std::to_string(i / 2);
  });
  int keptUnread = 0;
  for (unsigned flags : {8u, 8u | 2u}) {
    for (unsigned seed = 1; seed <= 9; ++seed) {
      Packet built = Build(16, "f", 9, flags);
      built.reset();
      if (seed % 3) WriteFileBytes(Path(".lst"), ForeignList(Bytes(".lst"), seed % 3 == 2, 9));
      Files state = Snapshot();
      std::mt19937 random(seed);
      for (int step = 0; step < 8; ++step) {
        const unsigned stepSeed = static_cast<unsigned>(random());
        Files after[2];
        std::vector<std::vector<int>> codes[2];
        bool loaded = true;
        for (bool deferred : {false, true}) {
          Restore(state);
          NameListMode mode(deferred);
          std::mt19937 r(stepSeed);
          Packet p = Open();
          p->BeginUpdate();
          kChanges.Apply(r, r() % 3 + 1, {p.get()}, &codes[deferred]);
          codes[deferred][0].push_back(p->EndUpdate());
          if (deferred) loaded = p->NamesLoaded();
          p.reset();
          after[deferred] = Snapshot();
        }
        ASSERT_EQ(codes[0], codes[1]) << seed << " " << step;
        ASSERT_TRUE(after[0] == after[1]) << "flags " << flags << " seed " << seed << " step " << step;
        keptUnread += !loaded;
        state = after[0];
      }
    }
  }
  // The commits without names did leave the list unread.
  EXPECT_GT(keptUnread, 10);
}

}  // namespace
}  // namespace orvel_test
