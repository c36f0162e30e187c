// Writing a new archive from collected inputs: what create does, and what
// add does when its archive does not exist yet (as zip does).
#ifndef VRK_NEW_ARCHIVE_H
#define VRK_NEW_ARCHIVE_H

#include <string>

#include "tree/InputFiles.h"
#include "archive/Packing.h"

namespace CLI {
class App;
}

namespace vrk {

// The choices only a new archive has; the defaults are create's.
struct NewArchiveOptions {
  bool basic = false;
  bool encipher = false;
  bool scramble = false;
  unsigned tableSize = 0;  // 0: room for the files
};

// Registers --basic, --table-size, --encipher and --scramble.
void AddNewArchiveOptions(CLI::App* cmd, NewArchiveOptions& options);

// Throws a usage error for choices that do not go together or with the
// archive's name (an advanced archive's name ends in .vrk).
void CheckNewArchive(const std::string& archive, const NewArchiveOptions& options);

// Packs `inputs` into a new archive at `archive`, which replaces any archive
// there only once it is complete. Returns the exit status; a failure or a
// stop signal throws, and then no archive was written (the one there, if
// any, stays as it was).
int WriteNewArchive(const std::string& archive, TreeInputs& inputs, const PackOptions& pack,
                    const NewArchiveOptions& options);

}  // namespace vrk

#endif
