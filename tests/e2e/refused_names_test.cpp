// Names the archives refuse, the same for both variants: names of 256 bytes
// or more (-11 from every operation that takes a name) and the list file,
// which belongs to the archive (by name in any letter case -11, by its hashes
// -18). A refusal changes nothing on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <utility>

#include "OrvelPacket.h"
#include "common/PacketTestUtil.h"
#include "common/TempDir.h"

using namespace orvel_test;

namespace {

// Every file of the directory with its bytes.
std::map<std::string, std::string> Files(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    files[e.path().string()] = ReadFileBytes(e.path().string());
  return files;
}

TEST(RefusedNames, OverlongNamesAndTheListFileChangeNothingInEitherVariant) {
  const std::string longName(256, 'n'), longest(255, 'n');
  for (int flags : {0, 8}) {
    TempDir dir;
    const std::string path = dir / "p.vrk";
    IOrvelPacket* p = g_piVrkSystem->NewPacket(path.c_str(), flags, 32, 16, 0, 1);
    ASSERT_NE(p, nullptr);
    unsigned list[3];
    p->GetFileHash("(listfile)", &list[0], &list[1], &list[2]);
    p->BeginUpdate();  // an empty update brings the header copies up to date
    ASSERT_EQ(p->EndUpdate(), 0);
    const auto before = Files(dir.path());
    p->BeginUpdate();
    for (const char* name : {longName.c_str(), "(LISTFILE)", "(ListFile)"}) {
      EXPECT_EQ(Add(*p, name, "x", 2, 9, 9), VRKERR_NULL_NAME) << flags << name;
      EXPECT_EQ(p->AddFileFromDisk(name, 2, path.c_str(), 9, 9), VRKERR_NULL_NAME);
      EXPECT_EQ(p->AddCompressedFile(name, 2, "x", 1, 1, 9, 9), VRKERR_NULL_NAME);
      EXPECT_EQ(p->DeleteFile(name), VRKERR_NULL_NAME);
    }
    EXPECT_EQ(p->DeleteFileByHash(list), VRKERR_NULL_HASH);
    EXPECT_EQ(p->AddCompressedFileByHash(list, 2, "x", 1, 1, 9, 9), VRKERR_NULL_HASH);
    ASSERT_EQ(p->EndUpdate(), 0);
    EXPECT_EQ(Files(dir.path()), before) << flags;
    EXPECT_EQ(p->GetFileCount(), 1u);
    // 255 bytes are a name; lookups refuse 256 as well.
    p->BeginUpdate();
    ASSERT_EQ(Add(*p, longest, "ok"), 0);
    ASSERT_EQ(p->EndUpdate(), 0);
    EXPECT_EQ(ReadAll(*p, longest.c_str()), "ok");
    EXPECT_EQ(ReadAll(*p, longName.c_str()), "<-11>");
    char buf[8];
    g_nVrkErrCode = 0;
    EXPECT_EQ(p->ReadFileTo(longName.c_str(), buf, 8, 0xFFFFFFFF), 0);
    EXPECT_EQ(std::exchange(g_nVrkErrCode, 0), VRKERR_NULL_NAME);
    EXPECT_EQ(p->GetFileBlockIndex(longName.c_str()), -1);
    EXPECT_EQ(g_nVrkErrCode, VRKERR_NULL_NAME);
    g_piVrkSystem->FreePacket(p);
  }
}

// A line feed or carriage return would split the name list and leave the
// file unreachable by name: every add by name refuses it before writing,
// also where the name's hashes already hold a file added by hashes.
TEST(RefusedNames, NamesWithLineBreaksAreRefusedByEveryAddInEitherVariant) {
  unsigned table[orvel::kCryptTableWords], taken[3];
  orvel::InitCryptTable(table);
  orvel::HashNameAll("a\nb", table, taken);
  for (int flags : {0, 8}) {
    TempDir dir;
    const std::string path = dir / "p.vrk", source = dir / "source";
    WriteFileBytes(source, "s");
    IOrvelPacket* p = g_piVrkSystem->NewPacket(path.c_str(), flags, 32, 16, 0, 1);
    ASSERT_NE(p, nullptr);
    p->BeginUpdate();
    ASSERT_EQ(p->AddCompressedFileByHash(taken, 0, "h", 1, 1, 0, 0), 0);
    ASSERT_EQ(p->EndUpdate(), 0);
    const auto before = Files(dir.path());
    p->BeginUpdate();
    for (const char* name : {"a\nb", "a\rb", "\na"}) {
      EXPECT_EQ(Add(*p, name, "x", 2, 9, 9), VRKERR_NULL_NAME) << flags << name;
      EXPECT_EQ(Add(*p, name, "x", 1 | 2, 9, 9), VRKERR_NULL_NAME);
      EXPECT_EQ(p->AddFileFromDisk(name, 2, source.c_str(), 9, 9), VRKERR_NULL_NAME);
      EXPECT_EQ(p->AddCompressedFile(name, 2, "x", 1, 1, 9, 9), VRKERR_NULL_NAME);
    }
    ASSERT_EQ(p->EndUpdate(), 0);
    EXPECT_EQ(Files(dir.path()), before) << flags;
    EXPECT_EQ(p->GetFileCount(), 2u);
    g_piVrkSystem->FreePacket(p);
  }
}

}  // namespace
