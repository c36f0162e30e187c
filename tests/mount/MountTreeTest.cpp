// The tree vrk mount builds from archive names.
#include <gtest/gtest.h>

#include <map>

#include "mount/MountTree.h"

namespace vrk {
namespace {

std::string Why(MountTree& tree, const std::string& name) {
  std::string why;
  EXPECT_FALSE(tree.AddFile(name, 1, &why)) << name;
  return why;
}

TEST(MountTreeTest, DirectoriesComeFromBothSeparators) {
  MountTree tree;
  std::string why;
  // A name without '/' is split at '\\' (other hosts' separator); one with
  // '/' there alone, as extract splits names.
  ASSERT_TRUE(tree.AddFile("maps\\town\\house.dat", 7, &why)) << why;
  ASSERT_TRUE(tree.AddFile("maps/back\\slash", 1, &why)) << why;
  ASSERT_TRUE(tree.AddFile("maps/sea.dat", 3, &why)) << why;
  ASSERT_TRUE(tree.AddFile("/top.txt", 0, &why)) << why;       // a leading separator is dropped
  ASSERT_TRUE(tree.AddFile("a//b/./c.txt", 5, &why)) << why;   // so are empty and '.' parts

  const uint32_t house = tree.Find("/maps/town/house.dat");
  ASSERT_NE(house, MountTree::kNone);
  EXPECT_FALSE(tree.At(house).directory);
  EXPECT_EQ(tree.At(house).entry, "maps\\town\\house.dat");
  EXPECT_NE(tree.Find("/maps/back\\slash"), MountTree::kNone);
  EXPECT_EQ(tree.At(house).size, 7u);
  EXPECT_EQ(tree.PathOf(house), "maps/town/house.dat");

  const uint32_t maps = tree.Find("/maps");
  ASSERT_NE(maps, MountTree::kNone);
  EXPECT_TRUE(tree.At(maps).directory);
  EXPECT_EQ(tree.At(maps).subdirectories, 1u);  // town; sea.dat is a file
  ASSERT_EQ(tree.At(maps).children.size(), 3u);
  EXPECT_EQ(tree.At(maps).children.count("sea.dat"), 1u);
  EXPECT_EQ(tree.At(MountTree::kRoot).subdirectories, 2u);  // maps, a
  EXPECT_NE(tree.Find("/a/b/c.txt"), MountTree::kNone);
  EXPECT_NE(tree.Find("/top.txt"), MountTree::kNone);
  EXPECT_EQ(tree.Find("/"), MountTree::kRoot);
  EXPECT_EQ(tree.Find(""), MountTree::kRoot);
}

TEST(MountTreeTest, NamesThatCannotBeShownLeaveTheTreeAsItWas) {
  MountTree tree;
  std::string why;
  ASSERT_TRUE(tree.AddFile("f", 1, &why));
  ASSERT_TRUE(tree.AddFile("d/x", 1, &why));
  ASSERT_TRUE(tree.AddFile("p/q", 1, &why));
  const size_t nodes = tree.Size();

  EXPECT_NE(Why(tree, "../etc/passwd").find(".."), std::string::npos);
  EXPECT_NE(Why(tree, "a/../b").find(".."), std::string::npos);
  Why(tree, "");
  Why(tree, "/./");
  EXPECT_NE(Why(tree, "f/g").find("'f' is a file"), std::string::npos);  // through a file
  EXPECT_NE(Why(tree, "d").find("'d' is a directory"), std::string::npos);
  EXPECT_NE(Why(tree, "p\\q").find("p/q"), std::string::npos);  // the same path again
  EXPECT_EQ(tree.Size(), nodes);
  EXPECT_EQ(tree.Find("/a"), MountTree::kNone);
  EXPECT_EQ(tree.At(tree.Find("/p")).children.size(), 1u);
}

TEST(MountTreeTest, FindStopsAtMissingNamesAndAtFiles) {
  MountTree tree;
  std::string why;
  ASSERT_TRUE(tree.AddFile("dir/file", 1, &why));
  EXPECT_EQ(tree.Find("/nope"), MountTree::kNone);
  EXPECT_EQ(tree.Find("/dir/file/more"), MountTree::kNone);
  EXPECT_EQ(tree.Find("/DIR/file"), MountTree::kNone);  // paths are exact, as on disk
  EXPECT_NE(tree.Find("/dir/file"), MountTree::kNone);
}

// --safe-links: links are followed through the tree's directories and
// links, as the kernel follows them in the mount; names missing from the
// tree are taken as written.
TEST(MountTreeTest, LinksLeadingOutsideAreHidden) {
  MountTree tree;
  std::string why;
  ASSERT_TRUE(tree.AddFile("a/b/f", 1, &why));
  const std::vector<std::pair<std::string, std::string>> links{
      {"in", "a/b/f"},            // stays
      {"a/up", ".."},             // the top: stays
      {"a/b/loop", "loop"},       // never resolves
      {"abs", "/etc/passwd"},     // absolute
      {"a/out", "../.."},         // one above
      {"via", "a/up/.."},         // through a link that stays, then above
      {"gone", "missing/../.."},  // lexically above
      {"p", "s/.."},              // above once s leads to "."
      {"s", "."},
      {"q", "s/a/b/f"}};          // stays
  for (const auto& [name, target] : links) ASSERT_TRUE(tree.AddLink(name, target, &why)) << why;

  std::map<std::string, std::string> hidden;
  for (auto& [name, reason] : tree.HideLinksLeadingOutside()) hidden[name] = reason;
  EXPECT_EQ(hidden.size(), 6u);
  for (const char* name : {"a/b/loop", "abs", "a/out", "via", "gone", "p"})
    EXPECT_EQ(hidden.count(name), 1u) << name;
  EXPECT_EQ(hidden["abs"], "points to the absolute path '/etc/passwd'");
  EXPECT_EQ(hidden["a/out"], "leads outside the directory ('../..')");
  EXPECT_NE(hidden["a/b/loop"].find("too many links"), std::string::npos);
  for (const char* path : {"/in", "/a/up", "/s", "/q"})
    EXPECT_NE(tree.Find(path), MountTree::kNone);
  for (const char* path : {"/abs", "/a/out", "/via", "/gone", "/p", "/a/b/loop"})
    EXPECT_EQ(tree.Find(path), MountTree::kNone) << path;
}

}  // namespace
}  // namespace vrk
