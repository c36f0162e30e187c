// vrk list: the names in an archive (all, or those the given names and
// patterns select), one per line, as spelled when the tree record keeps
// them; -l adds mode, size, stored size, space saved and time, and a totals
// line; --json for scripts. Symbolic links and empty directories are listed
// too; the archive's own entries only with --all.
#include <CLI/CLI.hpp>

#include <sys/sysmacros.h>

#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>

#include "archive/RemoteArchive.h"
#include "archive/ArchiveNaming.h"
#include "tree/ArchiveTree.h"
#include "commands/Commands.h"
#include "console/Counted.h"
#include "console/ErrorReport.h"
#include "tree/FileFacts.h"
#include "tree/NameListFile.h"
#include "tree/NamePattern.h"
#include "archive/PacketHandle.h"
#include "console/PrintableText.h"

namespace vrk {
namespace {

struct ListOptions {
  std::string archive;
  std::vector<std::string> names;
  std::string filesFrom;
  bool details = false;
  bool human = false;
  bool json = false;
  bool all = false;
};

// The type letter of a mode as tar -tv shows it: '-' file, 'd' directory,
// 'l' symbolic link, 'h' hard link, 'p' FIFO, 'c' and 'b' devices.
char TypeLetter(EntryKind kind) {
  switch (kind) {
    case EntryKind::kFile:
      return '-';
    case EntryKind::kHardLink:
      return 'h';
    case EntryKind::kFifo:
      return 'p';
    default:
      return static_cast<char>(kind);  // 'd', 'l', 'c', 'b'
  }
}

// "-rwxr-xr-x", as ls shows it.
std::string ModeText(const TreeEntry& e) {
  std::string s(1, TypeLetter(e.kind));
  const char* rwx = "rwxrwxrwx";
  for (int bit = 8; bit >= 0; --bit) s += (e.mode >> bit) & 1 ? rwx[8 - bit] : '-';
  auto special = [&s](size_t at, bool set, char on, char onWithoutX) {
    if (set) s[at] = s[at] == '-' ? onWithoutX : on;
  };
  special(3, e.mode & S_ISUID, 's', 'S');
  special(6, e.mode & S_ISGID, 's', 'S');
  special(9, e.mode & S_ISVTX, 't', 'T');
  return s;
}

std::string TimeText(int64_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  struct tm local {};
  char buf[32];
  if (!localtime_r(&t, &local) || !std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &local))
    return "-";
  return buf;
}

// What a line names: a directory ends in '/', a link shows its target in -l.
std::string Shown(const TreeItem& item, bool details) {
  std::string s = Printable(item.entry.name);
  if (item.entry.kind == EntryKind::kDirectory) s += '/';
  if (details && item.entry.kind == EntryKind::kLink) s += " -> " + Printable(item.entry.target);
  if (details && item.entry.kind == EntryKind::kHardLink)
    s += " link to " + Printable(item.entry.target);
  return s;
}

bool Listed(const TreeItem& item) {
  return item.entry.kind != EntryKind::kDirectory || item.emptyDirectory;
}

const char* TypeName(EntryKind kind) {
  switch (kind) {
    case EntryKind::kFile:
      return "file";
    case EntryKind::kDirectory:
      return "directory";
    case EntryKind::kLink:
      return "link";
    case EntryKind::kHardLink:
      return "hardlink";
    case EntryKind::kFifo:
      return "fifo";
    case EntryKind::kCharDevice:
      return "chardev";
    default:
      return "blockdev";
  }
}

nlohmann::json ItemJson(const Packet& packet, const TreeRecord& record, const TreeItem& item) {
  const TreeEntry& e = item.entry;
  nlohmann::json j = item.IsFile() ? ToJson(GetFileFacts(packet, StoredName(e)))
                                   : nlohmann::json{{"name", e.name}};
  j["name"] = e.name;
  if (e.alias) j["stored_as"] = StoredName(e);
  j["type"] = TypeName(e.kind);
  if (e.kind == EntryKind::kLink || e.kind == EntryKind::kHardLink) j["target"] = e.target;
  if (e.kind == EntryKind::kCharDevice || e.kind == EntryKind::kBlockDevice) {
    j["major"] = major(static_cast<dev_t>(e.device));
    j["minor"] = minor(static_cast<dev_t>(e.device));
  }
  if (item.attributes) {
    j["mode"] = e.mode;
    j["mtime"] = e.seconds;
    if (const Owner* owner = record.OwnerOf(e)) {
      j["uid"] = owner->uid;
      j["gid"] = owner->gid;
      j["user"] = owner->user;
      j["group"] = owner->group;
    }
  }
  return j;
}

// Bytes as they are, or with -h in K, M and G (powers of 1024) as ls -h
// shows them.
std::string SizeText(uint64_t bytes, bool human) {
  if (!human || bytes < 1024) return std::to_string(bytes);
  const char* units = "KMGT";
  double value = static_cast<double>(bytes) / 1024;
  while (value >= 1024 && units[1]) {
    value /= 1024;
    ++units;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, value < 10 ? "%.1f%c" : "%.0f%c", value, *units);
  return buf;
}

// Space saved as zip counts it: 1 - stored/size, as a percentage.
std::string SavedText(uint64_t stored, uint64_t size) {
  char buf[16];
  const double saved = size ? 100.0 * (1.0 - static_cast<double>(stored) / static_cast<double>(size)) : 0.0;
  std::snprintf(buf, sizeof buf, "%.0f%%", saved);
  return buf;
}

void PrintLong(const Packet& packet, const std::vector<TreeItem>& items, bool human) {
  const char* row = "%-10s %10s %10s %6s %-16s %s\n";
  std::printf(row, "mode", "size", "stored", "saved", "modified", "name");
  uint64_t files = 0, size = 0, stored = 0;
  for (const TreeItem& item : items) {
    const std::string mode = item.attributes ? ModeText(item.entry) : "-";
    const std::string time = item.attributes ? TimeText(item.entry.seconds) : "-";
    const std::string name = Shown(item, true);
    const FileFacts f = item.IsFile() ? GetFileFacts(packet, StoredName(item.entry)) : FileFacts{};
    if (!f.present) {
      const char* what = item.IsFile() ? "missing" : "-";
      std::printf(row, mode.c_str(), "-", "-", what, time.c_str(), name.c_str());
      continue;
    }
    ++files;
    size += f.originalSize;
    stored += f.storedSize;
    std::printf(row, mode.c_str(), SizeText(f.originalSize, human).c_str(),
                SizeText(f.storedSize, human).c_str(), SavedText(f.storedSize, f.originalSize).c_str(),
                time.c_str(), name.c_str());
  }
  std::printf(row, "", SizeText(size, human).c_str(), SizeText(stored, human).c_str(),
              SavedText(stored, size).c_str(), "", Counted(files, "file").c_str());
}

int RunList(const ListOptions& o) {
  std::vector<std::string> names = o.names;
  AppendNameList(names, o.filesFrom);
  Packet packet = Packet::Open(o.archive);
  ArchiveTree tree = ReadArchiveTree(packet);
  NameSelection selection(std::move(names));
  std::vector<TreeItem> items;
  if (o.all && selection.All())
    for (const char* reserved : {kListFileName, kRecordFileName})
      if (packet.Contains(reserved)) items.push_back({TreeEntry::File(reserved), false, false});
  for (TreeItem& item : SelectTreeItems(packet, tree, selection))
    if (Listed(item)) items.push_back(std::move(item));

  if (o.json) {
    nlohmann::json files = nlohmann::json::array();
    for (const TreeItem& item : items) files.push_back(ItemJson(packet, tree.record.record, item));
    std::cout << files.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  } else if (o.details) {
    PrintLong(packet, items, o.human);
  } else {
    for (const TreeItem& item : items) std::printf("%s\n", Shown(item, false).c_str());
  }
  std::fflush(stdout);
  const bool unmatched = selection.ReportUnmatched(ShownUrl(o.archive));
  return unmatched || !tree.record.problem.empty() ? kExitWarnings : 0;
}

// The usage lines of list, where -h means human sizes: the second names
// the help option, so that no one takes -h for it.
class ListUsage : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App* app, std::string name) const override {
    return CLI::Formatter::make_usage(app, name) + "       " + name +
           " --help     (-h is --human-readable)\n";
  }
};

}  // namespace

void AddListCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<ListOptions>();
  CLI::App* cmd = app.add_subcommand("list", "List the files in an archive");
  // tar's t (and tf), 7z's l.
  for (const char* alias : {"ls", "t", "tf", "l"}) cmd->alias(alias);
  // -h is human units here, as for ls and du.
  cmd->set_help_flag("--help", "Print this help message and exit");
  cmd->formatter(std::make_shared<ListUsage>());
  cmd->add_option("archive", o->archive, "Archive to list (a path, or an http:// or https:// URL)")->required();
  AddHeaderOption(cmd);
  cmd->add_option("names", o->names,
                  "Names, directories (all below them) or wildcard patterns to list (default: all)");
  AddFilesFromOption(cmd, o->filesFrom, "the NAMES");
  cmd->add_flag("-l,--long", o->details,
                "Show mode, size, stored size, space saved, modification time and a totals line");
  cmd->add_flag("-v,--verbose", o->details, "The same as -l, as tar -tv lists");
  cmd->add_flag("-h,--human-readable", o->human, "With -l, sizes in K, M and G (powers of 1024)");
  cmd->add_flag("--json", o->json, "Write the listing as JSON (sizes in bytes)");
  cmd->add_flag("--all", o->all, "Also list the archive's own entries, " + std::string(kListFileName) +
                                     " and " + kRecordFileName);
  cmd->callback([o, &action] { action = [o] { return RunList(*o); }; });
}

}  // namespace vrk
