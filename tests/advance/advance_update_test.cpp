// The update bracket, table writing callbacks, growth, and the add and
// replacement rules.
#include <sys/stat.h>
#include <sys/time.h>

#include <vector>

#include "advance/AdvanceFixture.h"
#include "codec/NameHash.h"

namespace orvel_test {
namespace {

std::vector<std::pair<int, int>> g_calls;
int Record(IOrvelPacket*, int total, int current) {
  g_calls.emplace_back(total, current);
  return -1;  // ignored
}

TEST_F(AdvanceTest, NestedBracketsWriteOnlyAtTheOutermostEnd) {
  Packet p = Create();
  EXPECT_EQ(p->EndUpdate(), VRKERR_NOT_UPDATING);
  EXPECT_EQ(p->AddFileFromMemory("a", 0, "x", 1, 0, 0), VRKERR_NOT_UPDATING);
  EXPECT_EQ(p->DeleteFile("a"), VRKERR_NOT_UPDATING);
  const std::string before = Bytes(".bhl");
  p->BeginUpdate();
  p->BeginUpdate();
  AddText(p.get(), "a", "alpha");
  EXPECT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(Bytes(".bhl"), before);
  EXPECT_EQ(p->EndUpdate(), 0);
  EXPECT_NE(Bytes(".bhl"), before);
  EXPECT_EQ(Read(Open().get(), "A"), "alpha");
}

TEST_F(AdvanceTest, BlockTableCallbackRunsPerPieceOf64) {
  for (unsigned files : {64u, 65u, 130u}) {
    Packet p = Create(8, 256);
    p->BeginUpdate();
    for (unsigned i = 1; i < files; ++i) AddText(p.get(), "n" + std::to_string(i), "d");
    SetVrkCallback(VRKCB_WRITE_BLOCK_TABLE, Record);
    g_calls.clear();
    ASSERT_EQ(p->EndUpdate(), 0);
    std::vector<std::pair<int, int>> want;
    for (unsigned done = 0; done + 64 <= files; done += 64) want.emplace_back(files, done);
    if (files % 64) want.emplace_back(files, files);
    EXPECT_EQ(g_calls, want) << files;
    SetVrkCallback(VRKCB_WRITE_BLOCK_TABLE, nullptr);
  }
  SetVrkCallback(VRKCB_WRITE_HASH_TABLE, Record);
  g_calls.clear();
  Packet p = Create(8, 100);  // 128 slots: two full pieces
  EXPECT_EQ(g_calls, (std::vector<std::pair<int, int>>{{128, 0}, {128, 64}}));
}

TEST_F(AdvanceTest, FullTableOfFourGrowsToEight) {
  Packet p = Create(8, 4);
  SetVrkCallback(VRKCB_GROW_TABLES, Record);
  g_calls.clear();
  p->BeginUpdate();
  for (int i = 0; i < 3; ++i) AddText(p.get(), "f" + std::to_string(i), "v" + std::to_string(i));
  EXPECT_EQ(p->TableSize(), 4u);
  EXPECT_TRUE(g_calls.empty());
  AddText(p.get(), "f3", "v3");
  EXPECT_EQ(p->TableSize(), 8u);
  EXPECT_EQ(g_calls.size(), 4u);
  EXPECT_EQ(p->Header()->blockCount, 5u);
  EXPECT_EQ(p->Header()->fileCount, 5u);
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet again = Open();
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(Read(again.get(), ("f" + std::to_string(i)).c_str()), "v" + std::to_string(i));
}

TEST_F(AdvanceTest, ForeignOccupantMovesAndBothNamesAreFound) {
  Packet p = Create(8, 64);
  p->BeginUpdate();
  std::vector<std::string> names;
  for (int i = 0; names.size() < 40; ++i) names.push_back("c" + std::to_string(i));
  for (auto& n : names) AddText(p.get(), n, n + "!");
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet again = Open();
  for (auto& n : names) EXPECT_EQ(Read(again.get(), n.c_str()), n + "!");
  // Collisions happened at 40 of 64 slots, so chains and moves were used.
  unsigned nonHome = 0;
  for (unsigned s = 0; s < again->TableSize(); ++s) {
    const orvel::HashEntry& e = again->HashTable()[s];
    if (e.blockIndex != 0xFFFFFFFFu && (e.hash0 & 63u) != s) ++nonHome;
  }
  EXPECT_GT(nonHome, 0u);
}

TEST_F(AdvanceTest, ReplacementInPlaceKeepsWasteAndAppendAddsOldSize) {
  Packet p = Create();
  p->BeginUpdate();
  const unsigned hash[3] = {0x11, 0x22, 0x33};
  const std::string big(300, 'b');
  ASSERT_EQ(p->AddCompressedFileByHash(hash, 0, big.data(), 300, 300, 0, 5), 0);
  const uint32_t offset = p->FindBlockByHash(0x11, 0x22, 0x33, 0xFFFFFFFFu)->offset;
  // Same version: declined, nothing changes.
  ASSERT_EQ(p->AddCompressedFileByHash(hash, 0, "zz", 2, 2, 0, 5), 0);
  EXPECT_EQ(p->FindBlockByHash(0x11, 0x22, 0x33, 0xFFFFFFFFu)->storedSize, 300u);
  // Newer and smaller: in place.
  const std::string small(200, 's');
  ASSERT_EQ(p->AddCompressedFileByHash(hash, 0, small.data(), 200, 200, 0, 6), 0);
  const orvel::AdvanceBlockEntry* e = p->FindBlockByHash(0x11, 0x22, 0x33, 0xFFFFFFFFu);
  EXPECT_EQ(e->offset, offset);
  EXPECT_EQ(e->storedSize, 200u);
  EXPECT_EQ(e->versionLow, 6u);
  EXPECT_EQ(p->Header()->wastedBytes, 0u);
  // Newer and larger: appended, the old stored size becomes waste.
  const std::string larger(500, 'L');
  ASSERT_EQ(p->AddCompressedFileByHash(hash, 0, larger.data(), 500, 500, 0, 7), 0);
  e = p->FindBlockByHash(0x11, 0x22, 0x33, 0xFFFFFFFFu);
  EXPECT_NE(e->offset, offset);
  EXPECT_EQ(p->Header()->wastedBytes, 200u);
  // Forced with an older version.
  ASSERT_EQ(p->AddCompressedFileByHash(hash, 2, "f", 1, 1, 0, 1), 0);
  EXPECT_EQ(p->FindBlockByHash(0x11, 0x22, 0x33, 0xFFFFFFFFu)->versionLow, 1u);
  ASSERT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(Word(Bytes(".bhl"), 40), 200u);
}

TEST_F(AdvanceTest, HashOnlyAddsLeaveTheListTextUnchanged) {
  Packet p = Create();
  p->BeginUpdate();
  AddText(p.get(), "named", "n");
  ASSERT_EQ(p->EndUpdate(), 0);
  const std::string list = Bytes(".lst");
  p->BeginUpdate();
  const unsigned hash[3] = {1, 2, 3};
  ASSERT_EQ(p->AddCompressedFileByHash(hash, 0, "h", 1, 1, 0, 0), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(Bytes(".lst"), list);
  EXPECT_EQ(p->GetFileCount(), 3u);
  char name[32];
  EXPECT_EQ(p->GetFileName(2, name, sizeof(name)), VRKERR_NULL_NAME);
}

TEST_F(AdvanceTest, NamesAddedAfterHashOnlyAddsSurviveReopening) {
  Packet p = Create();
  p->BeginUpdate();
  const unsigned hash[3] = {7, 8, 9};
  ASSERT_EQ(p->AddCompressedFileByHash(hash, 0, "h", 1, 1, 0, 0), 0);
  AddText(p.get(), "Later/Name.TXT", "later");
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet again = Open();
  char name[64];
  ASSERT_EQ(again->GetFileName(1, name, sizeof(name)), 0);
  EXPECT_STREQ(name, "later/name.txt");
  EXPECT_EQ(Read(again.get(), "later/name.txt"), "later");
}

TEST_F(AdvanceTest, MemoryAddsStorePlainOrCompressedWithVersions) {
  Packet p = Create(8, 16, 4, 9);
  p->BeginUpdate();
  const std::string text = Text(5000, 1);
  AddText(p.get(), "plain", text);
  AddText(p.get(), "packed", text, 1);
  EXPECT_EQ(p->IsFileCompressed("plain"), 0);
  EXPECT_EQ(p->IsFileCompressed("packed"), 1);
  EXPECT_LT(p->GetFileStoredSize("packed"), 5000u);
  unsigned vh = 0, vl = 0;
  p->GetFileVersion("plain", &vh, &vl);
  EXPECT_EQ(vh, 4u);
  EXPECT_EQ(vl, 9u);
  // A replacement with an older versionLow is declined and keeps the flags.
  ASSERT_EQ(p->AddFileFromMemory("packed", 0, "new", 3, 0, 9), 0);
  EXPECT_EQ(p->IsFileCompressed("packed"), 1);
  ASSERT_EQ(p->AddFileFromMemory("packed", 0, "new", 3, 0, 10), 0);
  EXPECT_EQ(p->IsFileCompressed("packed"), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet again = Open();
  EXPECT_EQ(Read(again.get(), "plain"), text);
  EXPECT_EQ(Read(again.get(), "packed"), "new");
  EXPECT_EQ(again->GetOriginalSize("PLAIN", 0xFFFFFFFFu), 5000u);
}

TEST_F(AdvanceTest, DiskAddsKeepFileTimesAndReplaceOnlyWhenTheyChange) {
  const std::string src = tmp_ / "source.txt";
  WriteFileBytes(src, "first version");
  struct timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimes(src.c_str(), times), 0);
  Packet p = Create();
  p->BeginUpdate();
  EXPECT_EQ(p->AddFileFromDisk("d", 0, (tmp_ / "missing").c_str(), 0, 0), VRKERR_NO_SOURCE);
  EXPECT_EQ(p->AddFileFromDisk("d", 0, nullptr, 0, 0), VRKERR_NULL_PATH);
  ASSERT_EQ(p->AddFileFromDisk("d", 1, src.c_str(), 0, 0), 0);
  const orvel::AdvanceBlockEntry* e = p->FindBlock("d", 0xFFFFFFFFu);
  const uint64_t filetime = (uint64_t{e->fileTimeHigh} << 32) | e->fileTimeLow;
  EXPECT_EQ(filetime, 1000000000ull * 10000000ull + 116444736000000000ull);
  EXPECT_EQ(e->flags & 1u, 1u);
  // Same time, other content: declined unless forced.
  WriteFileBytes(src, "second version!");
  ASSERT_EQ(utimes(src.c_str(), times), 0);
  ASSERT_EQ(p->AddFileFromDisk("d", 0, src.c_str(), 0, 0), 0);
  EXPECT_EQ(Read(p.get(), "d"), "first version");
  ASSERT_EQ(p->AddFileFromDisk("d", 2, src.c_str(), 0, 0), 0);
  EXPECT_EQ(Read(p.get(), "d"), "second version!");
  // A newer time replaces (uncompressed now).
  times[1].tv_sec += 10;
  WriteFileBytes(src, "third");
  ASSERT_EQ(utimes(src.c_str(), times), 0);
  ASSERT_EQ(p->AddFileFromDisk("d", 0, src.c_str(), 0, 3), 0);
  EXPECT_EQ(p->IsFileCompressed("d"), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet again = Open();
  EXPECT_EQ(Read(again.get(), "d"), "third");
  unsigned vl = 0;
  again->GetFileVersion("d", nullptr, &vl);
  EXPECT_EQ(vl, 3u);
  ASSERT_EQ(again->ExtractFile("d", (tmp_ / "out.txt").c_str(), 0xFFFFFFFFu), 1);
  EXPECT_EQ(ReadFileBytes(tmp_ / "out.txt"), "third");
}

TEST_F(AdvanceTest, ReadsByBlockIndexAndIntoCallerBuffers) {
  Packet p = Create();
  p->BeginUpdate();
  const std::string text = Text(3000, 2);
  AddText(p.get(), "z", text, 1);
  AddText(p.get(), "raw", "0123456789");
  ASSERT_EQ(p->EndUpdate(), 0);
  const int index = p->GetFileBlockIndex("z");
  ASSERT_GE(index, 0);
  EXPECT_EQ(p->GetOriginalSize("anything", static_cast<unsigned>(index)), 3000u);
  EXPECT_EQ(p->GetOriginalSize(nullptr, 99), 0u);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_ADV_NOT_FOUND);
  std::string out(3000, '\0');
  g_nVrkErrCode = 123;
  EXPECT_EQ(p->ReadFileTo("z", &out[0], 2999, 0xFFFFFFFFu), 0);
  EXPECT_EQ(g_nVrkErrCode, 123);
  EXPECT_EQ(p->ReadFileTo(nullptr, &out[0], 3000, static_cast<unsigned>(index)), 3000);
  EXPECT_EQ(out, text);
  char exact[10];
  EXPECT_EQ(p->ReadFileTo("raw", exact, 10, 0xFFFFFFFFu), 10);
  EXPECT_EQ(std::string(exact, 10), "0123456789");
  char raw[16];
  EXPECT_EQ(p->ReadFileRaw("raw", raw, 9), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(p->ReadFileRaw("raw", raw, 16), 10);
  unsigned h[3] = {0, 0, 0};
  p->GetFileHash("RAW", &h[0], &h[1], &h[2]);
  unsigned table[orvel::kCryptTableWords];
  orvel::InitCryptTable(table);
  EXPECT_EQ(h[0], orvel::HashName("raw", table, 0));
  EXPECT_EQ(p->GetFileBlockIndex("nope"), -1);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_ADV_NOT_FOUND);
}

}  // namespace
}  // namespace orvel_test
