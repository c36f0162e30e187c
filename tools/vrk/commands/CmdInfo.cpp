// vrk info: what kind of archive this is and what it holds.
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>
#include <sys/stat.h>

#include <cstdio>
#include <iostream>
#include <memory>

#include "archive/RemoteArchive.h"
#include "archive/ArchiveNaming.h"
#include "commands/Commands.h"
#include "tree/FileFacts.h"
#include "archive/HeaderFields.h"
#include "archive/PacketHandle.h"
#include "console/ProgressBar.h"

namespace vrk {
namespace {

struct InfoOptions {
  std::string archive;
  bool json = false;
};

std::string DescribeFlags(uint32_t flags, bool advanced) {
  std::string s;
  auto add = [&s](const char* word) { s += s.empty() ? word : std::string(", ") + word; };
  if (advanced) add("advanced");
  if (flags & 1u) add("holes");
  if (flags & 6u) add(advanced ? "enciphered" : "scrambled");
  return s.empty() ? "none" : s;
}

int RunInfo(const InfoOptions& o) {
  Packet packet = Packet::Open(o.archive);
  const bool advanced = packet.Advanced();
  const uint32_t flags = packet->GetPacketFlags();
  uint32_t high = 0, low = 0, base = 0;
  packet->GetPacketVersion(&high, &low, &base);
  const unsigned entries = packet->GetFileCount();
  const bool record = packet.Contains(kRecordFileName);
  // Without the archive's own entries: the name list and the tree record.
  const unsigned files = entries > 1u + record ? entries - 1u - record : 0;

  uint64_t original = 0, stored = 0;
  for (const FileFacts& f : GetAllFileFacts(packet)) {
    original += f.originalSize;
    stored += f.storedSize;
  }

  HeaderFields header = ReadHeaderFields(o.archive, advanced);
  bool wastedKnown = header.read && header.hasWastedBytes;
  uint64_t wasted = header.wastedBytes;
  if (header.read && !advanced) {
    // The basic header keeps no count: the holes are the data area minus the
    // bytes of the files in it (the name list included).
    uint64_t used = 48 + stored + packet->GetFileStoredSize(kListFileName);
    wastedKnown = header.dataEnd >= used;
    wasted = wastedKnown ? header.dataEnd - used : 0;
  }

  std::vector<std::pair<std::string, uint64_t>> diskSizes;
  nlohmann::json disk = nlohmann::json::object();
  uint64_t diskTotal = 0;
  // An archive at a URL has no files on this disk to measure.
  const std::vector<std::string> local =
      IsUrl(o.archive) ? std::vector<std::string>() : ArchiveDiskFiles(o.archive, advanced);
  for (const std::string& path : local) {
    struct stat st;
    uint64_t size = stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    diskSizes.emplace_back(path, size);
    disk[path] = size;
    diskTotal += size;
  }

  if (o.json) {
    nlohmann::json j;
    j["archive"] = ShownUrl(o.archive);
    j["variant"] = advanced ? "advanced" : "basic";
    j["stamp"] = {{"high", high}, {"low", low}};
    j["base_version"] = base;
    j["flags"] = flags;
    j["files"] = files;
    j["tree_record"] = record;
    j["table_size"] = header.read ? nlohmann::json(header.tableSize) : nlohmann::json();
    j["wasted_bytes"] = wastedKnown ? nlohmann::json(wasted) : nlohmann::json();
    j["original_bytes"] = original;
    j["stored_bytes"] = stored;
    j["disk"] = disk;
    j["disk_total"] = diskTotal;
    std::cout << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return 0;
  }

  std::printf("archive:       %s\n", ShownUrl(o.archive).c_str());
  std::printf("variant:       %s\n", advanced ? "advanced" : "basic");
  std::printf("stamp:         %s\n", FormatVersion(high, low).c_str());
  std::printf("base version:  %u\n", base);
  std::printf("flags:         0x%08x (%s)\n", flags, DescribeFlags(flags, advanced).c_str());
  std::printf("files:         %u\n", files);
  std::printf("tree record:   %s\n", record ? "yes (spelled names, modes, times, links, directories)"
                                             : "no");
  if (header.read) std::printf("table size:    %u\n", header.tableSize);
  if (wastedKnown) std::printf("wasted bytes:  %llu\n", static_cast<unsigned long long>(wasted));
  std::printf("content:       %s stored in %s (%s)\n", FormatBytes(original).c_str(),
              FormatBytes(stored).c_str(), FormatRatio(stored, original).c_str());
  std::string onDisk;
  for (const auto& [path, size] : diskSizes)
    onDisk += (onDisk.empty() ? "" : ", ") + path + " " + std::to_string(size);
  if (!local.empty())
    std::printf("on disk:       %s (total %llu bytes)\n", onDisk.c_str(),
                static_cast<unsigned long long>(diskTotal));
  return 0;
}

}  // namespace

void AddInfoCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<InfoOptions>();
  CLI::App* cmd = app.add_subcommand(
      "info", "Show variant, version stamp, flags, file count, table size and sizes on disk");
  cmd->add_option("archive", o->archive, "Archive to describe (a path, or an http:// or https:// URL)")->required();
  AddHeaderOption(cmd);
  cmd->add_flag("--json", o->json, "Write the description as JSON");
  cmd->callback([o, &action] { action = [o] { return RunInfo(*o); }; });
}

}  // namespace vrk
