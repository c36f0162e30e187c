// The update bracket, table writing callbacks, the add and replacement rules,
// and reads of what the adds stored.
#include <sys/time.h>

#include "advance/AdvanceFixture.h"

namespace orvel_test {
namespace {

TEST_F(AdvanceTest, TablesAreWrittenAtTheOutermostEndInPiecesOf64) {
  for (unsigned files : {64u, 65u, 130u}) {
    Packet p = Create(8, 256);
    EXPECT_EQ(p->EndUpdate(), VRKERR_NOT_UPDATING);
    const std::string before = Bytes(".bhl");
    Watch(VRKCB_WRITE_BLOCK_TABLE);
    p->BeginUpdate();
    p->BeginUpdate();
    for (unsigned i = 1; i < files; ++i) AddText(p.get(), "n" + std::to_string(i), "d");
    ASSERT_EQ(p->EndUpdate(), 0);
    EXPECT_EQ(Bytes(".bhl"), before);
    EXPECT_TRUE(g_calls.empty());
    ASSERT_EQ(p->EndUpdate(), 0);
    Calls want;
    for (unsigned done = 0; done + 64 <= files; done += 64) want.emplace_back(files, done);
    if (files % 64) want.emplace_back(files, files);
    EXPECT_EQ(g_calls, want) << files;
  }
  Watch(VRKCB_WRITE_HASH_TABLE);
  Create(8, 100);  // 128 slots: two full pieces
  EXPECT_EQ(g_calls, (Calls{{128, 0}, {128, 64}}));
}

// Adds by hashes alone, as patches make them: replacement rules, and the
// list side file left as it was while later names still reach it.
TEST_F(AdvanceTest, HashOnlyAddsReplaceInPlaceOrAppendAndKeepTheList) {
  Packet p = Create();
  const std::string list = Bytes(".lst");
  p->BeginUpdate();
  const unsigned hash[3] = {0x11, 0x22, 0x33};
  ASSERT_EQ(AddHashed(p.get(), hash, std::string(300, 'b'), 0, 5), 0);
  uint32_t offset = p->FindBlockByHash(0x11, 0x22, 0x33, kNone)->offset;
  struct {
    unsigned size, flags, versionLow, wantStored, wantWaste;
    bool inPlace;
  } const steps[] = {
      {2, 0, 5, 300, 0, true},       // same version: declined
      {300, 0, 6, 300, 0, true},     // newer, the same size: in place
      {500, 0, 7, 500, 300, false},  // newer and larger: appended, old size wasted
      {1, 2, 1, 1, 300, true},       // forced although older
  };
  for (const auto& s : steps) {
    ASSERT_EQ(AddHashed(p.get(), hash, std::string(s.size, 'x'), s.flags, s.versionLow), 0);
    const orvel::AdvanceBlockEntry* e = p->FindBlockByHash(0x11, 0x22, 0x33, kNone);
    EXPECT_EQ(e->storedSize, s.wantStored) << s.size;
    EXPECT_EQ(e->offset == offset, s.inPlace) << s.size;
    EXPECT_EQ(p->Header()->wastedBytes, s.wantWaste) << s.size;
    offset = e->offset;
  }
  ASSERT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(Word(Bytes(".bhl"), 40), 300u);
  EXPECT_EQ(Bytes(".lst"), list);
  char name[64];
  EXPECT_EQ(p->GetFileName(1, name, sizeof(name)), VRKERR_NULL_NAME);
  // A name added after a hash-only file still reaches the list side file.
  p->BeginUpdate();
  AddText(p.get(), "Later/Name.TXT", "later");
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet again = Open();
  ASSERT_EQ(again->GetFileName(1, name, sizeof(name)), 0);
  EXPECT_STREQ(name, "later/name.txt");
  EXPECT_EQ(ReadAll(*again, "later/name.txt"), "later");
}

// The advanced entry points behind the adds by name refuse a name with a
// line break as the adds do (tests/e2e), before anything is written.
TEST_F(AdvanceTest, InnerAddsAndReplacementsRefuseNamesWithLineBreaks) {
  Packet p = Create();
  const std::string source = tmp_ / "source";
  WriteFileBytes(source, "s");
  p->BeginUpdate();
  EXPECT_EQ(p->ReplaceCompressedFile("x\ny", 2, "new", 3, 3, 0, 9), VRKERR_NULL_NAME);
  EXPECT_EQ(p->ReplaceFileFromDisk("x\ny", 2, source.c_str(), 0, 9), VRKERR_NULL_NAME);
  EXPECT_EQ(p->AddNewCompressedFile("x\rz", "new", 3, 3, 0, 9), VRKERR_NULL_NAME);
  EXPECT_EQ(p->AddNewFileFromDisk("x\rz", 0, source.c_str(), 0, 9), VRKERR_NULL_NAME);
  ASSERT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(p->GetFileCount(), 1u);
}

TEST_F(AdvanceTest, MemoryAddsStorePlainOrCompressedAndReadBack) {
  Packet p = Create(8, 16, 4, 9);
  p->BeginUpdate();
  const std::string text = Text(5000, 1);
  AddText(p.get(), "plain", text);
  AddText(p.get(), "packed", text, 1);
  AddText(p.get(), "raw", "0123456789");
  EXPECT_EQ(p->IsFileCompressed("packed"), 1);
  unsigned vh = 0, vl = 0;
  p->GetFileVersion("plain", &vh, &vl);
  EXPECT_EQ(vh * 100 + vl, 409u);  // the archive's version
  // A newer versionLow replaces (the older-stamp refusal: the hash-only steps).
  ASSERT_EQ(p->AddFileFromMemory("packed", 0, "new", 3, 0, 10), 0);
  EXPECT_EQ(p->IsFileCompressed("packed"), 0);
  ASSERT_EQ(p->EndUpdate(), 0);

  // Into caller buffers, by name or by block index.
  Packet again = Open();
  const unsigned index = static_cast<unsigned>(again->GetFileBlockIndex("plain"));
  EXPECT_EQ(again->GetOriginalSize("anything", index), 5000u);
  std::string out(5000, '\0');
  EXPECT_EQ(again->ReadFileTo("PLAIN", &out[0], 4999, kNone), 0);
  EXPECT_EQ(again->ReadFileTo(nullptr, &out[0], 5000, index), 5000);
  EXPECT_EQ(out, text);
  EXPECT_EQ(ReadAll(*again, "packed"), "new");
  char raw[16];
  EXPECT_EQ(again->ReadFileRaw("raw", raw, 9), 0);  // too small for the stored bytes
  EXPECT_EQ(again->ReadFileRaw("raw", raw, 16), 10);
}

TEST_F(AdvanceTest, DiskAddsKeepFileTimesAndReplaceOnlyWhenTheyChange) {
  const std::string src = tmp_ / "source.txt";
  struct timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
  auto source = [&](const char* text) {
    WriteFileBytes(src, text);
    ASSERT_EQ(utimes(src.c_str(), times), 0);
  };
  source("first version");
  Packet p = Create();
  p->BeginUpdate();
  ASSERT_EQ(p->AddFileFromDisk("d", 1, src.c_str(), 0, 0), 0);
  const orvel::AdvanceBlockEntry* e = p->FindBlock("d", kNone);
  const uint64_t filetime = (uint64_t{e->fileTimeHigh} << 32) | e->fileTimeLow;
  EXPECT_EQ(filetime, 1000000000ull * 10000000ull + 116444736000000000ull);
  // Same time, other content: declined.
  source("second version!");
  ASSERT_EQ(p->AddFileFromDisk("d", 0, src.c_str(), 0, 0), 0);
  EXPECT_EQ(ReadAll(*p, "d"), "first version");
  // A newer time replaces (uncompressed now).
  times[1].tv_sec += 10;
  source("third");
  ASSERT_EQ(p->AddFileFromDisk("d", 0, src.c_str(), 0, 3), 0);
  EXPECT_EQ(p->IsFileCompressed("d"), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet again = Open();
  unsigned vl = 0;
  again->GetFileVersion("d", nullptr, &vl);
  EXPECT_EQ(vl, 3u);
  ASSERT_EQ(again->ExtractFile("d", (tmp_ / "out.txt").c_str(), kNone), 1);
  EXPECT_EQ(ReadFileBytes(tmp_ / "out.txt"), "third");
}

// The list side file read at open is written back as it was by a commit that
// leaves the names alone, and compressed anew once they change.
TEST_F(AdvanceTest, CommitsKeepOrRewriteTheListAsTheNamesRequire) {
  Build(64, "name", 40).reset();
  const std::string before = Bytes(".lst");
  Packet p = Open();
  p->BeginUpdate();
  AddText(p.get(), "name3", "replaced", 0, 9);
  ASSERT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(Bytes(".lst"), before);
  p->BeginUpdate();
  AddText(p.get(), "extra", "x");
  ASSERT_EQ(p->EndUpdate(), 0);
  p.reset();
  const std::string after = Bytes(".lst");
  EXPECT_NE(after, before);
  // The same names written by a fresh archive give the same bytes.
  Packet q = Build(64, "name", 40);
  q->BeginUpdate();
  AddText(q.get(), "extra", "x");
  ASSERT_EQ(q->EndUpdate(), 0);
  EXPECT_EQ(Bytes(".lst"), after);
}

}  // namespace
}  // namespace orvel_test
