// Path rules of the advanced archive's three files.
#ifndef ORVEL_ADVANCE_ADVANCE_PATHS_H
#define ORVEL_ADVANCE_ADVANCE_PATHS_H

namespace orvel {

constexpr char kArchiveExtension[] = ".vrk";
constexpr char kTableFileExtension[] = ".bhl";
constexpr char kListFileExtension[] = ".lst";
constexpr char kCompactTempSuffix[] = "temp";

// True when `path` ends in ".vrk" in any letter case; for a URL, its path
// part does (a query or fragment may follow).
bool HasArchiveExtension(const char* path);

// The side file with `extension` (".bhl" or ".lst") of the archive at
// `path`, which HasArchiveExtension accepts, into `out` (room for `path`):
// the archive's extension replaced. A URL keeps its query, so that a token
// valid for the whole directory also reaches the side files; its fragment
// is dropped. (A signature made for the archive's URL alone cannot fetch
// them: presign each of the three files' URLs and the archive still needs
// its side files at the names made here.)
void SideFilePath(const char* path, const char* extension, char* out);

}  // namespace orvel

#endif
