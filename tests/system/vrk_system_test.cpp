#include "system/VrkSystem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OrvelPacket.h"
#include "common/TempDir.h"
#include "frame/AssertReport.h"
#include "frame/Callbacks.h"
#include "frame/DiskFile.h"

using orvel_test::TempDir;
using orvel_test::WriteFileBytes;

static orvel::CVrkSystem* Entry() { return static_cast<orvel::CVrkSystem*>(g_piVrkSystem); }

// The first 32 bytes of an archive: signature, version at 4, flags at 20.
static std::string Header(const char* magic, unsigned version, unsigned flags) {
  std::string h = std::string(magic, 4) + std::string(28, '\0');
  for (int i = 0; i < 4; ++i) {
    h[4 + i] = static_cast<char>(version >> (8 * i));
    h[20 + i] = static_cast<char>(flags >> (8 * i));
  }
  return h;
}

TEST(HeaderProbe, ReportsEachFailureWithItsCodeAndHandsBackFieldsUnchecked) {
  TempDir tmp;
  const struct { const char* name; std::string bytes; int code; } failures[] = {
      {"missing", "", VRKERR_OPEN_FILE},  // empty: no file
      {"bad", Header("VRK\x1b", 32, 0), VRKERR_BAD_SIGNATURE},
      {"short", Header("VRK\x1a", 32, 0).substr(0, 23), VRKERR_SIGNATURE_IO},
      {"tiny", "VR", VRKERR_SIGNATURE_IO}};
  int version = 0, flags = 0;
  for (const auto& c : failures) {
    if (!c.bytes.empty()) WriteFileBytes(tmp / c.name, c.bytes);
    EXPECT_EQ(Entry()->ReadPacketHeader((tmp / c.name).c_str(), &version, &flags), 0);
    EXPECT_EQ(g_nVrkErrCode, c.code) << c.name;
    EXPECT_EQ(Entry()->ReadPacketHeader((tmp / c.name).c_str(), nullptr, nullptr), 0);
  }
  // Success leaves the code alone; version and flags are not checked.
  WriteFileBytes(tmp / "v33", Header("VRK\x1a", 33, 0xB));
  g_nVrkErrCode = -29;
  EXPECT_EQ(Entry()->ReadPacketHeader((tmp / "v33").c_str(), &version, &flags), 1);
  EXPECT_EQ(std::vector<int>({version, flags, g_nVrkErrCode}), std::vector<int>({33, 0xB, -29}));

  // A reader that shares only reading makes the read-write open fail: the
  // probe falls back to reading.
  WriteFileBytes(tmp / "held", Header("VRK\x1a", 32, 8));
  orvel::FileHandle reader = orvel::OpenDiskFile((tmp / "held").c_str(), orvel::kModeReadShared);
  ASSERT_NE(reader, orvel::kInvalidFile);
  EXPECT_EQ(Entry()->ReadPacketHeader((tmp / "held").c_str(), nullptr, &flags), 1);
  EXPECT_EQ(flags, 8);
  orvel::CloseDiskFile(reader);
}

TEST(Factory, RefusesOtherVersionsQuietlyAndReportsProbeFailures) {
  // The entry object exists before the first call.
  ASSERT_NE(g_piVrkSystem, nullptr);
  g_nVrkErrCode = -17;
  EXPECT_EQ(g_piVrkSystem->GetErrCode(), -17);
  TempDir tmp;
  const std::string a = tmp / "a.vrk", v33 = tmp / "v33";
  g_nVrkErrCode = -3;
  WriteFileBytes(v33, Header("VRK\x1a", 33, 0));
  EXPECT_TRUE(!g_piVrkSystem->NewPacket(a.c_str(), 0, 31, 16, 0, 0) &&
              !g_piVrkSystem->NewPacket(a.c_str(), 8, 33, 16, 0, 0) &&
              !g_piVrkSystem->LoadPacket(v33.c_str()) && !g_piVrkSystem->LoadPacket(nullptr));
  EXPECT_EQ(orvel::DiskFileExists(a.c_str()), 0);
  EXPECT_EQ(g_nVrkErrCode, -3);

  WriteFileBytes(tmp / "bad", "NOPE and more bytes than twenty-four");
  for (const char* name : {"none", "bad"}) {
    EXPECT_EQ(g_piVrkSystem->LoadPacket((tmp / name).c_str()), nullptr);
    EXPECT_EQ(g_nVrkErrCode, name[0] == 'n' ? VRKERR_OPEN_FILE : VRKERR_BAD_SIGNATURE);
  }

  // Null objects are ignored.
  g_piVrkSystem->FreePacket(nullptr), g_piVrkSystem->FreePatchBuilder(nullptr);
  EXPECT_EQ(g_piVrkSystem->NewPatchBuilder(nullptr), nullptr);
}

static int g_calls = 0;
static int CountCall(IOrvelPacket*, int, int) { return ++g_calls; }

TEST(Callbacks, OnlyKindsOneToNineAreStoredAndOneToThreeNeverRun) {
  orvel::ResetCallbacks();
  g_calls = 0;
  SetVrkCallback(0, CountCall), SetVrkCallback(10, CountCall);
  for (unsigned kind = 0; kind <= 10; ++kind) orvel::FireCallback(kind, nullptr, 1, 0);
  EXPECT_EQ(g_calls, 0);
  for (unsigned long kind = 1; kind <= 9; ++kind) SetVrkCallback(kind, CountCall);
  for (unsigned kind = 1; kind <= 9; ++kind) orvel::FireCallback(kind, nullptr, 1, 0);
  EXPECT_EQ(g_calls, 6);  // kinds 4 to 9
  SetVrkCallback(4, nullptr), orvel::FireCallback(4, nullptr, 1, 0);
  EXPECT_EQ(g_calls, 6);
  orvel::ResetCallbacks();
}

static std::vector<std::string> g_reports;
static void Collect(const char* message) { g_reports.emplace_back(message); }

TEST(CheckSum, ExportedCrcAndItsAssertions) {
  char digits[] = "123456789";
  EXPECT_EQ(CalcVrkCheckSum(digits, 9), 0xCBF43926ul);
  g_reports.clear();
  orvel::SetAssertHook(Collect);
  EXPECT_EQ(CalcVrkCheckSum(digits, 0), 0ul);
  EXPECT_EQ(CalcVrkCheckSum(nullptr, 9), 0ul);
  orvel::SetAssertHook(nullptr);
  EXPECT_EQ(g_reports, (std::vector<std::string>{
                           "Assert Fail, size>0, File .\\VrkSystem.cpp (Line 75)",
                           "Assert Fail, nBuffer>0, File .\\checksum_crc.cpp (Line 102)",
                           "Assert Fail, buffer, File .\\VrkSystem.cpp (Line 74)",
                           "Assert Fail, pBuffer, File .\\checksum_crc.cpp (Line 101)"}));
}
