// vrk compact: rewrites an archive without the holes that deletions and
// replacements left.
#include <CLI/CLI.hpp>
#include <sys/stat.h>

#include <OrvelPacket.h>

#include <cstdio>
#include <memory>

#include "archive/ArchiveNaming.h"
#include "commands/Commands.h"
#include "console/ErrorReport.h"
#include "archive/PacketHandle.h"
#include "console/ProgressBar.h"
#include "console/StopSignals.h"

namespace vrk {
namespace {

struct CompactOptions {
  std::string archive;
  bool quiet = false;
};

uint64_t SizeOnDisk(const std::string& archive, bool advanced) {
  uint64_t total = 0;
  for (const std::string& path : ArchiveDiskFiles(archive, advanced)) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) total += static_cast<uint64_t>(st.st_size);
  }
  return total;
}

int RunCompact(const CompactOptions& o) {
  CatchStopSignals();  // the compaction is one commit: a stop waits for it
  Packet packet = Packet::Open(o.archive);
  const bool advanced = packet.Advanced();
  const uint64_t before = SizeOnDisk(o.archive, advanced);
  {
    ProgressBar bar("compacting", packet->GetFileCount(), 0, o.quiet);
    LibraryProgress progress(bar);
    int rc = packet->CompactPacket();
    if (rc != 0) throw packet.Failure(rc);
  }
  StopIfRequested();
  const uint64_t after = SizeOnDisk(o.archive, advanced);
  if (!o.quiet)
    std::printf("%s: %llu -> %llu bytes on disk\n", o.archive.c_str(),
                static_cast<unsigned long long>(before), static_cast<unsigned long long>(after));
  return 0;
}

}  // namespace

void AddCompactCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<CompactOptions>();
  CLI::App* cmd = app.add_subcommand(
      "compact", "Rewrite an archive without the space left by removed and replaced files");
  cmd->add_option("archive", o->archive, "Archive to compact")->required();
  cmd->add_flag("-q,--quiet", o->quiet, "No progress bar and no summary");
  cmd->callback([o, &action] { action = [o] { return RunCompact(*o); }; });
}

}  // namespace vrk
