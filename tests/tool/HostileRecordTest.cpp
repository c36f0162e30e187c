// An archive whose tree record spells a few hundred megabytes of names in a
// megabyte (names sharing 4 KB with the one before): list, extract and verify
// refuse the record within its memory bound, say so, end with status 1, and
// still read the files by their names in the archive.
#include <OrvelPacket.h>

#include <cstdlib>

#include "VrkFixture.h"
#include "record/RawRecord.h"

namespace vrktest {
namespace {

// Without a bound, the record's 100,000 names of 4 KB came to about 2 GB.
constexpr long kMostKiB = 512 * 1024;

class HostileRecordTest : public VrkTest {
 protected:
  void SetUp() override {
    WriteFile(Path("in/docs/readme.txt"), "hello");
    WriteFile(Path("in/data.bin"), RandomBytes(5000, 7));
    ASSERT_EQ(Create({"-C", "in", "."}).status, 0);
    const std::string record = SharedNamesRecord(100000);
    IOrvelPacket* p = g_piVrkSystem->LoadPacket(Path(Archive()).c_str());
    ASSERT_NE(p, nullptr);
    p->BeginUpdate();
    ASSERT_EQ(p->AddFileFromMemory("(attributes)", VRK_ADD_COMPRESS | VRK_ADD_REPLACE,
                                   record.data(), static_cast<unsigned>(record.size()), 0, 0),
              0);
    ASSERT_EQ(p->EndUpdate(), 0);
    g_piVrkSystem->FreePacket(p);
    // Under AddressSanitizer freed blocks would otherwise count as held.
    const char* asan = std::getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", ((asan ? std::string(asan) + ":" : "") + "quarantine_size_mb=8").c_str(),
           1);
  }

  void ExpectRefused(const RunResult& r) const {
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("vrk: " + Archive() + ": the tree record is refused: it would take more "
                         "than "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(" bytes of memory (it is 1"), std::string::npos) << r.err;
    EXPECT_LT(r.peakKiB, kMostKiB);
  }
};

TEST_P(HostileRecordTest, RefusedAndFilesStillRead) {
  const RunResult list = Vrk({"list", Archive()});
  ExpectRefused(list);
  EXPECT_NE(list.out.find("docs/readme.txt\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("data.bin\n"), std::string::npos) << list.out;

  const RunResult extract = Vrk({"extract", Archive(), "-C", "out"});
  ExpectRefused(extract);
  EXPECT_EQ(ReadTree(Path("out")), ReadTree(Path("in")));

  const RunResult verify = Vrk({"verify", Archive()});
  EXPECT_EQ(verify.status, 1);
  EXPECT_NE(verify.err.find("the tree record is refused"), std::string::npos) << verify.err;
  EXPECT_LT(verify.peakKiB, kMostKiB);
}

VRK_BOTH_VARIANTS(HostileRecordTest);

}  // namespace
}  // namespace vrktest
