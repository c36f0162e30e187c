// vrk add: adds files to an existing archive, replacing files of the same
// name unless --keep.
#include <CLI/CLI.hpp>

#include <memory>

#include "ArchiveNaming.h"
#include "Commands.h"
#include "ErrorReport.h"
#include "PacketHandle.h"
#include "Packing.h"
#include "StopSignals.h"

namespace vrk {
namespace {

struct AddOptions {
  std::string archive;
  PackOptions pack;
  std::string as;
  bool keep = false;
};

int RunAdd(const AddOptions& o) {
  if (!o.pack.versionText.empty()) ParseVersion(o.pack.versionText);  // usage errors first
  if (!o.as.empty()) {
    if (o.pack.paths.size() != 1) throw UsageError("--as takes exactly one file");
    if (o.as.size() > kMaxNameLength)
      throw UsageError("--as: names are at most " + std::to_string(kMaxNameLength) + " bytes");
    if (o.as.find_first_of("\n\r") != std::string::npos)
      throw UsageError("--as: a name cannot contain a line break");
    if (IsReservedName(o.as))
      throw UsageError("--as: '" + o.as + "' is reserved for the archive's own use");
  }
  CatchStopSignals();

  TreeInputs inputs = CollectPackInputs(o.pack);
  if (!o.as.empty()) {
    if (inputs.problems) return kExitFailure;  // already named
    if (inputs.files.size() != 1 || inputs.entries.size() != 1)
      throw UsageError("--as takes a single file, not a directory or link");
    inputs.files[0].name = inputs.entries[0].name = o.as;
  }

  Packet packet = Packet::Open(o.archive);
  DropArchiveFiles(inputs, ArchiveDiskFiles(o.archive, packet.Advanced()), o.pack.quiet);
  if (o.keep) {
    std::vector<InputFile> fresh;
    for (InputFile& f : inputs.files) {
      if (packet.Contains(f.name))
        inputs.entries[f.entry].name.clear();  // kept as it is, record entry too
      else
        fresh.push_back(std::move(f));
    }
    inputs.files = std::move(fresh);
  }
  PackResult result = PackFiles(packet, inputs, o.pack, !o.keep);
  const int status = FinishPack(o.archive, result, o.pack.quiet);
  StopIfRequested();
  return status;
}

}  // namespace

void AddAddCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<AddOptions>();
  CLI::App* cmd = app.add_subcommand(
      "add", "Add files to an archive; a file of the same name is replaced unless --keep");
  cmd->add_option("archive", o->archive, "Existing archive")->required();
  cmd->add_option("paths", o->pack.paths, "Files and directories to add")->required();
  cmd->add_option("--as", o->as, "Name inside the archive for a single added file");
  cmd->add_flag("--keep", o->keep, "Keep files already in the archive instead of replacing them");
  AddPackOptions(cmd, o->pack);
  cmd->callback([o, &action] { action = [o] { return RunAdd(*o); }; });
}

}  // namespace vrk
