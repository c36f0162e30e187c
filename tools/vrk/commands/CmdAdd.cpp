// vrk add: adds files to an archive, replacing files of the same name
// unless --keep; an archive that does not exist yet is created, as zip does.
// The add is one commit: a failure or a stop signal leaves nothing of it.
#include <CLI/CLI.hpp>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "archive/ArchiveNaming.h"
#include "commands/Commands.h"
#include "console/ErrorReport.h"
#include "archive/NewArchive.h"
#include "archive/PacketHandle.h"
#include "archive/Packing.h"
#include "archive/TemporaryArchive.h"
#include "tree/PathSafety.h"
#include "tree/RecordStore.h"
#include "console/StopSignals.h"

namespace vrk {
namespace {

struct AddOptions {
  std::string archive;
  PackOptions pack;
  std::string as;
  bool keep = false;
};

// The name --as gives, held to the rules the names create stores obey:
// relative, no '..', no line break, not reserved, short enough; '/' or '\'
// between components as --backslash says.
std::string StorableAsName(const std::string& as, bool backslash) {
  std::vector<std::string> components;
  std::string reason;
  if (!SplitSafeName(as, &components, &reason))
    throw UsageError("--as '" + as + "': a name inside the archive must be relative, without "
                     "'..' components or a drive letter");
  const std::string name = JoinName(components, backslash);
  if (name.size() > kMaxNameLength)
    throw UsageError("--as: names are at most " + std::to_string(kMaxNameLength) + " bytes");
  if (name.find_first_of("\n\r") != std::string::npos)
    throw UsageError("--as: a name cannot contain a line break");
  if (IsReservedName(name)) throw UsageError("--as: '" + as + "' is reserved for the archive's own use");
  return name;
}

bool ArchiveMissing(const std::string& archive) {
  struct stat st;
  return stat(archive.c_str(), &st) != 0 && errno == ENOENT;
}

int RunAdd(const AddOptions& o) {
  if (!o.pack.stampText.empty()) ParseVersion(o.pack.stampText);  // usage errors first
  const std::string as = o.as.empty() ? "" : StorableAsName(o.as, o.pack.backslash);
  if (!as.empty() && o.pack.paths.size() != 1) throw UsageError("--as takes exactly one file");
  const bool missing = ArchiveMissing(o.archive);
  if (missing && !HasVrkExtension(o.archive))
    throw UsageError(o.archive + ": no such archive; 'vrk add' creates advanced archives "
                     "(ending in .vrk); use 'vrk create --basic' for a basic one");
  CatchStopSignals();

  TreeInputs inputs = CollectPackInputs(o.pack);
  if (!as.empty()) {
    if (inputs.problems) return kExitFailure;  // already named
    if (inputs.files.size() != 1 || inputs.entries.size() != 1)
      throw UsageError("--as takes a single file, not a directory or link");
    inputs.files[0].name = inputs.entries[0].name = as;
    inputs.files[0].needsAlias = false;
  }
  return AllOrNothing("nothing was added", [&] {
    if (missing) return WriteNewArchive(o.archive, inputs, o.pack, NewArchiveOptions{});
    RemoveStaleTemporaries(o.archive);
    Packet packet = Packet::Open(o.archive);
    DropArchiveFiles(inputs, ArchiveDiskFiles(o.archive, packet.Advanced()), o.pack.quiet);
    if (o.keep) {
      const StoredRecord stored = LoadTreeRecord(packet);
      std::vector<InputFile> fresh;
      for (InputFile& f : inputs.files) {
        if (AlreadyHeld(packet, stored, f.name))
          inputs.entries[f.entry].name.clear();  // kept as it is, record entry too
        else
          fresh.push_back(std::move(f));
      }
      inputs.files = std::move(fresh);
    }
    PackResult result = PackFiles(packet, inputs, o.pack, !o.keep);
    return FinishPack(o.archive, result, o.pack.quiet);
  });
}

}  // namespace

void AddAddCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<AddOptions>();
  CLI::App* cmd = app.add_subcommand(
      "add", "Add files to an archive (created as by create if it does not exist); a file of "
             "the same name is replaced unless --keep");
  cmd->alias("a");
  cmd->add_option("archive", o->archive, "Archive to add to")->required();
  cmd->add_option("paths", o->pack.paths, "Files and directories to add");
  cmd->add_option("--as", o->as, "Name inside the archive for a single added file");
  cmd->add_flag("--keep", o->keep, "Keep files already in the archive instead of replacing them");
  AddPackOptions(cmd, o->pack);
  cmd->callback([o, &action] { action = [o] { return RunAdd(*o); }; });
}

}  // namespace vrk
