// Building, extending and applying patches between two copies of an
// advanced archive, and the failures on the way.
#include <filesystem>

#include "PatchFixture.h"

namespace orvel_test {
namespace {

namespace fs = std::filesystem;

const std::string kTextA = Text(5000, 2);
const std::string kRandomB = RandomBytes(3000, 3);
const std::string kTextB2 = Text(200, 4);

// Levels 3 (a compressed, b stored, c), 5 (b replaced by a shorter stored
// file, an empty d) and stamp 6.
void WriteLevels(Side& s) {
  PatchTest::Write(s, 3, {{"dir/a.txt", kTextA}, {"c.txt", Text(100, 5)}});
  PatchTest::Write(s, 3, {{"b.bin", kRandomB}}, 0);
  PatchTest::Write(s, 5, {{"b.bin", kTextB2}, {"d.empty", ""}}, 0);
  s->SetPacketVersion(0, 6);
}

void ExpectSameFiles(IOrvelPacket& from, IOrvelPacket& to) {
  for (const char* name : {"base.txt", "dir/a.txt", "b.bin", "c.txt", "d.empty"}) {
    EXPECT_EQ(ReadAll(to, name), ReadAll(from, name)) << name;
    EXPECT_EQ(to.IsFileCompressed(name), from.IsFileCompressed(name)) << name;
    unsigned fromLow = 0, toLow = 0;
    from.GetFileVersion(name, nullptr, &fromLow);
    to.GetFileVersion(name, nullptr, &toLow);
    EXPECT_EQ(toLow, fromLow) << name;
  }
}

TEST_F(PatchTest, PatchCarriesEveryLevelToACopy) {
  Side src = CreateSource();
  CopySource();
  WriteLevels(src);
  ASSERT_EQ(src.patcher->CreatePatchFile(), 0) << g_nVrkErrCode;
  // Four files: a and c at 3, b (replaced) and d at 5.
  EXPECT_EQ(fs::file_size(Src(".vrx")), 28u + 4 * 36u);
  EXPECT_TRUE(fs::exists(Block(3)));
  EXPECT_TRUE(fs::exists(Block(5)));
  EXPECT_FALSE(fs::exists(Block(1)));

  Side dst = Open(Dst());
  ASSERT_EQ(Apply(dst), 0) << g_nVrkErrCode;
  EXPECT_EQ(Level(*dst), 6u);
  ExpectSameFiles(*src, *dst);
  EXPECT_EQ(Apply(dst), 0);  // already at the patch's level: nothing written
  dst = Side(nullptr);
  Side reopened = Open(Dst());
  ExpectSameFiles(*src, *reopened);
  EXPECT_EQ(Level(*reopened), 6u);
}

TEST_F(PatchTest, MissingBlockFileStopsAtTheLastCompletedLevelAndReapplyFinishes) {
  Side src = CreateSource();
  CopySource();
  WriteLevels(src);
  ASSERT_EQ(src.patcher->CreatePatchFile(), 0);
  fs::rename(Block(5), tmp_ / "aside.pb");
  {
    Side dst = Open(Dst());
    EXPECT_EQ(Apply(dst), VRKERR_NO_SOURCE);
  }
  {
    Side dst = Open(Dst());  // what reached the disk
    EXPECT_EQ(Level(*dst), 3u);
    EXPECT_EQ(ReadAll(*dst, "dir/a.txt"), kTextA);
    EXPECT_EQ(dst->GetFileBlockIndex("b.bin"), -1);  // written at 3, but carried at 5
    EXPECT_EQ(dst->GetFileBlockIndex("d.empty"), -1);
    fs::rename(tmp_ / "aside.pb", Block(5));
    ASSERT_EQ(Apply(dst), 0);
    ExpectSameFiles(*src, *dst);
    EXPECT_EQ(Level(*dst), 6u);
  }
}

// Inside a bracket of the host's own, the files and the stamps of the levels
// wait for the host's EndUpdate: dropped together, or committed together.
TEST_F(PatchTest, InsideAHostBracketFilesAndStampCommitTogether) {
  Side src = CreateSource();
  CopySource();
  WriteLevels(src);
  ASSERT_EQ(src.patcher->CreatePatchFile(), 0);
  {
    Side dst = Open(Dst());
    dst->BeginUpdate();
    ASSERT_EQ(Apply(dst), 0);
  }  // freed inside the bracket
  {
    Side dst = Open(Dst());
    EXPECT_EQ(Level(*dst), 1u);
    EXPECT_EQ(dst->GetFileBlockIndex("dir/a.txt"), -1);
    dst->BeginUpdate();
    ASSERT_EQ(Apply(dst), 0);
    ASSERT_EQ(dst->EndUpdate(), 0);
  }
  Side dst = Open(Dst());
  EXPECT_EQ(Level(*dst), 6u);
  ExpectSameFiles(*src, *dst);
}

TEST_F(PatchTest, ApplyCallsBackForEveryRecordAndStampsEachLevel) {
  Side src = CreateSource();
  CopySource();
  WriteLevels(src);
  ASSERT_EQ(src.patcher->CreatePatchFile(), 0);
  Side dst = Open(Dst());
  static std::vector<std::pair<int, unsigned>> seen;
  static IOrvelPacket* watched;
  seen.clear();
  watched = dst.packet.get();
  SetVrkCallback(VRKCB_APPLY_PATCH, [](IOrvelPacket* p, int total, int current) {
    EXPECT_EQ(p, watched);
    EXPECT_EQ(total, 4);
    seen.emplace_back(current, Level(*p));
    return 0;
  });
  ASSERT_EQ(Apply(dst), 0);
  // Level 3 is stamped once the first record of level 5 comes.
  EXPECT_EQ(seen, (std::vector<std::pair<int, unsigned>>{{0, 1}, {1, 1}, {2, 1}, {3, 3}}));
  EXPECT_EQ(Level(*dst), 6u);
  ExpectSameFiles(*src, *dst);
}

TEST_F(PatchTest, NothingAboveTheArchiveLevelRaisesTheStampAndSaysSo) {
  Side src = CreateSource();
  CopySource();
  Write(src, 3, {{"x.txt", Text(10, 1)}});
  src->SetPacketVersion(0, 6);
  ASSERT_EQ(src.patcher->CreatePatchFile(), 0);
  Side dst = Open(Dst());
  Write(dst, 3, {{"x.txt", Text(10, 1)}});
  dst->SetPacketVersion(0, 4);
  dst->BeginUpdate();  // a bracket of the host's own stays open
  static int calls;
  calls = 0;
  SetVrkCallback(VRKCB_APPLY_PATCH, [](IOrvelPacket*, int, int) { return ++calls; });
  EXPECT_EQ(Apply(dst), VRKERR_NOT_UPDATING);
  EXPECT_EQ(calls, 1);  // skipped records are reported too
  EXPECT_EQ(Level(*dst), 6u);
  EXPECT_EQ(dst->EndUpdate(), 0);
}

TEST_F(PatchTest, CreateWithNothingNewWritesNothingAndKeepsOldFiles) {
  Side src = CreateSource();
  WriteFileBytes(Src(".vrx"), "old patch");
  WriteFileBytes(Block(7), "old block");
  ASSERT_EQ(src.patcher->CreatePatchFile(), 0);
  EXPECT_EQ(ReadFileBytes(Src(".vrx")), "old patch");
  EXPECT_EQ(ReadFileBytes(Block(7)), "old block");

  Write(src, 2, {{"n.txt", "new"}}, 0);
  ASSERT_EQ(src.patcher->CreatePatchFile(), 0);
  EXPECT_FALSE(fs::exists(Block(7)));  // a new build starts its block files afresh
  EXPECT_EQ(fs::file_size(Block(2)), 3u + 4u);
}

TEST_F(PatchTest, ExtendAddsChangedFilesAndKeepsOldRecords) {
  Side src = CreateSource();
  CopySource();
  src->SetPacketVersion(0, 2);
  Write(src, 2, {{"one.txt", Text(400, 1)}, {"two.txt", Text(500, 2)}});
  EXPECT_EQ(src.patcher->ExtendPatchFile(), VRKERR_OPEN_FILE);  // no patch yet
  ASSERT_EQ(src.patcher->CreatePatchFile(), 0);
  const std::string first = ReadFileBytes(Src(".vrx"));
  EXPECT_EQ(src.patcher->ExtendPatchFile(), 0);  // nothing new: unchanged
  EXPECT_EQ(ReadFileBytes(Src(".vrx")), first);

  src->SetPacketVersion(0, 4);
  Write(src, 4, {{"two.txt", Text(900, 3)}, {"three.txt", "3"}});
  ASSERT_EQ(src.patcher->ExtendPatchFile(), 0);
  const std::string extended = ReadFileBytes(Src(".vrx"));
  ASSERT_EQ(extended.size(), 28u + 4 * 36u);
  EXPECT_EQ(extended.compare(24, 72, first, 24, 72), 0);  // old records in place
  EXPECT_EQ(Word(extended, 4), 4u);                        // the header's new level

  Side dst = Open(Dst());
  ASSERT_EQ(Apply(dst), 0);
  for (const char* name : {"one.txt", "two.txt", "three.txt"})
    EXPECT_EQ(ReadAll(*dst, name), ReadAll(*src, name)) << name;
  EXPECT_EQ(Level(*dst), 4u);
}

// A file removed by hashes leaves its name in the name list; the names after
// it still belong to files, which the patch must carry.
TEST_F(PatchTest, NamesBeyondTheFileCountAreCollected) {
  Side src = CreateSource();
  CopySource();
  src->SetPacketVersion(0, 2);
  Write(src, 2, {{"gone.txt", "x"}, {"last.txt", Text(50, 9)}});
  unsigned hash[3];
  src->GetFileHash("gone.txt", &hash[0], &hash[1], &hash[2]);
  src->BeginUpdate();
  ASSERT_EQ(src->DeleteFileByHash(hash), 0);
  ASSERT_EQ(src->EndUpdate(), 0);
  ASSERT_EQ(src.builder->CollectPatchBlocks(), 1u);
  EXPECT_STREQ(src.builder->SelectPatchBlock(0), "last.txt");
  ASSERT_EQ(src.patcher->CreatePatchFile(), 0);
  Side dst = Open(Dst());
  ASSERT_EQ(Apply(dst), 0);
  EXPECT_EQ(ReadAll(*dst, "last.txt"), Text(50, 9));
}

TEST_F(PatchTest, FailedBuildNeverReportsSuccessNorWritesThePatchFile) {
  Side src = CreateSource();
  Write(src, 3, {{"a.txt", "a"}});
  fs::create_directories(Block(3));  // the block file cannot be created
  EXPECT_LT(src.patcher->CreatePatchFile(), 0);
  EXPECT_LT(g_nVrkErrCode, 0);
  EXPECT_FALSE(fs::exists(Src(".vrx")));
}

TEST_F(PatchTest, PathsBeyondTheLimitsAreRefusedBeforeAnythingChanges) {
  // An archive path of 255 bytes makes block paths of 263.
  const std::string dir = tmp_.path() + "/" + std::string(239 - tmp_.path().size(), 'd');
  fs::create_directories(dir);
  const std::string archive = dir + "/" + std::string(10, 'n') + ".vrk";
  ASSERT_EQ(archive.size(), 255u);
  Side src(g_piVrkSystem->NewPacket(archive.c_str(), 8, 32, 16, 0, 1));
  ASSERT_NE(src.packet, nullptr);
  Write(src, 2, {{"a.txt", "a"}});
  const std::string base = archive.substr(0, archive.size() - 4);
  const std::string oldBlock = base + "_00000002.pb";  // 263 bytes: too long for the library
  WriteFileBytes(oldBlock, "keep");
  EXPECT_EQ(src.patcher->CreatePatchFile(), VRKERR_NULL_PATH);
  EXPECT_EQ(src.patcher->ExtendPatchFile(), VRKERR_NULL_PATH);
  std::string patch = base + ".vrx";
  EXPECT_EQ(src.patcher->ProceedPatch(&patch[0]), VRKERR_NULL_PATH);
  std::string pattern = base + "_????????.pb";
  src.patcher->DeletePatchBlockFile(&pattern[0]);
  EXPECT_EQ(ReadFileBytes(oldBlock), "keep");
  EXPECT_FALSE(fs::exists(patch));
}

TEST_F(PatchTest, DeletePatchBlockFileRemovesEveryMatchOnly) {
  for (const char* name : {"data_00000001.pb", "data_0000000a.pb", "data_1.pb", "data_00000001.pbx",
                           "Data_00000002.pb"})
    WriteFileBytes(tmp_ / name, "x");
  fs::create_directories(tmp_ / "data_0000000b.pb");  // not a file: left, and no stop
  CVrkPatcher patcher(nullptr, nullptr);
  std::string pattern = tmp_ / "data_????????.pb";
  patcher.DeletePatchBlockFile(&pattern[0]);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(tmp_.path())) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Data_00000002.pb", "data_00000001.pbx",
                                            "data_0000000b.pb", "data_1.pb"}));
}

}  // namespace
}  // namespace orvel_test
