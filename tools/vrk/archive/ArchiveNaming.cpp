#include "archive/ArchiveNaming.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "console/ErrorReport.h"
#include "orvel/VrkErrors.h"

namespace vrk {

bool IsUnreadableNameList(int code) {
  return code == VRKERR_LIST_FILE_IO || code == VRKERR_CHECKSUM_IO || code == VRKERR_CHECKSUM;
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool IsOwnEntry(const std::string& name) {
  const std::string folded = LowerAscii(name);
  return folded == kListFileName || folded == kRecordFileName;
}

bool IsReservedName(const std::string& name) {
  const std::string folded = LowerAscii(name);
  return IsOwnEntry(name) || folded.compare(0, std::char_traits<char>::length(kAliasPrefix), kAliasPrefix) == 0;
}

bool ArchiveHoldsName(const std::string& name) {
  return name.find_first_of("\n\r") == std::string::npos && name.size() <= kMaxNameLength &&
         !IsReservedName(name);
}

bool IsUrl(const std::string& path) {
  return strncasecmp(path.c_str(), "http://", 7) == 0 || strncasecmp(path.c_str(), "https://", 8) == 0;
}

namespace {

// Where a URL's query or fragment starts; the length of any other path.
size_t PathPartEnd(const std::string& path) {
  return IsUrl(path) ? std::min(path.find_first_of("?#", path.find("//") + 2), path.size()) : path.size();
}

// `path` with its extension replaced by `tail`. At a URL the query (an
// access token) goes along and the fragment is dropped, as the library asks
// for side and block files.
std::string SiblingPath(const std::string& path, const std::string& tail) {
  const size_t end = PathPartEnd(path);
  const std::string query = path.substr(end, path.find('#', end) - end);
  return PathStem(path.substr(0, end)) + tail + query;
}

}  // namespace

bool HasVrkExtension(const std::string& path) {
  const size_t end = PathPartEnd(path);
  return end > 4 && LowerAscii(path.substr(end - 4, 4)) == ".vrk";
}

std::vector<std::string> ArchiveDiskFiles(const std::string& path, bool advanced) {
  std::vector<std::string> files{path};
  if (advanced && HasVrkExtension(path)) {
    files.push_back(SiblingPath(path, ".bhl"));
    files.push_back(SiblingPath(path, ".lst"));
  }
  return files;
}

std::string JournalPath(const std::string& archive) { return archive + "-journal"; }

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ParentPrefix(const std::string& path) {
  return path.substr(0, path.size() - BaseName(path).size());
}

std::string PathStem(const std::string& path) {
  size_t slash = path.rfind('/');
  size_t start = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.rfind('.');
  // A leading dot starts a hidden name, not an extension.
  return dot != std::string::npos && dot > start ? path.substr(0, dot) : path;
}

std::string PatchFilePath(const std::string& archivePath) { return PathStem(archivePath) + ".vrx"; }

std::string BlockFilePath(const std::string& archiveOrPatchPath, uint32_t level) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "_%08x.pb", level);
  return SiblingPath(archiveOrPatchPath, suffix);
}

std::vector<std::string> SplitPath(const std::string& path, const char* separators) {
  std::vector<std::string> pieces;
  size_t i = 0;
  for (;;) {
    size_t j = path.find_first_of(separators, i);
    pieces.push_back(path.substr(i, j == std::string::npos ? std::string::npos : j - i));
    if (j == std::string::npos) return pieces;
    i = j + 1;
  }
}

const char* NameSeparators(const std::string& name) {
  return name.find('/') != std::string::npos ? "/" : "/\\";
}

std::string JoinName(const std::vector<std::string>& components, bool backslash) {
  std::string name;
  for (const std::string& c : components) {
    if (!name.empty()) name += backslash ? '\\' : '/';
    name += c;
  }
  return name;
}

namespace {

bool ParseHalf(const std::string& text, uint32_t* out) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

}  // namespace

Version ParseVersion(const std::string& text) {
  Version v;
  size_t colon = text.find(':');
  bool ok = colon == std::string::npos
                ? ParseHalf(text, &v.low)
                : ParseHalf(text.substr(0, colon), &v.high) &&
                      ParseHalf(text.substr(colon + 1), &v.low);
  if (!ok)
    throw UsageError("bad version '" + text +
                     "': expected HIGH:LOW or LOW, unsigned 32-bit numbers");
  return v;
}

std::string FormatVersion(uint32_t high, uint32_t low) {
  return std::to_string(high) + ":" + std::to_string(low);
}

}  // namespace vrk
