// What create and add share: the options that shape how files are stored and
// the loop that hands compressed files to the archive.
#ifndef VRK_PACKING_H
#define VRK_PACKING_H

#include <cstdint>
#include <string>
#include <vector>

#include "ArchiveNaming.h"
#include "InputFiles.h"

namespace CLI {
class App;
}

namespace vrk {

class Packet;

struct PackOptions {
  std::vector<std::string> paths;
  std::string baseDir;      // -C
  std::string versionText;  // --version
  bool store = false;
  bool backslash = false;
  bool quiet = false;
  unsigned jobs = 0;
};

// Registers --version, -C, --store, --jobs, --backslash and -q.
void AddPackOptions(CLI::App* cmd, PackOptions& options);

// Collects the input files of `options` (see CollectInputs), without repeats.
std::vector<InputFile> CollectPackInputs(const PackOptions& options);

// Removes the inputs that are the archive's own files on disk.
void DropArchiveFiles(std::vector<InputFile>& files, const std::vector<std::string>& archiveFiles,
                      bool quiet);

struct PackResult {
  uint64_t files = 0;
  uint64_t originalBytes = 0;
  uint64_t storedBytes = 0;
  uint64_t unreadable = 0;  // files skipped because they could not be read
};

// Adds `files` to `packet` in one update bracket, in the order given, with
// `jobs` compression workers. `replace` replaces files of the same name (the
// library's force flag). Unreadable files are reported and skipped; library
// failures throw.
PackResult PackFiles(const Packet& packet, const std::vector<InputFile>& files,
                     const PackOptions& options, bool replace);

// Prints "data.vrk: 12 files, 3.4 MB stored in 1.2 MB (35%)" unless quiet;
// returns the exit status (failure when a file could not be read).
int FinishPack(const std::string& archive, const PackResult& result, bool quiet);

}  // namespace vrk

#endif
