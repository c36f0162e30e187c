// vrk extract: writes all or the named files below a directory, never
// outside it, under their spelled names and with their modes and times when
// the archive keeps a tree record; links and empty directories too.
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>

#include <algorithm>
#include <memory>

#include "ArchiveNaming.h"
#include "ArchiveTree.h"
#include "Commands.h"
#include "ErrorReport.h"
#include "ExtractTarget.h"
#include "LinkPolicy.h"
#include "PacketHandle.h"
#include "PacketRead.h"
#include "ProgressBar.h"
#include "StopSignals.h"

namespace vrk {
namespace {

struct ExtractOptions {
  std::string archive;
  std::vector<std::string> names;
  std::string dir = ".";
  bool unsafePaths = false;
  bool quiet = false;
};

// True when `name` lies below the directory `dir`, in any letter case as
// the archive compares names.
bool Below(const std::string& name, const std::string& dir) {
  return name.size() > dir.size() && LowerAscii(name.substr(0, dir.size())) == LowerAscii(dir) &&
         (name[dir.size()] == '/' || name[dir.size()] == '\\');
}

// The items named on the command line: files by their archive name (any
// case), links and directories of the record, and for a directory all below
// it. Unknown names are reported and counted in `missing`.
std::vector<TreeItem> Selected(const Packet& packet, const ArchiveTree& tree,
                               const std::vector<std::string>& names, int* missing) {
  const TreeRecord& record = tree.record.record;
  std::vector<TreeItem> items;
  for (const std::string& name : names) {
    if (packet.Contains(name)) {
      const TreeEntry* e = record.FindFile(name);
      items.push_back({e ? *e : TreeEntry::File(name), e != nullptr, false});
      continue;
    }
    const size_t before = items.size();
    if (const TreeEntry* e = record.Find(name)) items.push_back({*e, true, false});
    for (const TreeItem& item : tree.items)
      if (Below(item.entry.name, name)) items.push_back(item);
    if (items.size() == before) {
      PrintProblem(packet.About(name) + ": not in the archive");
      ++*missing;
    }
  }
  return items;
}

size_t Depth(const std::string& name) {
  return static_cast<size_t>(std::count_if(name.begin(), name.end(),
                                           [](char c) { return c == '/' || c == '\\'; }));
}

class Extraction {
 public:
  Extraction(const ExtractOptions& o, const Packet& packet, const TreeRecord& record)
      : o_(o), packet_(packet), record_(record), target_(o.dir, o.unsafePaths) {}

  int Run(const std::vector<TreeItem>& items, int failures) {
    failures_ = failures;
    std::vector<const TreeItem*> files, links, directories;
    uint64_t totalBytes = 0;
    for (const TreeItem& item : items) {
      if (item.entry.kind == EntryKind::kDirectory) directories.push_back(&item);
      if (item.entry.kind == EntryKind::kLink) links.push_back(&item);
      if (!item.IsFile()) continue;
      files.push_back(&item);
      totalBytes += packet_->GetFileOriginalSize(item.entry.name.c_str());
    }
    ProgressBar bar("extracting", files.size(), totalBytes, o_.quiet);
    for (const TreeItem* d : directories) Try(bar, [&] { target_.MakeDirectory(d->entry.name); });
    for (const TreeItem* f : files) {
      StopIfRequested();
      Try(bar, [&] {
        EntryBytes data = ReadEntry(packet_, f->entry.name);
        target_.WriteFile(f->entry.name, data.Data(), data.Size(),
                          f->attributes ? &f->entry : nullptr);
        bar.Advance(data.Size());
      });
    }
    MakeLinks(bar, links);
    // Deepest first: a directory's time changes while things go into it.
    std::stable_sort(directories.begin(), directories.end(),
                     [](const TreeItem* a, const TreeItem* b) {
                       return Depth(a->entry.name) > Depth(b->entry.name);
                     });
    for (const TreeItem* d : directories)
      Try(bar, [&] { target_.RestoreDirectory(d->entry); });
    bar.Finish();
    return failures_ ? kExitFailure : 0;
  }

 private:
  void MakeLinks(ProgressBar& bar, const std::vector<const TreeItem*>& links) {
    std::vector<TreeEntry> all;
    for (const TreeEntry& e : record_.Entries())
      if (e.kind == EntryKind::kLink) all.push_back(e);
    const LinkPolicy policy(all, target_.Fd());
    for (const TreeItem* l : links) {
      StopIfRequested();
      Try(bar, [&] {
        std::string reason;
        if (!o_.unsafePaths && !policy.StaysInside(l->entry, &reason))
          throw ToolError(l->entry.name + ": symbolic link not made: it " + reason +
                          " (use --unsafe-paths to allow it)");
        target_.MakeLink(l->entry);
      });
    }
  }

  // Runs one step; its failure is reported and counted, and the rest goes on.
  template <class Step>
  void Try(ProgressBar& bar, Step step) {
    try {
      step();
    } catch (const StopRequest&) {
      throw;
    } catch (const ToolError& e) {
      bar.Finish();
      // Library errors already name the archive; the target's do not.
      std::string message = e.what();
      if (message.compare(0, o_.archive.size(), o_.archive) != 0) message = o_.archive + ": " + message;
      PrintProblem(message);
      ++failures_;
    }
  }

  const ExtractOptions& o_;
  const Packet& packet_;
  const TreeRecord& record_;
  ExtractTarget target_;
  int failures_ = 0;
};

int RunExtract(const ExtractOptions& o) {
  CatchStopSignals();
  Packet packet = Packet::Open(o.archive);
  const ArchiveTree tree = ReadArchiveTree(packet);
  int missing = 0;
  const std::vector<TreeItem> items =
      o.names.empty() ? tree.items : Selected(packet, tree, o.names, &missing);
  return Extraction(o, packet, tree.record.record).Run(items, missing);
}

}  // namespace

void AddExtractCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<ExtractOptions>();
  CLI::App* cmd = app.add_subcommand(
      "extract", "Extract all or the named files, recreating their directories, links, modes "
                 "and times");
  cmd->add_option("archive", o->archive, "Archive to extract from")->required();
  cmd->add_option("names", o->names, "Files to extract (default: all)");
  cmd->add_option("-C,--directory", o->dir, "Directory to extract into (created if missing)");
  cmd->add_flag("--unsafe-paths", o->unsafePaths,
                "Allow absolute names, drive letters, '..' and links leading outside the "
                "directory (writes outside it)");
  cmd->add_flag("-q,--quiet", o->quiet, "No progress bar");
  cmd->callback([o, &action] { action = [o] { return RunExtract(*o); }; });
}

}  // namespace vrk
