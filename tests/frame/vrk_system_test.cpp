#include "frame/VrkSystem.h"

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

namespace {

orvel::CVrkSystem* Entry() { return static_cast<orvel::CVrkSystem*>(g_piVrkSystem); }

std::string Header(const char* magic, unsigned version, unsigned flags) {
  std::string h(32, '\0');
  h.replace(0, 4, magic, 4);
  for (int i = 0; i < 4; ++i) {
    h[4 + i] = static_cast<char>(version >> (8 * i));
    h[20 + i] = static_cast<char>(flags >> (8 * i));
  }
  return h;
}

std::vector<std::string> g_reports;
void Collect(const char* message) { g_reports.emplace_back(message); }

}  // namespace

TEST(EntryObject, IsThereBeforeTheFirstCall) {
  ASSERT_NE(g_piVrkSystem, nullptr);
  g_nVrkErrCode = -17;
  EXPECT_EQ(g_piVrkSystem->GetErrCode(), -17);
  g_nVrkErrCode = 0;
  EXPECT_EQ(g_piVrkSystem->GetErrCode(), 0);
}

TEST(HeaderProbe, ReportsEachFailureWithItsCode) {
  TempDir tmp;
  int version = 0, flags = 0;
  EXPECT_EQ(Entry()->ReadPacketHeader((tmp / "missing").c_str(), &version, &flags), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_OPEN_FILE);

  WriteFileBytes(tmp / "bad", Header("VRK\x1b", 32, 0));
  EXPECT_EQ(Entry()->ReadPacketHeader((tmp / "bad").c_str(), &version, &flags), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BAD_SIGNATURE);

  WriteFileBytes(tmp / "short", Header("VRK\x1a", 32, 0).substr(0, 23));
  EXPECT_EQ(Entry()->ReadPacketHeader((tmp / "short").c_str(), &version, &flags), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_SIGNATURE_IO);

  WriteFileBytes(tmp / "tiny", "VR");
  EXPECT_EQ(Entry()->ReadPacketHeader((tmp / "tiny").c_str(), nullptr, nullptr), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_SIGNATURE_IO);
}

TEST(HeaderProbe, HandsBackVersionAndFlagsUncheckedAndKeepsTheCode) {
  TempDir tmp;
  WriteFileBytes(tmp / "v33", Header("VRK\x1a", 33, 0x0000000Bu));
  g_nVrkErrCode = -29;
  int version = 0, flags = 0;
  EXPECT_EQ(Entry()->ReadPacketHeader((tmp / "v33").c_str(), &version, &flags), 1);
  EXPECT_EQ(version, 33);
  EXPECT_EQ(flags, 0xB);
  EXPECT_EQ(g_nVrkErrCode, -29);
  EXPECT_EQ(Entry()->ReadPacketHeader((tmp / "v33").c_str(), nullptr, nullptr), 1);
}

TEST(HeaderProbe, FallsBackToReadingWhenWritersAreRefused) {
  TempDir tmp;
  WriteFileBytes(tmp / "held", Header("VRK\x1a", 32, 8));
  // A reader that shares only reading makes the read-write open fail.
  orvel::FileHandle reader = orvel::OpenDiskFile((tmp / "held").c_str(), orvel::kModeReadShared);
  ASSERT_NE(reader, orvel::kInvalidFile);
  int flags = 0;
  EXPECT_EQ(Entry()->ReadPacketHeader((tmp / "held").c_str(), nullptr, &flags), 1);
  EXPECT_EQ(flags, 8);
  orvel::CloseDiskFile(reader);
}

TEST(Factory, RefusesOtherFormatVersionsWithoutTouchingTheCode) {
  TempDir tmp;
  g_nVrkErrCode = -3;
  EXPECT_EQ(g_piVrkSystem->NewPacket((tmp / "a.vrk").c_str(), 0, 31, 16, 0, 0), nullptr);
  EXPECT_EQ(g_piVrkSystem->NewPacket((tmp / "a.vrk").c_str(), 8, 33, 16, 0, 0), nullptr);
  EXPECT_EQ(g_nVrkErrCode, -3);
  EXPECT_EQ(orvel::DiskFileExists((tmp / "a.vrk").c_str()), 0);

  WriteFileBytes(tmp / "v33", Header("VRK\x1a", 33, 0));
  EXPECT_EQ(g_piVrkSystem->LoadPacket((tmp / "v33").c_str()), nullptr);
  EXPECT_EQ(g_nVrkErrCode, -3);
  EXPECT_EQ(g_piVrkSystem->LoadPacket(nullptr), nullptr);
  EXPECT_EQ(g_nVrkErrCode, -3);
}

TEST(Factory, LoadReportsTheProbeFailure) {
  TempDir tmp;
  EXPECT_EQ(g_piVrkSystem->LoadPacket((tmp / "none").c_str()), nullptr);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_OPEN_FILE);
  WriteFileBytes(tmp / "bad", "NOPE and more bytes than twenty-four");
  EXPECT_EQ(g_piVrkSystem->LoadPacket((tmp / "bad").c_str()), nullptr);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BAD_SIGNATURE);
}

TEST(Factory, FreeingNullDoesNothing) {
  g_piVrkSystem->FreePacket(nullptr);
  g_piVrkSystem->FreePatchBuilder(nullptr);
  EXPECT_EQ(g_piVrkSystem->NewPatchBuilder(nullptr), nullptr);
}

namespace {
int g_calls = 0;
int CountCall(IOrvelPacket*, int, int) { return ++g_calls; }
}  // namespace

TEST(Callbacks, OnlyKindsOneToNineAreStoredAndOneToThreeNeverRun) {
  orvel::ResetCallbacks();
  g_calls = 0;
  SetVrkCallback(0, CountCall);
  SetVrkCallback(10, CountCall);
  for (unsigned kind = 0; kind <= 10; ++kind) orvel::FireCallback(kind, nullptr, 1, 0);
  EXPECT_EQ(g_calls, 0);
  for (unsigned long kind = 1; kind <= 9; ++kind) SetVrkCallback(kind, CountCall);
  for (unsigned kind = 1; kind <= 9; ++kind) orvel::FireCallback(kind, nullptr, 1, 0);
  EXPECT_EQ(g_calls, 6);  // kinds 4 to 9
  SetVrkCallback(4, nullptr);
  orvel::FireCallback(4, nullptr, 1, 0);
  EXPECT_EQ(g_calls, 6);
  orvel::ResetCallbacks();
}

TEST(CheckSum, ExportedCrcAndItsAssertions) {
  char digits[] = "123456789";
  EXPECT_EQ(CalcVrkCheckSum(digits, 9), 0xCBF43926ul);
  char zero = 0;
  EXPECT_EQ(CalcVrkCheckSum(&zero, 1), 0xD202EF8Dul);

  g_reports.clear();
  orvel::SetAssertHook(Collect);
  EXPECT_EQ(CalcVrkCheckSum(digits, 0), 0ul);
  EXPECT_EQ(CalcVrkCheckSum(nullptr, 9), 0ul);
  orvel::SetAssertHook(nullptr);
  ASSERT_EQ(g_reports.size(), 4u);
  EXPECT_EQ(g_reports[0], "Assert Fail, size>0, File .\\VrkSystem.cpp (Line 75)");
  EXPECT_EQ(g_reports[1], "Assert Fail, nBuffer>0, File .\\checksum_crc.cpp (Line 102)");
  EXPECT_EQ(g_reports[2], "Assert Fail, buffer, File .\\VrkSystem.cpp (Line 74)");
  EXPECT_EQ(g_reports[3], "Assert Fail, pBuffer, File .\\checksum_crc.cpp (Line 101)");
}
