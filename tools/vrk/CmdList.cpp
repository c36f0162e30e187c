// vrk list: the names in an archive, one per line; -l adds sizes, ratio,
// flags and version; --json for scripts.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>

#include "ArchiveNaming.h"
#include "PrintableText.h"
#include "Commands.h"
#include "FileFacts.h"
#include "PacketHandle.h"

namespace vrk {
namespace {

struct ListOptions {
  std::string archive;
  bool details = false;
  bool json = false;
};

int RunList(const ListOptions& o) {
  Packet packet = Packet::Open(o.archive);
  if (o.json) {
    nlohmann::json files = nlohmann::json::array();
    for (const FileFacts& f : GetAllFileFacts(packet)) files.push_back(ToJson(f));
    std::cout << files.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return 0;
  }
  if (!o.details) {
    for (const std::string& name : packet.Names()) std::printf("%s\n", Printable(name).c_str());
    return 0;
  }
  std::printf("%10s %10s %6s %5s %-12s %s\n", "stored", "original", "ratio", "flags", "version",
              "name");
  for (const FileFacts& f : GetAllFileFacts(packet)) {
    if (!f.present) {
      std::printf("%10s %10s %6s %5s %-12s %s\n", "-", "-", "-", "-", "missing", Printable(f.name).c_str());
      continue;
    }
    std::printf("%10u %10u %6s %5s %-12s %s\n", f.storedSize, f.originalSize,
                FormatRatio(f.storedSize, f.originalSize).c_str(), f.Compressed() ? "c" : "-",
                FormatVersion(f.versionHigh, f.versionLow).c_str(), Printable(f.name).c_str());
  }
  return 0;
}

}  // namespace

void AddListCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<ListOptions>();
  CLI::App* cmd = app.add_subcommand("list", "List the files in an archive");
  cmd->add_option("archive", o->archive, "Archive to list")->required();
  cmd->add_flag("-l,--long", o->details,
                "Show stored size, original size, ratio, flags (c = compressed) and version");
  cmd->add_flag("--json", o->json, "Write the listing as JSON");
  cmd->callback([o, &action] { action = [o] { return RunList(*o); }; });
}

}  // namespace vrk
