// The shared library exports exactly the public interface: every symbol of
// exported_symbols.txt and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include "common/TempDir.h"

TEST(Exports, DynamicSymbolTableIsExactlyThePublicInterface) {
  std::set<std::string> actual, expected;
  const std::string cmd = std::string("nm -D --defined-only -C '") + ORVEL_SHARED_LIBRARY + "'";
  FILE* pipe = popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  for (char line[1024]; fgets(line, sizeof line, pipe);) {
    // "<address> <one-letter type> <name>"
    const std::string s(line, std::strcspn(line, "\n"));
    const size_t type = s.find(' ');
    if (type != std::string::npos && s.size() > type + 3) actual.insert(s.substr(type + 3));
  }
  pclose(pipe);
  ASSERT_FALSE(actual.empty()) << "nm found nothing in " << ORVEL_SHARED_LIBRARY;

  std::istringstream list(
      orvel_test::ReadFileBytes(ORVEL_SOURCE_DIR "/tests/frame/exported_symbols.txt"));
  for (std::string name; std::getline(list, name);)
    if (!name.empty() && name[0] != '#') expected.insert(name);
  EXPECT_EQ(actual, expected) << "exported symbols, then the public ones";
}
