// Names and paths around an archive: the advanced variant's side files, the
// names files get inside an archive, and version stamps as typed by users.
#ifndef VRK_ARCHIVE_NAMING_H
#define VRK_ARCHIVE_NAMING_H

#include <cstdint>
#include <string>
#include <vector>

namespace vrk {

// Longest name the archive accepts, in bytes.
constexpr size_t kMaxNameLength = 255;
// Name of the archive's own entry that holds the name list.
constexpr const char* kListFileName = "(listfile)";

// True when `path` ends in ".vrk", in any case.
bool HasVrkExtension(const std::string& path);

// The files an archive occupies on disk: the archive itself, and for the
// advanced variant its ".bhl" and ".lst" side files.
std::vector<std::string> ArchiveDiskFiles(const std::string& path, bool advanced);

// Splits `path` at every character of `separators`, keeping empty, '.' and
// '..' pieces for the caller to judge.
std::vector<std::string> SplitPath(const std::string& path, const char* separators);

// Joins relative path components into an archive name with '/' or '\'.
std::string JoinName(const std::vector<std::string>& components, bool backslash);

// A version stamp, "HIGH:LOW" or "LOW" (HIGH then 0). Both halves unsigned
// 32-bit, decimal or 0x-hexadecimal.
struct Version {
  uint32_t high = 0;
  uint32_t low = 0;
};
// Throws a usage error for anything else.
Version ParseVersion(const std::string& text);
std::string FormatVersion(uint32_t high, uint32_t low);

// ASCII lower case, as the archive folds names.
std::string LowerAscii(std::string s);

}  // namespace vrk

#endif
