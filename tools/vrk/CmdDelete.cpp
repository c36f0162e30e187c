// vrk delete: removes files from an archive.
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>

#include <memory>

#include "Commands.h"
#include "ErrorReport.h"
#include "PacketHandle.h"
#include "RecordStore.h"
#include "StopSignals.h"

namespace vrk {
namespace {

struct DeleteOptions {
  std::string archive;
  std::vector<std::string> names;
};

int RunDelete(const DeleteOptions& o) {
  CatchStopSignals();
  Packet packet = Packet::Open(o.archive);
  StoredRecord stored = LoadTreeRecordWarning(packet);
  int missing = 0;
  bool recordChanged = false;
  {
    UpdateBracket bracket(packet);
    for (const std::string& name : o.names) {
      if (StopRequested()) break;
      if (IsReservedName(name)) {
        PrintProblem(packet.About(name) + ": the archive's own entry, not deleted");
        ++missing;
        continue;
      }
      // Links and directories live in the record only.
      const bool recorded = stored.record.Forget(name);
      recordChanged |= recorded;
      if (!packet.Contains(name)) {
        if (!recorded) PrintProblem(packet.About(name) + ": not in the archive");
        missing += !recorded;
        continue;
      }
      int rc = packet->DeleteFile(name.c_str());
      if (rc != 0) throw LibraryError(packet.About(name), rc);
    }
    if (recordChanged && stored.problem.empty()) StoreTreeRecord(packet, stored.record, packet.Stamp());
    bracket.Commit();
  }
  StopIfRequested();
  return missing ? kExitFailure : 0;
}

}  // namespace

void AddDeleteCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<DeleteOptions>();
  CLI::App* cmd = app.add_subcommand(
      "delete", "Remove files from an archive (their space is reclaimed by compact)");
  cmd->add_option("archive", o->archive, "Archive to change")->required();
  cmd->add_option("names", o->names, "Files to remove")->required();
  cmd->callback([o, &action] { action = [o] { return RunDelete(*o); }; });
}

}  // namespace vrk
