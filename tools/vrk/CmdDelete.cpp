// vrk delete: removes files from an archive.
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>

#include <memory>

#include "Commands.h"
#include "ErrorReport.h"
#include "PacketHandle.h"

namespace vrk {
namespace {

struct DeleteOptions {
  std::string archive;
  std::vector<std::string> names;
};

int RunDelete(const DeleteOptions& o) {
  Packet packet = Packet::Open(o.archive);
  int missing = 0;
  {
    UpdateBracket bracket(packet);
    for (const std::string& name : o.names) {
      if (!packet.Contains(name)) {
        PrintProblem(packet.About(name) + ": not in the archive");
        ++missing;
        continue;
      }
      int rc = packet->DeleteFile(name.c_str());
      if (rc != 0) throw LibraryError(packet.About(name), rc);
    }
    bracket.Commit();
  }
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
