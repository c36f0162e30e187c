// vrk delete: removes files from an archive, by name, directory (all below
// it) or wildcard pattern, in one commit: a failure or a stop signal leaves
// them all.
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>

#include <cstdio>
#include <memory>
#include <set>

#include "archive/HardLinkHeir.h"
#include "tree/ArchiveTree.h"
#include "commands/Commands.h"
#include "console/ErrorReport.h"
#include "tree/NameListFile.h"
#include "tree/NamePattern.h"
#include "archive/PacketHandle.h"
#include "console/PrintableText.h"
#include "tree/RecordStore.h"
#include "console/StopSignals.h"

namespace vrk {
namespace {

struct DeleteOptions {
  std::string archive;
  std::vector<std::string> names;
  std::string filesFrom;
  bool verbose = false;
};

int RunDelete(const DeleteOptions& o) {
  std::vector<std::string> names = o.names;
  AppendNameList(names, o.filesFrom);
  if (names.empty()) throw UsageError("nothing to delete: name the files, or list them with -T FILE");
  CatchStopSignals();
  Packet packet = Packet::Open(o.archive);
  std::vector<std::string> patterns;
  size_t refused = 0;
  for (std::string& name : names) {
    if (!IsReservedName(name)) {
      patterns.push_back(std::move(name));
      continue;
    }
    PrintProblem(packet.About(name) + ": the archive's own entry, not deleted");
    ++refused;
  }
  if (patterns.empty()) return kExitFailure;  // no pattern: a selection would take everything

  NameSelection selection(std::move(patterns));
  AllOrNothing("nothing was deleted", [&] {
    ArchiveTree tree = ReadArchiveTree(packet);
    StoredRecord& stored = tree.record;
    const std::vector<TreeItem> items = SelectTreeItems(packet, tree, selection);
    bool recordChanged = false;
    std::set<std::string> leaving;
    for (const TreeItem& item : items)
      if (!item.entry.IsDirectory()) leaving.insert(item.entry.name);
    // One bracket: a failure or a stop signal anywhere rolls all of it back.
    UpdateBracket bracket(packet);
    for (const TreeItem& item : items) {
      StopIfRequested();
      if (item.IsFile() && item.attributes && stored.problem.empty()) {
        // Hard links that stay keep the data.
        const size_t before = stored.record.HardLinksTo(item.entry.name).size();
        PassOnHardLinks(packet, stored.record, item.entry.name, leaving, packet.Stamp());
        recordChanged |= before != 0;
      }
      // Links, directories, FIFOs and devices live in the record only.
      recordChanged |= item.attributes && stored.record.FindExact(item.entry.name) &&
                       stored.record.Forget(item.entry.name);
      const std::string name = StoredName(item.entry);
      if (item.IsFile() && packet.Contains(name)) {
        int rc = packet->DeleteFile(name.c_str());
        if (rc != 0) throw packet.Failure(rc, name);
      }
      if (o.verbose)
        std::printf("%s%s\n", Printable(item.entry.name).c_str(),
                    item.entry.kind == EntryKind::kDirectory ? "/" : "");
    }
    if (recordChanged && stored.problem.empty()) StoreTreeRecord(packet, stored.record, packet.Stamp());
    StopIfRequested();
    bracket.Commit();
    return 0;
  });
  std::fflush(stdout);
  return selection.ReportUnmatched(o.archive) || refused ? kExitFailure : 0;
}

}  // namespace

void AddDeleteCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<DeleteOptions>();
  CLI::App* cmd = app.add_subcommand(
      "delete", "Remove files from an archive (their space is reclaimed by compact)");
  cmd->alias("rm");
  cmd->add_option("archive", o->archive, "Archive to change")->required();
  cmd->add_option("names", o->names,
                  "Names, directories (all below them) or wildcard patterns of the files to remove");
  AddFilesFromOption(cmd, o->filesFrom, "the NAMES");
  cmd->add_flag("-v,--verbose", o->verbose, "Name each file as it is removed");
  cmd->callback([o, &action] { action = [o] { return RunDelete(*o); }; });
}

}  // namespace vrk
