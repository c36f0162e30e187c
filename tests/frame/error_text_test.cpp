// Every code the library can report has a text of its own.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "orvel/VrkErrors.h"

TEST(ErrorText, EveryCodeHasItsOwnPlainText) {
  const std::string unknown = VrkErrorText(1);
  std::set<std::string> seen;
  for (int code = 0; code >= VRKERR_NEEDS_RECOVERY; --code) {
    const std::string text = VrkErrorText(code);
    EXPECT_NE(text, unknown) << code;
    EXPECT_EQ(text.find("VRKERR"), std::string::npos) << code;
    seen.insert(text);
  }
  // A few codes share a meaning (two "not found" codes, one per variant).
  EXPECT_GE(seen.size(), 40u);
  EXPECT_EQ(VrkErrorText(-1000), unknown);
}
