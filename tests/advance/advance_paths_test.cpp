// The archive's extension and its side files' names, on disk and at URLs
// that carry a query (a token, a presigned signature) or a fragment.
#include <gtest/gtest.h>

#include <string>

#include "advance/AdvancePaths.h"

using namespace orvel;

namespace {

TEST(AdvancePaths, TheExtensionAndTheSideFilesComeFromThePathPart) {
  struct Case {
    const char* path;
    bool archive;
    const char* table;  // the ".bhl" side file, when `archive`
  } cases[] = {
      {"dir/Game.VRK", true, "dir/Game.bhl"},
      {"vrk", false, nullptr},
      // On disk '?' and '#' belong to the name.
      {"dir/a.vrk?x", false, nullptr},
      {"dir/a?x.vrk", true, "dir/a?x.bhl"},
      {"https://h/p/a.vrk", true, "https://h/p/a.bhl"},
      {"https://h/p/a.vrk?sig=x.vrk&t=1", true, "https://h/p/a.bhl?sig=x.vrk&t=1"},
      {"HTTP://h/a.vrk#top", true, "HTTP://h/a.bhl"},
      {"http://h/a.vrk?t=1#top", true, "http://h/a.bhl?t=1"},
      {"http://h/a.vrk#x?t=1", true, "http://h/a.bhl"},  // a '?' in the fragment
      {"https://h/a.dat?f=a.vrk", false, nullptr},
      {"https://h/a.dat#a.vrk", false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(HasArchiveExtension(c.path), c.archive);
    if (!c.archive) continue;
    std::string side(std::string(c.path).size() + 1, '\0');
    SideFilePath(c.path, kTableFileExtension, &side[0]);
    EXPECT_EQ(std::string(side.c_str()), c.table);
  }
}

}  // namespace
