// An archive whose tree record spells a few hundred megabytes of names in a
// megabyte (names sharing 4 KB with the one before): list, extract and verify
// refuse the record within its memory bound, say so, end with status 1, and
// still read the files by their names in the archive.
#include <OrvelPacket.h>

#include <cstdlib>
#include <filesystem>

#include "VrkFixture.h"
#include "record/RawRecord.h"

namespace vrktest {
namespace {

// Without a bound, the record's 100,000 names of 4 KB came to about 2 GB.
constexpr long kMostKiB = 512 * 1024;

void ExpectRefused(const RunResult& r, const std::string& archive) {
  EXPECT_EQ(r.status, kWarnings) << r.err;
  EXPECT_NE(r.err.find("vrk: " + archive + ": the tree record is refused: it would take more than "),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(" bytes of memory (it is 1"), std::string::npos) << r.err;
  EXPECT_LT(r.peakKiB, kMostKiB);
}

// Stores the hostile record in `archive` at level `level`, as another host
// could, and makes vrk's children measure memory as it is held.
void StoreHostileRecord(const std::string& archive, unsigned level) {
  const std::string record = SharedNamesRecord(100000);
  IOrvelPacket* p = g_piVrkSystem->LoadPacket(archive.c_str());
  ASSERT_NE(p, nullptr);
  p->BeginUpdate();
  ASSERT_EQ(p->AddFileFromMemory("(attributes)", VRK_ADD_COMPRESS | VRK_ADD_REPLACE, record.data(),
                                 static_cast<unsigned>(record.size()), 0, level),
            0);
  ASSERT_EQ(p->EndUpdate(), 0);
  g_piVrkSystem->FreePacket(p);
  // Under AddressSanitizer freed blocks would otherwise count as held.
  const char* asan = std::getenv("ASAN_OPTIONS");
  setenv("ASAN_OPTIONS", ((asan ? std::string(asan) + ":" : "") + "quarantine_size_mb=8").c_str(), 1);
}

class HostileRecordTest : public VrkTest {
 protected:
  void SetUp() override {
    WriteFile(Path("in/docs/readme.txt"), "hello");
    WriteFile(Path("in/data.bin"), RandomBytes(5000, 7));
    ASSERT_EQ(Create({"-C", "in", "."}).status, 0);
    ASSERT_NO_FATAL_FAILURE(StoreHostileRecord(Path(Archive()), 0));
  }
};

TEST_P(HostileRecordTest, RefusedAndFilesStillRead) {
  const RunResult list = Vrk({"list", Archive()});
  ExpectRefused(list, Archive());
  EXPECT_NE(list.out.find("docs/readme.txt\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("data.bin\n"), std::string::npos) << list.out;

  const RunResult extract = Vrk({"extract", Archive(), "-C", "out"});
  ExpectRefused(extract, Archive());
  EXPECT_EQ(ReadTree(Path("out")), ReadTree(Path("in")));

  const RunResult verify = Vrk({"verify", Archive()});
  EXPECT_EQ(verify.status, kWarnings);
  EXPECT_NE(verify.err.find("the tree record is refused"), std::string::npos) << verify.err;
  EXPECT_LT(verify.peakKiB, kMostKiB);
}

VRK_BOTH_VARIANTS(HostileRecordTest);

// A patch carries the record like any file: the copy it brings up to date
// refuses it as the original does.
class HostilePatchTest : public VrkTest {};

TEST_P(HostilePatchTest, CarriedRecordIsRefusedInTheCopy) {
  WriteFile(Path("in/readme.txt"), "hello");
  ASSERT_EQ(Vrk({"create", "--stamp", "0:1", "data.vrk", "-C", "in", "."}).status, 0);
  std::filesystem::create_directories(Path("copy"));
  for (const std::string f : {"data.vrk", "data.bhl", "data.lst"})
    std::filesystem::copy_file(Path(f), Path("copy/" + f));
  ASSERT_EQ(Vrk({"stamp", "data.vrk", "0:2"}).status, 0);
  ASSERT_NO_FATAL_FAILURE(StoreHostileRecord(Path("data.vrk"), 2));
  const RunResult made = Vrk({"patch", "create", "data.vrk"});
  ASSERT_EQ(made.status, 0) << made.err;
  const RunResult applied = Vrk({"patch", "apply", "copy/data.vrk", "data.vrx"});
  ASSERT_EQ(applied.status, 0) << applied.err;
  const RunResult list = Vrk({"list", "copy/data.vrk"});
  ExpectRefused(list, "copy/data.vrk");
  EXPECT_EQ(list.out, "readme.txt\n");
}

INSTANTIATE_TEST_SUITE_P(Advanced, HostilePatchTest, ::testing::Values(kAdvanced), VariantName);

}  // namespace
}  // namespace vrktest
