// Patch and block file paths: a path splits into directory (up to and
// including the last '/' or '\'), file name and extension (from the file
// name's last '.'); the drive part is always empty here. A part holds at
// most 255 bytes and a joined path at most 259. A URL's query ("?..." after
// the path) stays apart from the parts and is carried over to every path
// joined from them, so that block files are fetched with the patch file's
// query (an access token).
#ifndef ORVEL_PATCH_PATCH_PATH_H
#define ORVEL_PATCH_PATCH_PATH_H

namespace orvel {

constexpr unsigned kMaxPathPart = 255;
constexpr unsigned kMaxJoinedPath = 259;

struct PatchPath {
  char dir[kMaxPathPart + 1];
  char name[kMaxPathPart + 1];
  char ext[kMaxPathPart + 1];
  char query[kMaxPathPart + 1];  // "?..." of a URL, else ""
};

// False when `path` is null or a part is too long.
bool SplitPatchPath(const char* path, PatchPath* out);

// dir + name + `suffix` + `ext` into `out` (kMaxJoinedPath + 1 bytes); false
// when the file name with its suffix or the whole path is too long.
bool JoinPatchPath(const PatchPath& parts, const char* suffix, const char* ext, char* out);

// The block file of `level` beside the base path: dir + name_%08x + ".pb".
bool BlockFilePath(const PatchPath& base, unsigned int level, char* out);
// The pattern that matches every block file of the base path.
bool BlockFilePattern(const PatchPath& base, char* out);

// True when `path` is null or fits the limits above.
bool FitsPathLimits(const char* path);

}  // namespace orvel

#endif
