// The library touches only what it made: files beside an archive that carry
// the names its temporary and aside files have (or had in earlier builds)
// belong to the user unless a journal names them and recognises them.
#include <gtest/gtest.h>
#include <filesystem>
#include <map>
#include <string>

#include "OrvelPacket.h"
#include "common/PacketTestUtil.h"
#include "common/StoppedRuns.h"
#include "common/TempDir.h"

using namespace orvel_test;
namespace fs = std::filesystem;

namespace {

// Every file of the directory with its bytes.
std::map<std::string, std::string> Files(const std::string& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(dir))
    out[e.path().filename().string()] = ReadFileBytes(e.path().string());
  return out;
}

// An archive with three files, then one deleted so that compaction has work.
void Make(const std::string& path, int flags) {
  IOrvelPacket* p = g_piVrkSystem->NewPacket(path.c_str(), flags, 32, 16, 0, 1);
  ASSERT_NE(p, nullptr);
  p->BeginUpdate();
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Add(*p, "f" + std::to_string(i), std::string(500 + i, 'a' + i)), 0);
  ASSERT_EQ(p->DeleteFile("f1"), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  g_piVrkSystem->FreePacket(p);
}

struct Variant {
  int flags;
  const char* name;
};
const Variant kVariants[] = {{0, "b.pak"}, {8, "a.vrk"}};

TEST(FilesBeside, OpensReadsAndUpdatesLeaveTheUsersFilesAlone) {
  for (const Variant& v : kVariants) {
    TempDir dir;
    const std::string path = dir / v.name;
    Make(path, v.flags);
    WriteFileBytes(path + "old", "my old notes");
    WriteFileBytes(path + "temp", "my scratch file");
    IOrvelPacket* p = g_piVrkSystem->LoadPacket(path.c_str());
    ASSERT_NE(p, nullptr) << v.name;
    EXPECT_EQ(ReadAll(*p, "f2"), std::string(502, 'c'));
    p->BeginUpdate();
    EXPECT_EQ(Add(*p, "g", "more"), 0);
    EXPECT_EQ(p->EndUpdate(), 0);
    // The temporary name is taken: compaction is refused, nothing is lost.
    const auto before = Files(dir.path());
    EXPECT_EQ(p->CompactPacket(), VRKERR_CREATE_FILE) << v.name;
    EXPECT_EQ(VrkLastSystemError(), EEXIST);
    EXPECT_EQ(Files(dir.path()), before) << v.name;
    EXPECT_EQ(ReadAll(*p, "g"), "more");
    g_piVrkSystem->FreePacket(p);
    EXPECT_EQ(ReadFileBytes(path + "old"), "my old notes") << v.name;
    EXPECT_EQ(ReadFileBytes(path + "temp"), "my scratch file") << v.name;

    // Once the name is free, compaction makes its temporary file and
    // removes it again.
    fs::remove(path + "temp");
    p = g_piVrkSystem->LoadPacket(path.c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->CompactPacket(), 0) << v.name;
    g_piVrkSystem->FreePacket(p);
    EXPECT_FALSE(fs::exists(path + "temp"));
    EXPECT_EQ(ReadFileBytes(path + "old"), "my old notes") << v.name;
  }
}

// Directories under those names do not stop updates either (the journal
// once required every name it listed to be a file).
TEST(FilesBeside, DirectoriesUnderTheTemporaryNamesDoNotStopUpdates) {
  for (const Variant& v : kVariants) {
    TempDir dir;
    const std::string path = dir / v.name;
    Make(path, v.flags);
    fs::create_directory(path + "old");
    fs::create_directory(path + "temp");
    IOrvelPacket* p = g_piVrkSystem->LoadPacket(path.c_str());
    ASSERT_NE(p, nullptr) << v.name;
    p->BeginUpdate();
    EXPECT_EQ(Add(*p, "g", "more"), 0);
    EXPECT_EQ(p->EndUpdate(), 0) << v.name;
    EXPECT_EQ(p->CompactPacket(), VRKERR_CREATE_FILE) << v.name;
    g_piVrkSystem->FreePacket(p);
    EXPECT_TRUE(fs::is_directory(path + "old") && fs::is_directory(path + "temp"));
  }
}

// Earlier builds took a lone aside file for an archive whose swap was cut
// short and renamed it into place. Without a journal naming it, it is the
// user's: the open fails as for any missing archive.
TEST(FilesBeside, AMissingArchiveStaysMissingBesideAFileWithTheAsideName) {
  for (const Variant& v : kVariants) {
    TempDir dir;
    const std::string path = dir / v.name;
    Make(path, v.flags);
    fs::rename(path, path + "old");
    fs::remove(path + "-journal");
    const auto before = Files(dir.path());
    EXPECT_EQ(g_piVrkSystem->LoadPacket(path.c_str()), nullptr) << v.name;
    EXPECT_NE(g_nVrkErrCode, 0);
    EXPECT_EQ(Files(dir.path()), before) << v.name;
  }
}

// A compaction stopped after it exchanged the files, whose old archive file
// (now under the temporary name) was changed before the next open: recovery
// cannot tell which file is which, so it changes nothing and the open is
// refused; with the file as it was, the open recovers. After the commit
// record, the changed file is simply not deleted.
TEST(FilesBeside, AJournalWhoseFilesDoNotMatchChangesNothing) {
  for (const Variant& v : kVariants) {
    TempDir dir;
    const std::string base = dir / "base";
    fs::create_directory(base);
    Make(base + "/" + v.name, v.flags);
    const std::string original = ReadFileBytes(base + "/" + v.name);
    int refused = 0;
    for (uint64_t k = 1;; ++k) {
      const std::string d = dir / ("k" + std::to_string(k));
      fs::copy(base, d);
      const std::string path = d + "/" + v.name;
      const int status = RunStopped(orvel::FaultAction::kCrash, k, [&] {
        IOrvelPacket* p = g_piVrkSystem->LoadPacket(path.c_str());
        if (p) p->CompactPacket();
      });
      ASSERT_NE(status, -1);
      if (status != orvel::kFaultExitCode) break;  // ran to the end
      const bool exchanged = fs::exists(path + "-journal") && fs::exists(path + "temp") &&
                             ReadFileBytes(path + "temp") == original;
      if (!exchanged) continue;
      WriteFileBytes(path + "temp", original + "!");
      const auto before = Files(d);
      IOrvelPacket* p = g_piVrkSystem->LoadPacket(path.c_str());
      if (!p) {
        ++refused;
        EXPECT_EQ(g_nVrkErrCode, VRKERR_NEEDS_RECOVERY) << "point " << k;
        EXPECT_EQ(Files(d), before) << "point " << k;
        WriteFileBytes(path + "temp", original);
        p = g_piVrkSystem->LoadPacket(path.c_str());
        ASSERT_NE(p, nullptr) << "point " << k;
        EXPECT_FALSE(fs::exists(path + "temp"));
      } else {
        EXPECT_EQ(ReadFileBytes(path + "temp"), original + "!") << "point " << k;
      }
      EXPECT_EQ(ReadAll(*p, "f2"), std::string(502, 'c'));
      g_piVrkSystem->FreePacket(p);
    }
    EXPECT_GT(refused, 0) << v.name;
  }
}

}  // namespace
