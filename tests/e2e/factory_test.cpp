// The entry object picks the archive class from the flags and hands back only
// archives that opened or were created.
#include <gtest/gtest.h>

#include "OrvelPacket.h"
#include "advance/AdvancedPacketFactory.h"
#include "common/TempDir.h"
#include "frame/DiskFile.h"

using orvel_test::ReadFileBytes;
using orvel_test::TempDir;
using orvel_test::WriteFileBytes;

TEST(Factory, UnnamedPacketsAreUnopenedObjectsOfTheFlaggedClass) {
  IOrvelPacket* basic = g_piVrkSystem->NewPacket(nullptr, 0, 32, 16, 0, 0);
  IOrvelPacket* advanced = g_piVrkSystem->NewPacket("", 8, 32, 16, 0, 0);
  ASSERT_NE(basic, nullptr);
  ASSERT_NE(advanced, nullptr);
  EXPECT_FALSE(orvel::IsAdvancedPacket(basic));
  EXPECT_TRUE(orvel::IsAdvancedPacket(advanced));
  EXPECT_EQ(basic->GetFileCount(), 0u);
  EXPECT_EQ(advanced->GetPacketFlags(), 0u);
  g_piVrkSystem->FreePacket(basic);
  g_piVrkSystem->FreePacket(advanced);
}

TEST(Factory, CreatesAndLoadsBothVariants) {
  TempDir tmp;
  IOrvelPacket* basic = g_piVrkSystem->NewPacket((tmp / "b.pak").c_str(), 0, 32, 8, 0, 5);
  ASSERT_NE(basic, nullptr) << g_nVrkErrCode;
  EXPECT_EQ(g_nVrkErrCode, 0);
  g_piVrkSystem->FreePacket(basic);
  IOrvelPacket* advanced = g_piVrkSystem->NewPacket((tmp / "a.vrk").c_str(), 8, 32, 8, 0, 5);
  ASSERT_NE(advanced, nullptr) << g_nVrkErrCode;
  g_piVrkSystem->FreePacket(advanced);

  basic = g_piVrkSystem->LoadPacket((tmp / "b.pak").c_str());
  advanced = g_piVrkSystem->LoadPacket((tmp / "a.vrk").c_str());
  ASSERT_NE(basic, nullptr);
  ASSERT_NE(advanced, nullptr);
  EXPECT_FALSE(orvel::IsAdvancedPacket(basic));
  EXPECT_TRUE(orvel::IsAdvancedPacket(advanced));
  EXPECT_EQ(basic->GetFileCount(), 1u);  // "(listfile)"
  EXPECT_EQ(advanced->GetFileCount(), 1u);
  g_piVrkSystem->FreePacket(basic);
  g_piVrkSystem->FreePacket(advanced);
}

TEST(Factory, TheHeaderFlagsAloneChooseTheClass) {
  TempDir tmp;
  IOrvelPacket* advanced = g_piVrkSystem->NewPacket((tmp / "a.vrk").c_str(), 8, 32, 8, 0, 0);
  ASSERT_NE(advanced, nullptr);
  g_piVrkSystem->FreePacket(advanced);
  // The same bytes under another extension: still an advanced archive, whose
  // opening insists on ".vrk".
  WriteFileBytes(tmp / "a.dat", ReadFileBytes(tmp / "a.vrk"));
  EXPECT_EQ(g_piVrkSystem->LoadPacket((tmp / "a.dat").c_str()), nullptr);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BAD_EXTENSION);

  EXPECT_EQ(g_piVrkSystem->NewPacket((tmp / "b.dat").c_str(), 8, 32, 8, 0, 0), nullptr);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BAD_EXTENSION);

  // A basic archive opens whatever its extension.
  IOrvelPacket* basic = g_piVrkSystem->NewPacket((tmp / "c.vrk").c_str(), 0, 32, 8, 0, 0);
  ASSERT_NE(basic, nullptr);
  g_piVrkSystem->FreePacket(basic);
  basic = g_piVrkSystem->LoadPacket((tmp / "c.vrk").c_str());
  ASSERT_NE(basic, nullptr);
  EXPECT_FALSE(orvel::IsAdvancedPacket(basic));
  g_piVrkSystem->FreePacket(basic);
}

TEST(Factory, PatchBuildersAreOnlyForAdvancedArchives) {
  IOrvelPacket* basic = g_piVrkSystem->NewPacket(nullptr, 0, 32, 16, 0, 0);
  ASSERT_NE(basic, nullptr);
  g_nVrkErrCode = -7;
  EXPECT_EQ(g_piVrkSystem->NewPatchBuilder(basic), nullptr);
  EXPECT_EQ(g_nVrkErrCode, -7);
  g_piVrkSystem->FreePacket(basic);
}
