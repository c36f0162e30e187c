// Choosing archive names by the shell's wildcards, as tar and zip users type
// them: `*`, `?` and `[...]` stay within one name component, `**` crosses
// '/'. Names compare as the archive compares them: ASCII letter case is
// ignored, and '\' separates components as '/' does. A selection of names
// from a tree compares in exact case first (NameSelection::Settle).
#ifndef VRK_NAME_PATTERN_H
#define VRK_NAME_PATTERN_H

#include <string>
#include <vector>

namespace vrk {

// True when `pattern` matches the whole of `name`, or equals it (so that a
// name holding '[' can still be given as it is).
bool MatchesName(const std::string& pattern, const std::string& name);

// True when `pattern` matches `name` or one of the directories above it:
// a directory's name takes everything below it.
bool MatchesNameOrParent(const std::string& pattern, const std::string& name);
// As MatchesNameOrParent, with letter case compared as it is.
bool MatchesNameOrParentExactly(const std::string& pattern, const std::string& name);

// --exclude: as MatchesNameOrParent, and a pattern without '/' also matches
// any single component ("*.o", "build"), at any depth.
bool Excluded(const std::vector<std::string>& patterns, const std::string& name);

// The names or patterns given to list, extract and delete, remembering
// which of them selected something.
class NameSelection {
 public:
  explicit NameSelection(std::vector<std::string> patterns);

  // Settles how each pattern compares with `names`, the names it may
  // select: in exact letter case when it so matches one of them, otherwise
  // regardless of case, unless it holds no wildcard and so matches names
  // spelled in several ways ("A.TXT" when "A.txt" and "a.txt" are there):
  // then it selects nothing and is reported as ambiguous.
  void Settle(const std::vector<const std::string*>& names);

  // True when nothing was given, which selects everything.
  bool All() const { return patterns_.empty(); }
  // True when some pattern takes `name` (or All()).
  bool Selects(const std::string& name);
  // The given names that selected nothing, in the order given.
  std::vector<std::string> Unmatched() const;
  // Prints "ARCHIVE: PATTERN: not in the archive" for each of them (or that
  // it is ambiguous); returns how many there were.
  size_t ReportUnmatched(const std::string& archive) const;
  // True when the pattern at `index` names entries spelled in several ways
  // regardless of case, and none exactly (see Settle).
  bool Ambiguous(size_t index) const { return compare_[index] == Compare::kAmbiguous; }
  // Counts `pattern` as matched (a file found by name alone).
  void MarkMatched(size_t index) { matched_[index] = true; }
  const std::vector<std::string>& Patterns() const { return patterns_; }

 private:
  enum class Compare : unsigned char { kFolded, kExact, kAmbiguous };
  std::vector<std::string> patterns_;
  std::vector<bool> matched_;
  std::vector<Compare> compare_;
};

}  // namespace vrk

#endif
