// Names and paths around an archive: the advanced variant's side files, its
// patch and block files, the names files get inside an archive, and version
// stamps as typed by users.
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
// Name of the entry where vrk keeps the tree record (TreeRecord.h).
constexpr const char* kRecordFileName = "(attributes)";

// Where vrk stores files whose names the archive cannot hold: "(alias)/N"
// (TreeRecord.h).
constexpr const char* kAliasPrefix = "(alias)/";

// True for the archive's own entries, the name list and the tree record, in
// any letter case.
bool IsOwnEntry(const std::string& name);
// True for the archive's own entries and for the names under kAliasPrefix, in any letter case.
bool IsReservedName(const std::string& name);

// True when the archive can keep a file under `name` as it is: no line feed
// or carriage return (the name list is line-based), at most kMaxNameLength
// bytes, not reserved. Names that differ from another only in letter case
// are a matter of what else the archive holds.
bool ArchiveHoldsName(const std::string& name);

// True for "http://..." and "https://..." (any letter case): an archive the
// library reads over HTTP.
bool IsUrl(const std::string& path);

// True when `path` ends in ".vrk", in any case; a URL's path part does (its
// query and fragment follow).
bool HasVrkExtension(const std::string& path);

// True when GetFileName failed because the name list cannot be read (an
// advanced archive reads it at the first name use, not at open), rather
// than because the index passed the list's end.
bool IsUnreadableNameList(int code);

// The files an archive occupies on disk: the archive itself, and for the
// advanced variant its ".bhl" and ".lst" side files (at a URL, with the
// archive's query).
std::vector<std::string> ArchiveDiskFiles(const std::string& path, bool advanced);

// The library's rollback journal beside an archive: "data.vrk-journal".
std::string JournalPath(const std::string& archive);

// The last component of `path` ("dir/data.vrk" -> "data.vrk").
std::string BaseName(const std::string& path);
// `path` up to its last component ("dir/data.vrk" -> "dir/", "data.vrk" -> "").
std::string ParentPrefix(const std::string& path);
// `path` without the extension of its last component ("dir/data.vrk" ->
// "dir/data"); patch and block files are named after it.
std::string PathStem(const std::string& path);
// The patch file that `vrk patch create` writes beside an archive: "data.vrx".
std::string PatchFilePath(const std::string& archivePath);
// The block file of one patch level beside an archive or patch file:
// "data_00000005.pb".
std::string BlockFilePath(const std::string& archiveOrPatchPath, uint32_t level);

// Splits `path` at every character of `separators`, keeping empty, '.' and
// '..' pieces for the caller to judge.
std::vector<std::string> SplitPath(const std::string& path, const char* separators);

// The characters that separate the components of an archive name: '/' when
// it holds one, a backslash then being part of a component; else '/' and
// '\' (names from Windows hosts, or written with --backslash).
const char* NameSeparators(const std::string& name);

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
