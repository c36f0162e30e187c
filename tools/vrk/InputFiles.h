// The disk files that create and add pack: the command line's paths, with
// directories walked recursively in byte order of their entry names so that
// the same tree always gives the same archive.
#ifndef VRK_INPUT_FILES_H
#define VRK_INPUT_FILES_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vrk {

struct InputFile {
  std::string diskPath;  // where to read it
  std::string name;      // its name inside the archive
  uint64_t size = 0;     // size when found (the reader takes what it reads)
  dev_t device = 0;
  ino_t inode = 0;
};

// Regular files under `paths`, taken relative to `baseDir` when it is not
// empty. Names are the paths as given, with '.' and empty components dropped,
// '..' resolved lexically and a leading '/' removed, joined with '/' or '\'.
// Symbolic links to files are read through; symbolic links to directories
// and special files are skipped with a warning. Throws ToolError for missing
// paths, paths that climb above their start, and names the archive cannot
// hold.
std::vector<InputFile> CollectInputs(const std::vector<std::string>& paths,
                                     const std::string& baseDir, bool backslash, bool quiet);

// Drops files named twice under the same name (a file and its directory both
// given); throws ToolError when two different names would meet in the archive,
// which compares names without regard to ASCII case.
void DropRepeatedNames(std::vector<InputFile>& files);

}  // namespace vrk

#endif
