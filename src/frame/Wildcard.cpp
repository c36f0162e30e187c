#include "frame/Wildcard.h"

namespace orvel {

bool MatchWildcard(const char* pattern, const char* name) {
  // Iterative matcher with one backtrack point: linear in practice and never
  // exponential, whatever the pattern.
  const char* starPattern = nullptr;
  const char* starName = nullptr;
  while (*name) {
    if (*pattern == '*') {
      starPattern = ++pattern;
      starName = name;
    } else if (*pattern == '?' || *pattern == *name) {
      ++pattern;
      ++name;
    } else if (starPattern) {
      pattern = starPattern;
      name = ++starName;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

bool HasWildcard(const char* text) {
  for (; *text; ++text)
    if (*text == '?' || *text == '*') return true;
  return false;
}

}  // namespace orvel
