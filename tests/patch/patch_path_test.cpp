// Patch and block file names, and the limits of their parts.
#include <gtest/gtest.h>

#include <string>

#include "patch/PatchPath.h"

namespace {

using namespace orvel;

std::string BlockOf(const char* archive, unsigned level) {
  PatchPath base;
  char out[kMaxJoinedPath + 1];
  if (!SplitPatchPath(archive, &base) || !BlockFilePath(base, level, out)) return "<refused>";
  return out;
}

TEST(PatchPath, BlockFilesAreNamedByLevelBesideTheBase) {
  EXPECT_EQ(BlockOf("data/main.vrk", 26), "data/main_0000001a.pb");
  EXPECT_EQ(BlockOf("data\\main.vrk", 0xFFFFFFFFu), "data\\main_ffffffff.pb");
  EXPECT_EQ(BlockOf("a.b/main", 1), "a.b/main_00000001.pb");
  EXPECT_EQ(BlockOf("x.y.vrx", 2), "x.y_00000002.pb");  // only the last extension goes
  // A URL's query goes with its block files; only a URL has one.
  EXPECT_EQ(BlockOf("http://h/p/main.vrx?t=a/b.c", 3), "http://h/p/main_00000003.pb?t=a/b.c");
  EXPECT_EQ(BlockOf("HTTPS://h/main.vrx?", 3), "HTTPS://h/main_00000003.pb?");
  EXPECT_EQ(BlockOf("d/what?.vrx", 3), "d/what?_00000003.pb");
  PatchPath base;
  char out[kMaxJoinedPath + 1];
  ASSERT_TRUE(SplitPatchPath("/tmp/d/main.vrk", &base));
  ASSERT_TRUE(BlockFilePattern(base, out));
  EXPECT_STREQ(out, "/tmp/d/main_????????.pb");
}

TEST(PatchPath, PartsAndJoinedPathsBeyondTheLimitsAreRefused) {
  const std::string dir(250, 'd');
  EXPECT_TRUE(FitsPathLimits((dir + "/" + std::string(8, 'n')).c_str()));  // 259 bytes
  EXPECT_FALSE(FitsPathLimits((dir + "/" + std::string(9, 'n')).c_str()));  // 260
  EXPECT_FALSE(FitsPathLimits((std::string(256, 'n')).c_str()));  // one part of 256
  // The block name is 12 bytes longer than the base name without extension.
  const std::string archive = dir + "/" + std::string(4, 'n') + ".vrk";  // 259
  EXPECT_TRUE(FitsPathLimits(archive.c_str()));
  EXPECT_EQ(BlockOf(archive.c_str(), 1), "<refused>");
  EXPECT_EQ(BlockOf((std::string(247, 'n') + ".vrk").c_str(), 1), "<refused>");  // name part 256
  EXPECT_NE(BlockOf((std::string(246, 'n') + ".vrk").c_str(), 1), "<refused>");
}

}  // namespace
