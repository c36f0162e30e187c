// What create and add pack: the command line's paths, with directories
// walked recursively in byte order of their entry names so that the same
// tree always gives the same archive. Regular files are packed; every file,
// directory and symbolic link also gets an entry for the tree record.
#ifndef VRK_INPUT_FILES_H
#define VRK_INPUT_FILES_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tree/TreeRecord.h"

namespace vrk {

struct InputFile {
  std::string diskPath;  // where to read it
  std::string name;      // its name inside the archive, as spelled on disk
  uint64_t size = 0;     // size when found (the reader takes what it maps)
  dev_t device = 0;
  ino_t inode = 0;
  size_t entry = 0;      // its entry in TreeInputs::entries
};

struct TreeInputs {
  std::vector<InputFile> files;
  std::vector<TreeEntry> entries;  // files, directories and links in walk order
  size_t problems = 0;             // things skipped that make the exit status 1
};

struct WalkOptions {
  bool backslash = false;    // join name components with '\'
  bool dereference = false;  // follow symbolic links (-L), as tar -h does
  bool quiet = false;        // no warnings about what is skipped on purpose
  std::vector<std::string> exclude;  // patterns of names left out (NamePattern.h)
};

// The inputs under `paths`, taken relative to `baseDir` when it is not
// empty. Names are the paths as given, with '.' and empty components
// dropped, '..' resolved lexically and a leading '/' removed. Symbolic links
// are kept as links unless `dereference`. Anything that cannot be stored
// (a missing or unreadable path, a name the archive cannot hold or tell from
// another but by letter case, a file of 4 GiB or more) is named in one
// warning line, skipped and counted in `problems`. Paths named twice are
// taken once.
TreeInputs CollectInputs(const std::vector<std::string>& paths, const std::string& baseDir,
                         const WalkOptions& options);

}  // namespace vrk

#endif
