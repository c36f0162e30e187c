#include "frame/Wildcard.h"

#include <gtest/gtest.h>

using orvel::MatchWildcard;

TEST(Wildcard, QuestionMarkTakesOneCharacterAndStarAnyRun) {
  EXPECT_TRUE(MatchWildcard("a?c", "abc"));
  EXPECT_FALSE(MatchWildcard("a?c", "ac"));
  EXPECT_TRUE(MatchWildcard("*", ""));
  EXPECT_TRUE(MatchWildcard("a*", "a"));
  EXPECT_TRUE(MatchWildcard("*.pb", "x_00000001.pb"));
  EXPECT_FALSE(MatchWildcard("*.pb", "x.pbx"));
  EXPECT_TRUE(MatchWildcard("a*b*c", "aXXbYYbc"));
  EXPECT_FALSE(MatchWildcard("a*b*c", "aXXbYYb"));
  EXPECT_FALSE(MatchWildcard("abc", "ABC"));
}

TEST(Wildcard, ManyStarsStayFast) {
  std::string name(2000, 'a');
  EXPECT_FALSE(MatchWildcard("*a*a*a*a*a*a*a*a*a*a*b", name.c_str()));
}
