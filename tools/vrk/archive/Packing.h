// What create and add share: the options that shape how files are stored and
// the loop that hands compressed files, and then the tree record, to the
// archive.
#ifndef VRK_PACKING_H
#define VRK_PACKING_H

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveNaming.h"
#include "tree/InputFiles.h"

namespace CLI {
class App;
}

namespace vrk {

class Packet;
struct PackedFile;
struct StoredRecord;

struct PackOptions {
  std::vector<std::string> paths;
  std::string filesFrom;    // -T
  std::vector<std::string> exclude;
  std::string baseDir;      // -C
  std::string stampText;    // --stamp
  bool store = false;
  bool backslash = false;
  bool dereference = false;   // -L
  bool noAttributes = false;  // no tree record
  bool quiet = false;
  bool verbose = false;  // -v: each name as it is packed
  unsigned jobs = 0;
  int level = 8;  // LZO1X-999's effort (create --level); 8 is the library's
};

// Registers --stamp, -C, -T, --exclude, --store, --jobs, --backslash, -L,
// --no-attributes, -v and -q.
void AddPackOptions(CLI::App* cmd, PackOptions& options);

// Collects the inputs of `options` (see CollectInputs), the paths of -T
// included. Throws a usage error when no path is given at all.
TreeInputs CollectPackInputs(const PackOptions& options);

// True when the archive holds a file of exactly `name` (by the record, else
// by the archive's names): add --keep leaves it as it is.
bool AlreadyHeld(const Packet& packet, const StoredRecord& stored, const std::string& name);

// Removes the inputs that are the archive's own files on disk.
void DropArchiveFiles(TreeInputs& inputs, const std::vector<std::string>& archiveFiles,
                      bool quiet);

struct PackResult {
  uint64_t files = 0;
  uint64_t originalBytes = 0;
  uint64_t storedBytes = 0;
  uint64_t problems = 0;  // inputs skipped, while collecting them or packing, and an unusable tree record
};

// Adds the files of `inputs` to `packet` in one update bracket, in the order
// given, with `jobs` compression workers, and brings the tree record up to
// date in the same bracket. Files whose names the archive cannot hold, or
// that clash by letter case with a file in the archive, are stored under
// aliases (TreeRecord.h). `replace` replaces files of the same name (the
// library's force flag); without it, entries already recorded stay as they
// are. Unreadable files, and files the archive has no room for, are
// reported and skipped. Library failures throw, and a stop signal throws
// StopRequest; either way nothing of the bracket stays (the archive object
// is then discarded).
PackResult PackFiles(Packet& packet, TreeInputs& inputs, const PackOptions& options,
                     bool replace);

// Adds one file in its stored form; throws on library failures.
void AddPacked(const Packet& packet, const std::string& name, unsigned flags,
               const PackedFile& packed, Version version);

// Prints "data.vrk: 12 files, 3.4 MB stored in 1.2 MB (35%)" unless quiet;
// returns the exit status (warnings when something was skipped).
int FinishPack(const std::string& archive, const PackResult& result, bool quiet);

}  // namespace vrk

#endif
