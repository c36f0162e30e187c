// The entry object picks the archive class from the flags and hands back only
// archives that opened or were created.
#include <gtest/gtest.h>

#include <string>

#include "OrvelPacket.h"
#include "advance/AdvancedPacketFactory.h"
#include "common/TempDir.h"

using orvel_test::ReadFileBytes;
using orvel_test::TempDir;
using orvel_test::WriteFileBytes;

TEST(Factory, UnnamedPacketsAreUnopenedObjectsOfTheFlaggedClass) {
  IOrvelPacket* basic = g_piVrkSystem->NewPacket(nullptr, 0, 32, 16, 0, 0);
  IOrvelPacket* advanced = g_piVrkSystem->NewPacket("", 8, 32, 16, 0, 0);
  ASSERT_TRUE(basic && advanced);
  EXPECT_TRUE(!orvel::IsAdvancedPacket(basic) && orvel::IsAdvancedPacket(advanced));
  EXPECT_EQ(basic->GetFileCount() + advanced->GetPacketFlags(), 0u);
  // Patch builders are only for advanced archives.
  g_nVrkErrCode = -7;
  EXPECT_EQ(g_piVrkSystem->NewPatchBuilder(basic), nullptr);
  EXPECT_EQ(g_nVrkErrCode, -7);
  g_piVrkSystem->FreePacket(basic);
  g_piVrkSystem->FreePacket(advanced);
}

// Both variants are created and load again as their own class, which the
// header flags alone choose: a basic archive opens whatever its extension,
// an advanced one (created or opened) insists on ".vrk".
TEST(Factory, CreatesAndLoadsBothVariantsByTheirHeaderFlags) {
  TempDir tmp;
  for (int flags : {0, 8}) {
    const std::string path = tmp / (flags ? "a.vrk" : "b.vrk");
    IOrvelPacket* a = g_piVrkSystem->NewPacket(path.c_str(), flags, 32, 8, 0, 5);
    ASSERT_NE(a, nullptr) << g_nVrkErrCode;
    EXPECT_EQ(g_nVrkErrCode, 0);
    g_piVrkSystem->FreePacket(a);
    a = g_piVrkSystem->LoadPacket(path.c_str());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(orvel::IsAdvancedPacket(a), flags != 0);
    EXPECT_EQ(a->GetFileCount(), 1u);  // "(listfile)"
    g_piVrkSystem->FreePacket(a);
  }
  WriteFileBytes(tmp / "a.dat", ReadFileBytes(tmp / "a.vrk"));
  EXPECT_EQ(g_piVrkSystem->LoadPacket((tmp / "a.dat").c_str()), nullptr);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BAD_EXTENSION);
  EXPECT_EQ(g_piVrkSystem->NewPacket((tmp / "b.dat").c_str(), 8, 32, 8, 0, 0), nullptr);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BAD_EXTENSION);
}
