#include "frame/Wildcard.h"

#include <gtest/gtest.h>

#include <string>

TEST(Wildcard, QuestionMarkTakesOneCharacterAndStarAnyRun) {
  const std::string longName(2000, 'a');
  const struct { const char* pattern; const char* name; bool match; } cases[] = {
      {"a?c", "abc", true},          {"a?c", "ac", false},
      {"*", "", true},               {"a*", "a", true},
      {"*.pb", "x_00000001.pb", true}, {"*.pb", "x.pbx", false},
      {"a*b*c", "aXXbYYbc", true},   {"a*b*c", "aXXbYYb", false},
      {"abc", "ABC", false},
      // Many stars against a long name must not backtrack exponentially.
      {"*a*a*a*a*a*a*a*a*a*a*b", longName.c_str(), false}};
  for (const auto& c : cases)
    EXPECT_EQ(orvel::MatchWildcard(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}
