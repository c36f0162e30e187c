// vrk cat: writes one file of an archive to standard output.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "commands/Commands.h"
#include "console/ErrorReport.h"
#include "archive/PacketHandle.h"
#include "archive/PacketRead.h"
#include "tree/RecordStore.h"

namespace vrk {
namespace {

struct CatOptions {
  std::string archive;
  std::string name;
};

// Where the data of `name` is stored: the record's file (or the file a hard
// link of that name shares), found exactly first and then regardless of
// case when one entry matches so; else the name as it is.
std::string StoredNameOf(const Packet& packet, const std::string& name) {
  const StoredRecord stored = LoadTreeRecord(packet);
  const TreeEntry* e = stored.record.Find(name);
  if (e && e->kind == EntryKind::kHardLink) e = stored.record.FindExact(e->target);
  if (e && e->kind == EntryKind::kFile && packet.Contains(StoredName(*e))) return StoredName(*e);
  return name;
}

int RunCat(const CatOptions& o) {
  Packet packet = Packet::Open(o.archive);
  EntryBytes data = ReadEntry(packet, StoredNameOf(packet, o.name));
  if ((data.Size() > 0 && std::fwrite(data.Data(), 1, data.Size(), stdout) != data.Size()) ||
      std::fflush(stdout) != 0)
    throw ToolError(SystemProblem("standard output", errno));
  return 0;
}

}  // namespace

void AddCatCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<CatOptions>();
  CLI::App* cmd = app.add_subcommand("cat", "Write one file of an archive to standard output");
  cmd->add_option("archive", o->archive, "Archive to read (a path, or an http:// or https:// URL)")->required();
  AddHeaderOption(cmd);
  cmd->add_option("name", o->name, "Name of the file inside the archive")->required();
  cmd->callback([o, &action] { action = [o] { return RunCat(*o); }; });
}

}  // namespace vrk
