// Salvage of damaged advanced archives at the library level: whatever bytes
// the three files hold, reading them never fails in any other way than by
// giving fewer files, and every file it gives is the one stored.
#include <filesystem>
#include <map>

#include "AdvanceFixture.h"
#include "common/SalvageWalk.h"
#include "orvel/VrkSalvage.h"

namespace orvel_test {
namespace {

class SalvageTest : public AdvanceTest {
 protected:
  // Files "file<i>" of distinct sizes, every other one compressed, in
  // enciphered tables when `flags` says so.
  void Build(unsigned flags) {
    Packet p = Create(flags, 16);
    p->BeginUpdate();
    for (int i = 0; i < 9; ++i) {
      const std::string name = "file" + std::to_string(i);
      stored_[name] = std::string(static_cast<size_t>(12 * i + 3), static_cast<char>('a' + i)) + name;
      AddText(p.get(), name, stored_[name], i % 2 ? 1 : 0);
    }
    ASSERT_EQ(p->EndUpdate(), 0);
  }

  // Salvages the archive as it is on disk; checks that each file given back
  // is the one stored and returns how many were.
  size_t SalvageAll() {
    CVrkSalvage salvage;
    if (!salvage.Open(Path().c_str())) return 0;
    size_t good = 0;
    ForEachSalvaged(salvage, [&](const VrkSalvageEntry& e, const std::string& bytes) {
      if (e.name) {
        EXPECT_EQ(bytes, stored_[e.name]) << e.name;
      }
      ++good;
    });
    return good;
  }

  std::map<std::string, std::string> stored_;
};

TEST_F(SalvageTest, IntactArchiveGivesBackEveryFileByName) {
  Build(8);
  CVrkSalvage salvage;
  ASSERT_EQ(salvage.Open(Path().c_str()), 1);
  EXPECT_EQ(salvage.GetEntryCount(), stored_.size());
  EXPECT_EQ(salvage.GetLostEntryCount(), 0u);
  for (unsigned i = 0; i < salvage.GetEntryCount(); ++i) {
    VrkSalvageEntry e;
    ASSERT_EQ(salvage.GetEntry(i, &e), 1);
    EXPECT_NE(e.name, nullptr);
  }
  EXPECT_EQ(SalvageAll(), stored_.size());
}

TEST_F(SalvageTest, NameEntryTakesOnlyNamesOfEntries) {
  Build(8);
  std::filesystem::remove(Path(".lst"));
  CVrkSalvage salvage;
  ASSERT_EQ(salvage.Open(Path().c_str()), 1);
  EXPECT_EQ(salvage.NameEntry("FILE3"), 1);
  EXPECT_EQ(salvage.NameEntry("file99"), 0);
  EXPECT_EQ(salvage.NameEntry(""), 0);
  EXPECT_EQ(salvage.NameEntry(nullptr), 0);
  unsigned named = 0;
  for (unsigned i = 0; i < salvage.GetEntryCount(); ++i) {
    VrkSalvageEntry e;
    salvage.GetEntry(i, &e);
    if (e.name) {
      EXPECT_STREQ(e.name, "file3");
      ++named;
    }
  }
  EXPECT_EQ(named, 1u);
}

// Every byte of every file of the archive flipped in turn, and every file
// cut at every length: nothing crashes (run under the sanitizers), nothing
// wrong comes back, and damage to one side file loses at most the entries
// it hit.
TEST_F(SalvageTest, DamageAnywhereNeverGivesWrongBytes) {
  for (unsigned flags : {8u, 8u | 2u}) {
    Build(flags);
    for (const char* ext : {".vrk", ".bhl", ".lst"}) {
      const std::string whole = Bytes(ext);
      for (size_t at = 0; at < whole.size(); ++at) {
        std::string damaged = whole;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
        WriteFileBytes(Path(ext), damaged);
        const size_t flipped = SalvageAll();
        // A byte of the tables spoils one entry, or in enciphered tables
        // the 8-byte block it lies in, which may hold parts of two.
        const size_t spared = std::string(ext) == ".lst" ? 0 : std::string(ext) == ".bhl" ? 2 : 1;
        EXPECT_GE(flipped + spared, stored_.size()) << ext << " " << at;
        WriteFileBytes(Path(ext), whole.substr(0, at));
        SalvageAll();
      }
      WriteFileBytes(Path(ext), whole);
    }
  }
}

}  // namespace
}  // namespace orvel_test
