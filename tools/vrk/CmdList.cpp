// vrk list: the names in an archive, one per line, as spelled when the tree
// record keeps them; -l adds sizes, ratio, flags, version, mode and time;
// --json for scripts. Symbolic links and empty directories are listed too;
// the archive's own entries only with --all.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>

#include "ArchiveNaming.h"
#include "ArchiveTree.h"
#include "Commands.h"
#include "FileFacts.h"
#include "PacketHandle.h"
#include "PrintableText.h"

namespace vrk {
namespace {

struct ListOptions {
  std::string archive;
  bool details = false;
  bool json = false;
  bool all = false;
};

// "-rwxr-xr-x", as ls shows it.
std::string ModeText(const TreeEntry& e) {
  const char type = e.kind == EntryKind::kDirectory ? 'd' : e.kind == EntryKind::kLink ? 'l' : '-';
  std::string s(1, type);
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
  return s;
}

bool Listed(const TreeItem& item) {
  return item.entry.kind != EntryKind::kDirectory || item.emptyDirectory;
}

nlohmann::json ItemJson(const Packet& packet, const TreeItem& item) {
  static const char* kTypes[] = {"file", "directory", "link"};
  const EntryKind kind = item.entry.kind;
  nlohmann::json j = item.IsFile() ? ToJson(GetFileFacts(packet, item.entry.name))
                                   : nlohmann::json{{"name", item.entry.name}};
  j["type"] = kTypes[kind == EntryKind::kFile ? 0 : kind == EntryKind::kDirectory ? 1 : 2];
  if (kind == EntryKind::kLink) j["target"] = item.entry.target;
  if (item.attributes) {
    j["mode"] = item.entry.mode;
    j["mtime"] = item.entry.seconds;
  }
  return j;
}

int RunList(const ListOptions& o) {
  Packet packet = Packet::Open(o.archive);
  ArchiveTree tree = ReadArchiveTree(packet);
  std::vector<TreeItem> items;
  if (o.all)
    for (const char* reserved : {kListFileName, kRecordFileName})
      if (packet.Contains(reserved)) items.push_back({TreeEntry::File(reserved), false, false});
  for (TreeItem& item : tree.items)
    if (Listed(item)) items.push_back(std::move(item));

  if (o.json) {
    nlohmann::json files = nlohmann::json::array();
    for (const TreeItem& item : items) files.push_back(ItemJson(packet, item));
    std::cout << files.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return 0;
  }
  if (!o.details) {
    for (const TreeItem& item : items) std::printf("%s\n", Shown(item, false).c_str());
    return 0;
  }
  const char* row = "%10s %10s %6s %5s %-12s %-10s %-16s %s\n";
  std::printf(row, "stored", "original", "ratio", "flags", "version", "mode", "modified", "name");
  for (const TreeItem& item : items) {
    const std::string mode = item.attributes ? ModeText(item.entry) : "-";
    const std::string time = item.attributes ? TimeText(item.entry.seconds) : "-";
    const std::string name = Shown(item, true);
    if (!item.IsFile()) {
      std::printf(row, "-", "-", "-", "-", "-", mode.c_str(), time.c_str(), name.c_str());
      continue;
    }
    const FileFacts f = GetFileFacts(packet, item.entry.name);
    if (!f.present) {
      std::printf(row, "-", "-", "-", "-", "missing", mode.c_str(), time.c_str(), name.c_str());
      continue;
    }
    std::printf(row, std::to_string(f.storedSize).c_str(), std::to_string(f.originalSize).c_str(),
                FormatRatio(f.storedSize, f.originalSize).c_str(), f.Compressed() ? "c" : "-",
                FormatVersion(f.versionHigh, f.versionLow).c_str(), mode.c_str(), time.c_str(),
                name.c_str());
  }
  return 0;
}

}  // namespace

void AddListCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<ListOptions>();
  CLI::App* cmd = app.add_subcommand("list", "List the files in an archive");
  cmd->add_option("archive", o->archive, "Archive to list")->required();
  cmd->add_flag("-l,--long", o->details,
                "Show stored size, original size, ratio, flags (c = compressed), version, mode "
                "and modification time");
  cmd->add_flag("--json", o->json, "Write the listing as JSON");
  cmd->add_flag("--all", o->all, "Also list the archive's own entries, " + std::string(kListFileName) +
                                     " and " + kRecordFileName);
  cmd->callback([o, &action] { action = [o] { return RunList(*o); }; });
}

}  // namespace vrk
