#include "tree/NamePattern.h"

#include <fnmatch.h>

#include <algorithm>
#include <set>
#include <unordered_map>

#include "archive/ArchiveNaming.h"
#include "console/ErrorReport.h"
#include "console/PrintableText.h"

namespace vrk {
namespace {

constexpr int kExactFlags = FNM_PATHNAME | FNM_NOESCAPE;

// '\' as '/', and no trailing separator ("docs/" names the directory docs).
std::string Normalized(std::string s) {
  for (char& c : s)
    if (c == '\\') c = '/';
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// fnmatch with FNM_PATHNAME knows no `**`: the pattern is cut at each `**`
// and the pieces are matched against successive parts of the name, the
// parts between them taking any characters, '/' included. Whether the
// pieces from `first` on match the name from `from` on is remembered in
// `known` (-1: not yet), so that many `**` cost polynomial time, not
// exponential.
bool MatchPieces(const std::vector<std::string>& pieces, size_t first, const std::string& name,
                 size_t from, int flags, std::vector<signed char>& known) {
  signed char& result = known[first * (name.size() + 1) + from];
  if (result >= 0) return result;
  result = 0;
  if (first + 1 == pieces.size()) {
    result = fnmatch(pieces[first].c_str(), name.c_str() + from, flags) == 0;
    return result;
  }
  for (size_t cut = from; cut <= name.size() && !result; ++cut) {
    if (fnmatch(pieces[first].c_str(), name.substr(from, cut - from).c_str(), flags) != 0) continue;
    for (size_t rest = cut; rest <= name.size() && !result; ++rest)
      result = MatchPieces(pieces, first + 1, name, rest, flags, known);
  }
  return result;
}

bool Matches(const std::string& pattern, const std::string& name, bool exactCase = false) {
  if (exactCase ? pattern == name : LowerAscii(pattern) == LowerAscii(name)) return true;
  std::vector<std::string> pieces;
  size_t from = 0;
  for (size_t at; (at = pattern.find("**", from)) != std::string::npos; from = at + 2)
    pieces.push_back(pattern.substr(from, at - from));
  pieces.push_back(pattern.substr(from));
  std::vector<signed char> known(pieces.size() * (name.size() + 1), -1);
  return MatchPieces(pieces, 0, name, 0, exactCase ? kExactFlags : kExactFlags | FNM_CASEFOLD,
                     known);
}

// `name` and each directory above it, deepest first.
std::vector<std::string> NameAndParents(const std::string& name) {
  std::vector<std::string> all{name};
  for (size_t at = name.rfind('/'); at != std::string::npos && at > 0; at = name.rfind('/', at - 1))
    all.push_back(name.substr(0, at));
  return all;
}

}  // namespace

bool MatchesName(const std::string& pattern, const std::string& name) {
  return Matches(Normalized(pattern), Normalized(name));
}

bool MatchesNameOrParent(const std::string& pattern, const std::string& name) {
  const std::string p = Normalized(pattern);
  for (const std::string& n : NameAndParents(Normalized(name)))
    if (Matches(p, n)) return true;
  return false;
}

bool MatchesNameOrParentExactly(const std::string& pattern, const std::string& name) {
  const std::string p = Normalized(pattern);
  for (const std::string& n : NameAndParents(Normalized(name)))
    if (Matches(p, n, true)) return true;
  return false;
}

bool Excluded(const std::vector<std::string>& patterns, const std::string& name) {
  for (const std::string& pattern : patterns) {
    if (MatchesNameOrParent(pattern, name)) return true;
    const std::string p = Normalized(pattern);
    if (p.find('/') != std::string::npos) continue;
    for (const std::string& component : SplitPath(Normalized(name), "/"))
      if (Matches(p, component)) return true;
  }
  return false;
}

NameSelection::NameSelection(std::vector<std::string> patterns)
    : patterns_(std::move(patterns)),
      matched_(patterns_.size(), false),
      compare_(patterns_.size(), Compare::kFolded) {}

void NameSelection::Settle(const std::vector<const std::string*>& names) {
  // Plain names are looked up: the spellings each takes regardless of case,
  // among the names and the directories above them of as many components.
  std::unordered_map<std::string, std::set<std::string>> spellings;  // folded -> as spelled
  std::set<size_t> depths;
  for (const std::string& p : patterns_) {
    if (p.find_first_of("*?[") != std::string::npos) continue;
    const std::string n = Normalized(p);
    spellings[LowerAscii(n)];
    depths.insert(static_cast<size_t>(std::count(n.begin(), n.end(), '/')));
  }
  if (!spellings.empty())
    for (const std::string* name : names) {
      const std::string n = Normalized(*name);
      size_t separators = 0, depth = 0;
      for (size_t at = 0; at <= n.size() && depth < depths.size(); ++at) {
        if (at < n.size() && n[at] != '/') continue;
        if (depths.count(separators)) {
          ++depth;
          auto found = spellings.find(LowerAscii(n.substr(0, at)));
          if (found != spellings.end()) found->second.insert(n.substr(0, at));
        }
        ++separators;
      }
    }
  for (size_t i = 0; i < patterns_.size(); ++i) {
    const std::string& p = patterns_[i];
    auto found = spellings.find(LowerAscii(Normalized(p)));
    if (p.find_first_of("*?[") != std::string::npos || found == spellings.end()) {
      compare_[i] = std::any_of(names.begin(), names.end(),
                                [&p](const std::string* n) { return MatchesNameOrParentExactly(p, *n); })
                        ? Compare::kExact
                        : Compare::kFolded;
    } else if (found->second.count(Normalized(p))) {
      compare_[i] = Compare::kExact;
    } else {
      compare_[i] = found->second.size() > 1 ? Compare::kAmbiguous : Compare::kFolded;
    }
  }
}

bool NameSelection::Selects(const std::string& name) {
  bool selected = All();
  for (size_t i = 0; i < patterns_.size(); ++i) {
    const bool matches = compare_[i] == Compare::kExact    ? MatchesNameOrParentExactly(patterns_[i], name)
                         : compare_[i] == Compare::kFolded ? MatchesNameOrParent(patterns_[i], name)
                                                           : false;
    if (matches) selected = matched_[i] = true;
  }
  return selected;
}

std::vector<std::string> NameSelection::Unmatched() const {
  std::vector<std::string> unmatched;
  for (size_t i = 0; i < patterns_.size(); ++i)
    if (!matched_[i]) unmatched.push_back(patterns_[i]);
  return unmatched;
}

size_t NameSelection::ReportUnmatched(const std::string& archive) const {
  size_t count = 0;
  for (size_t i = 0; i < patterns_.size(); ++i) {
    if (matched_[i]) continue;
    ++count;
    PrintProblem(archive + ": " + Printable(patterns_[i]) +
                 (compare_[i] == Compare::kAmbiguous
                      ? ": names several entries that differ only in letter case; give it as "
                        "spelled"
                      : ": not in the archive"));
  }
  return count;
}

}  // namespace vrk
