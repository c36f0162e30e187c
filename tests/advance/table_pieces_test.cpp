// Commits that write only the table pieces that changed leave exactly the
// bytes that writing the tables whole leaves: two copies of an archive go
// through the same random adds, replacements, deletes, stamps, growths,
// compactions and reopenings, one committing with piece tracking, the other
// with tracking off, and their files are compared after every commit.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "advance/RandomChanges.h"
#include "advance/VrkAdvance.h"
#include "archive/BasicPacket.h"
#include "codec/TablePieces.h"
#include "common/PacketTestUtil.h"
#include "common/TempDir.h"

namespace orvel_test {
namespace {

struct Variant {
  const char* name;
  bool advanced;
  unsigned flags;      // creation flags
  unsigned tableSize;  // small tables grow during the run
  unsigned seed;
};

const Variant kVariants[] = {
    {"advanced_plain", true, 8, 256, 1},
    {"advanced_enciphered", true, 8 | 2, 256, 2},
    {"advanced_plain_growing", true, 8, 16, 3},
    {"advanced_enciphered_growing", true, 8 | 2, 16, 4},
    {"basic_plain", false, 0, 256, 5},
    {"basic_scrambled", false, 2, 16, 6},
};

struct Deleter {
  void operator()(IOrvelPacket* p) const { delete p; }
};
using Archive = std::unique_ptr<IOrvelPacket, Deleter>;

const RandomChanges kChanges(320, [](unsigned i) {
  return "dir" + std::to_string(i % 7) + "/file" + std::to_string(i);
});

class TablePiecesTest : public ::testing::TestWithParam<Variant> {
 protected:
  void TearDown() override { orvel::SetTablePiecesEnabled(true); }

  std::string Path(int copy) const { return tmp_ / (copy ? "whole.vrk" : "tracked.vrk"); }

  Archive Make() const {
    if (GetParam().advanced) return Archive(new orvel::CVrkAdvance());
    return Archive(new orvel::COrvelPacket());
  }
  Archive Open(int copy) const {
    Archive a = Make();
    EXPECT_EQ(a->OpenPacket(Path(copy).c_str()), 1) << g_nVrkErrCode;
    return a;
  }

  // The bytes of the archive's files.
  std::string Files(int copy) const {
    std::string all = ReadFileBytes(Path(copy));
    if (GetParam().advanced) {
      const std::string stem = Path(copy).substr(0, Path(copy).size() - 4);
      all += "|" + ReadFileBytes(stem + ".bhl") + "|" + ReadFileBytes(stem + ".lst");
    }
    return all;
  }

  void ExpectSameFiles() const {
    const std::string tracked = Files(0), whole = Files(1);
    ASSERT_EQ(tracked.size(), whole.size());
    size_t at = 0;
    while (at < tracked.size() && tracked[at] == whole[at]) ++at;
    EXPECT_EQ(at, tracked.size()) << "first difference at byte " << at;
  }

  TempDir tmp_;
};

TEST_P(TablePiecesTest, TrackedCommitsWriteWhatWholeTablesWrite) {
  const Variant& v = GetParam();
  Archive copy[2] = {Make(), Make()};
  for (int c = 0; c < 2; ++c)
    ASSERT_EQ(copy[c]->CreatePacket(Path(c).c_str(), v.flags, v.tableSize, 0, 1), 1);
  std::mt19937 rng(v.seed);
  for (int step = 0; step < 90; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const unsigned what = rng() % 20;
    if (what == 0) {
      // Reopened: the pieces come from the files.
      for (int c = 0; c < 2; ++c) copy[c] = Open(c);
      continue;
    }
    if (what == 1) {
      // Stamps and compactions commit on their own.
      const unsigned stamp = rng() % 100;
      for (int c = 0; c < 2; ++c) {
        orvel::SetTablePiecesEnabled(c == 0);
        copy[c]->SetPacketVersion(stamp, stamp + 1);
        copy[c]->CompactPacket();
      }
      orvel::SetTablePiecesEnabled(true);
      ExpectSameFiles();
      continue;
    }
    const std::vector<IOrvelPacket*> both = {copy[0].get(), copy[1].get()};
    for (IOrvelPacket* p : both) p->BeginUpdate();
    // Mostly a few changes; now and then many, enough to grow small tables.
    std::vector<std::vector<int>> codes;
    kChanges.Apply(rng, what == 2 ? 150 : 1 + rng() % 4, both, &codes);
    for (int c = 0; c < 2; ++c) {
      orvel::SetTablePiecesEnabled(c == 0);
      ASSERT_EQ(copy[c]->EndUpdate(), 0);
    }
    orvel::SetTablePiecesEnabled(true);
    ASSERT_EQ(codes[0], codes[1]);
    ExpectSameFiles();
    if (HasFatalFailure() || HasFailure()) return;
  }
  // The tracked copy reads back as a sound archive.
  Archive reopened = Open(0);
  EXPECT_GT(reopened->GetFileCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Variants, TablePiecesTest, ::testing::ValuesIn(kVariants),
                         [](const ::testing::TestParamInfo<Variant>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace orvel_test
