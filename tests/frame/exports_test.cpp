// The shared library exports exactly the public interface: every symbol of
// the list below and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "common/TempDir.h"

namespace {

std::set<std::string> DynamicSymbols(const std::string& library) {
  std::set<std::string> names;
  std::string cmd = "nm -D --defined-only -C '" + library + "'";
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return names;
  char line[1024];
  while (fgets(line, sizeof line, pipe)) {
    std::string s(line);
    if (!s.empty() && s.back() == '\n') s.pop_back();
    // "<address> <type> <name>"
    size_t first = s.find(' ');
    size_t second = first == std::string::npos ? first : s.find(' ', first + 1);
    if (second != std::string::npos) names.insert(s.substr(second + 1));
  }
  pclose(pipe);
  return names;
}

std::set<std::string> Expected() {
  std::set<std::string> names;
  std::string text = orvel_test::ReadFileBytes(ORVEL_SOURCE_DIR "/tests/frame/exported_symbols.txt");
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line[0] != '#') names.insert(line);
    start = end + 1;
  }
  return names;
}

}  // namespace

TEST(Exports, DynamicSymbolTableIsExactlyThePublicInterface) {
  std::set<std::string> actual = DynamicSymbols(ORVEL_SHARED_LIBRARY);
  ASSERT_FALSE(actual.empty()) << "nm found nothing in " << ORVEL_SHARED_LIBRARY;
  std::set<std::string> expected = Expected();
  for (const auto& name : actual)
    EXPECT_TRUE(expected.count(name)) << "exported but not public: " << name;
  for (const auto& name : expected)
    EXPECT_TRUE(actual.count(name)) << "public but not exported: " << name;
}
