// vrk create: packs files and directory trees into a new archive.
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>

#include <memory>

#include "ArchiveNaming.h"
#include "Commands.h"
#include "ErrorReport.h"
#include "FreshArchive.h"
#include "PacketHandle.h"
#include "Packing.h"
#include "StopSignals.h"

namespace vrk {
namespace {

struct CreateOptions {
  std::string archive;
  PackOptions pack;
  bool basic = false;
  bool encipher = false;
  bool scramble = false;
  unsigned tableSize = 0;
};

// Room for every file and the name list at half load or less, so that
// insertions rarely collide and the tables need not grow.
unsigned DefaultTableSize(size_t files) {
  uint64_t want = 2 * (static_cast<uint64_t>(files) + 1);
  uint64_t size = 16;
  while (size < want && size < (1u << 30)) size *= 2;
  return static_cast<unsigned>(size);
}

int RunCreate(const CreateOptions& o) {
  const bool advanced = !o.basic;
  if (advanced && !HasVrkExtension(o.archive))
    throw UsageError(o.archive + ": an advanced archive's name must end in .vrk (or use --basic)");
  if (o.basic && o.encipher) throw UsageError("--encipher is for advanced archives; use --scramble");
  if (advanced && o.scramble) throw UsageError("--scramble is for basic archives; use --encipher");
  Version version = o.pack.versionText.empty() ? Version{} : ParseVersion(o.pack.versionText);
  CatchStopSignals();

  TreeInputs inputs = CollectPackInputs(o.pack);
  DropArchiveFiles(inputs, ArchiveDiskFiles(o.archive, advanced), o.pack.quiet);
  const unsigned flags = (advanced ? VRK_CREATE_ADVANCED : 0u) | (o.encipher || o.scramble ? 2u : 0u);
  const size_t entries = inputs.files.size() + (o.pack.noAttributes ? 0 : 1);
  const unsigned tableSize = o.tableSize ? o.tableSize : DefaultTableSize(entries);

  // The new archive is written beside the old one and takes its place only
  // when it is complete; until then the old one stays as it was.
  FreshArchive fresh(o.archive, advanced);
  PackResult result;
  {
    Packet packet = Packet::Create(fresh.TemporaryPath(), flags, tableSize, version);
    result = PackFiles(packet, inputs, o.pack, false);
  }
  if (result.interrupted) throw StopRequest(StopRequested());
  StopIfRequested();
  if (result.problems && result.files == 0)
    throw ToolError(o.archive + ": nothing could be packed; no archive written");
  fresh.Place();
  return FinishPack(o.archive, result, o.pack.quiet);
}

}  // namespace

void AddCreateCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<CreateOptions>();
  CLI::App* cmd = app.add_subcommand(
      "create", "Pack files and directory trees (recursively) into a new archive");
  cmd->add_option("archive", o->archive,
                  "Archive to create (replaced if it exists); advanced archives end in .vrk")
      ->required();
  cmd->add_option("paths", o->pack.paths, "Files and directories to pack")->required();
  cmd->add_flag("--basic", o->basic, "Create the basic variant (one file, no checksums)");
  cmd->add_option("--table-size", o->tableSize,
                  "Hash table entries (rounded up to a power of two; default: room for the files)")
      ->check(CLI::Range(2u, 0x80000000u));
  cmd->add_flag("--encipher", o->encipher, "Encipher the tables (advanced archives)");
  cmd->add_flag("--scramble", o->scramble, "Scramble the block table (basic archives)");
  AddPackOptions(cmd, o->pack);
  cmd->callback([o, &action] { action = [o] { return RunCreate(*o); }; });
}

}  // namespace vrk
