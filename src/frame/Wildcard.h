// Matching file names against '?' and '*' patterns.
#ifndef ORVEL_FRAME_WILDCARD_H
#define ORVEL_FRAME_WILDCARD_H

namespace orvel {

// True when `name` matches `pattern`: '?' stands for one character, '*' for
// any run of characters (also none); everything else matches itself.
bool MatchWildcard(const char* pattern, const char* name);

// True when the text holds '?' or '*'.
bool HasWildcard(const char* text);

}  // namespace orvel

#endif
