// What create and add pack: the command line's paths, with directories
// walked recursively in byte order of their entry names so that the same
// tree always gives the same archive. Regular files are packed; every file,
// directory, link, FIFO and device also gets an entry for the tree record,
// with its owner.
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
  // Its name cannot be kept as it is (see CollectInputs): the file is to be
  // stored under an alias.
  bool needsAlias = false;
};

struct TreeInputs {
  std::vector<InputFile> files;
  // Files, directories, links, FIFOs and devices in walk order; an entry's
  // owner k is owners[k - 1].
  std::vector<TreeEntry> entries;
  std::vector<Owner> owners;
  size_t problems = 0;             // things skipped that make the exit status 1
};

struct WalkOptions {
  bool backslash = false;    // join name components with '\'
  bool dereference = false;  // follow symbolic links (-L), as tar -h does
  bool quiet = false;        // no warnings about what is skipped on purpose
  // The tree record is kept: names the archive cannot hold go to aliases,
  // and hard links, FIFOs and devices are recorded. Without it they are
  // skipped with a warning, and hard links are packed as files.
  bool record = true;
  std::vector<std::string> exclude;  // patterns of names left out (NamePattern.h)
};

// The inputs under `paths`, taken relative to `baseDir` when it is not
// empty. Names are the paths as given, with '.' and empty components
// dropped, '..' resolved lexically and a leading '/' removed. Symbolic links
// are kept as links unless `dereference`. A file whose name holds a line
// feed, carriage return or backslash, is longer than the archive allows, is
// reserved, or differs only in letter case from a file met before, is marked
// `needsAlias`. A regular file with more than one link met again is a hard
// link to the first name met. Anything that cannot be stored (a missing or
// unreadable path, a file of 4 GiB or more) is named in one warning line,
// skipped and counted in `problems`; sockets are skipped with a warning, as
// tar does. Paths named twice are taken once.
TreeInputs CollectInputs(const std::vector<std::string>& paths, const std::string& baseDir,
                         const WalkOptions& options);

}  // namespace vrk

#endif
