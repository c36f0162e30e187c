// Shared setup of the advanced archive tests: a scratch directory, archive
// objects made and freed through the allocation rule, raw access to the
// three files, and a recorder for progress callbacks.
#ifndef ORVEL_TESTS_ADVANCE_ADVANCE_FIXTURE_H
#define ORVEL_TESTS_ADVANCE_ADVANCE_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "advance/AdvanceValidate.h"
#include "advance/VrkAdvance.h"
#include "codec/checksum_crc.h"
#include "common/PacketTestUtil.h"
#include "common/TempDir.h"
#include "frame/Callbacks.h"

namespace orvel_test {

using Packet = std::unique_ptr<orvel::CVrkAdvance>;
using Calls = std::vector<std::pair<int, int>>;
constexpr unsigned kNone = 0xFFFFFFFFu;  // a free hash slot; no block index (look up by name)

inline Calls g_calls;
inline int Record(IOrvelPacket*, int total, int current) {
  g_calls.emplace_back(total, current);
  return -1;  // ignored
}

// Names read at open (the former behaviour) or at first use, for the scope.
class NameListMode {
 public:
  explicit NameListMode(bool deferred) { orvel::SetDeferredNameListEnabled(deferred); }
  ~NameListMode() { orvel::SetDeferredNameListEnabled(true); }
  NameListMode(const NameListMode&) = delete;
  NameListMode& operator=(const NameListMode&) = delete;
};

class AdvanceTest : public ::testing::Test {
 protected:
  void TearDown() override { orvel::ResetCallbacks(); }

  std::string Path(const char* ext = ".vrk") const { return tmp_ / (std::string("pack") + ext); }
  std::string Bytes(const char* ext) const { return ReadFileBytes(Path(ext)); }

  Packet Create(unsigned flags = 8, unsigned tableSize = 16, unsigned vh = 0, unsigned vl = 1) {
    Packet p(new orvel::CVrkAdvance());
    EXPECT_EQ(p->CreatePacket(Path().c_str(), flags, tableSize, vh, vl), 1) << g_nVrkErrCode;
    return p;
  }
  // Creates the archive with files "<prefix><i>" holding their own names.
  Packet Build(unsigned tableSize, const char* prefix, int n, unsigned flags = 8) {
    Packet p = Create(flags, tableSize);
    p->BeginUpdate();
    for (int i = 0; i < n; ++i) {
      const std::string name = prefix + std::to_string(i);
      AddText(p.get(), name, name);
    }
    EXPECT_EQ(p->EndUpdate(), 0);
    return p;
  }

  Packet Open() {
    Packet p(new orvel::CVrkAdvance());
    EXPECT_EQ(p->OpenPacket(Path().c_str()), 1) << g_nVrkErrCode;
    return p;
  }
  // Opens and returns the error code (0 when it opened).
  int OpenCode() {
    Packet p(new orvel::CVrkAdvance());
    return p->OpenPacket(Path().c_str()) ? 0 : g_nVrkErrCode;
  }
  // Opens and takes a name: the open's code when it fails, else the code
  // of the first name use (0 for a name or an empty list). A damaged name
  // list fails the one or the other, as names are read at open or later.
  int OpenAndNameCode() {
    Packet p(new orvel::CVrkAdvance());
    if (!p->OpenPacket(Path().c_str())) return g_nVrkErrCode;
    char name[16];
    const int rc = p->GetFileName(0, name, sizeof name);
    return rc == VRKERR_NULL_NAME ? 0 : rc;
  }

  static void AddText(orvel::CVrkAdvance* p, const std::string& name, const std::string& data,
                      unsigned flags = 0, unsigned vl = 0) {
    ASSERT_EQ(Add(*p, name, data, flags, 0, vl), 0);
  }
  // Adds stored bytes under three hashes alone, as a patch does.
  static int AddHashed(orvel::CVrkAdvance* p, const unsigned (&hash)[3], const std::string& data,
                       unsigned flags = 0, unsigned vl = 0) {
    const unsigned n = static_cast<unsigned>(data.size());
    return p->AddCompressedFileByHash(hash, flags, data.data(), n, n, 0, vl);
  }
  // The tables in memory pass the structural checks an opening applies.
  void ExpectConsistent(orvel::CVrkAdvance* p) const {
    unsigned list[3];
    p->GetFileHash("(listfile)", &list[0], &list[1], &list[2]);
    EXPECT_TRUE(orvel::AreValidAdvanceTables(*p->Header(), p->BlockTable(), p->HashTable(),
                                             p->ArchiveEnd(), list));
  }
  // Records the callbacks of `kind` alone, from now on.
  static void Watch(unsigned kind) {
    orvel::ResetCallbacks();
    g_calls.clear();
    SetVrkCallback(kind, Record);
  }

  TempDir tmp_;
};

}  // namespace orvel_test

#endif
