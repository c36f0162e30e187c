// vrk create: packs files and directory trees into a new archive.
#include <CLI/CLI.hpp>

#include <memory>

#include "archive/ArchiveNaming.h"
#include "commands/Commands.h"
#include "console/ErrorReport.h"
#include "archive/NewArchive.h"
#include "archive/Packing.h"
#include "console/StopSignals.h"

namespace vrk {
namespace {

struct CreateOptions {
  std::string archive;
  PackOptions pack;
  NewArchiveOptions fresh;
};

int RunCreate(const CreateOptions& o) {
  CheckNewArchive(o.archive, o.fresh);
  if (!o.pack.stampText.empty()) ParseVersion(o.pack.stampText);  // usage errors first
  CatchStopSignals();
  TreeInputs inputs = CollectPackInputs(o.pack);
  return AllOrNothing("no archive written",
                      [&] { return WriteNewArchive(o.archive, inputs, o.pack, o.fresh); });
}

}  // namespace

void AddCreateCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<CreateOptions>();
  CLI::App* cmd = app.add_subcommand(
      "create", "Pack files and directory trees (recursively) into a new archive");
  cmd->alias("c");
  cmd->add_option("archive", o->archive,
                  "Archive to create (replaced if it exists); advanced archives end in .vrk")
      ->required();
  cmd->add_option("paths", o->pack.paths, "Files and directories to pack");
  AddNewArchiveOptions(cmd, o->fresh);
  AddPackOptions(cmd, o->pack);
  cmd->add_option("--level", o->pack.level,
                  "Compression effort, 1 (fastest) to 9 (smallest); other levels than the "
                  "default 8 write other (standard) streams than the library does")
      ->check(CLI::Range(1, 9))
      ->type_name("N");
  cmd->callback([o, &action] { action = [o] { return RunCreate(*o); }; });
}

}  // namespace vrk
