// vrk patch info: a patch file's level, its records per level, its block
// files and whether every record's entry in them is intact; with --archive,
// the names of the records' files.
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <optional>

#include "archive/ArchiveNaming.h"
#include "archive/RemoteArchive.h"
#include "commands/Commands.h"
#include "console/Counted.h"
#include "console/ErrorReport.h"
#include "archive/PacketHandle.h"
#include "patch/PatchBlocks.h"
#include "patch/PatchFile.h"
#include "console/PrintableText.h"

namespace vrk {
namespace {

struct PatchInfoOptions {
  std::string patch;
  std::string archive;
  bool json = false;
};

std::optional<std::string> NameOf(const std::map<NameHashes, std::string>& names,
                                  const PatchData& r) {
  auto found = names.find({r.hash0, r.hash1, r.hash2});
  if (found == names.end()) return std::nullopt;
  return found->second;
}

nlohmann::json ToJson(const BlockLevel& l) {
  return {{"level", l.level},     {"records", l.records}, {"block_file", l.path},
          {"present", l.present}, {"size", l.size},       {"damaged", l.damaged}};
}

nlohmann::json ToJson(const BlockEntry& e) {
  const PatchData& r = e.record;
  return {{"level", r.versionLow},
          {"version_high", r.versionHigh},
          {"offset", r.offset},
          {"stored_size", r.storedSize},
          {"original_size", r.originalSize},
          {"compressed", (r.flags & 1u) != 0},
          {"hashes", {r.hash0, r.hash1, r.hash2}},
          {"intact", e.state == EntryState::kIntact}};
}

void PrintText(const PatchInfoOptions& o, const PatchFile& patch, const BlockCheck& check,
               const std::map<NameHashes, std::string>& names) {
  std::printf("patch:         %s\n", ShownUrl(o.patch).c_str());
  std::printf("stamp:         %s\n", FormatVersion(patch.versionHigh, patch.versionLow).c_str());
  std::printf("records:       %s\n", DescribeRecords(patch).c_str());
  for (const BlockLevel& l : check.levels) {
    std::string file = l.present ? std::to_string(l.size) + " bytes" : "missing";
    if (l.damaged) file += ", " + std::to_string(l.damaged) + " damaged";
    const std::string label = "level " + std::to_string(l.level) + ":";
    std::printf("%-15s%s in %s (%s)\n", label.c_str(), Counted(l.records, "file").c_str(),
                l.path.c_str(), file.c_str());
  }
  std::printf("entries:       %s\n", check.Intact() ? "all intact" : "not all intact");
  if (o.archive.empty()) return;

  std::printf("\n%6s %10s %10s %5s %s\n", "level", "stored", "original", "flags", "name");
  for (const BlockEntry& e : check.entries) {
    const PatchData& r = e.record;
    std::optional<std::string> name = NameOf(names, r);
    char unknown[64];
    std::snprintf(unknown, sizeof unknown, "(not in the archive: %08x %08x %08x)", r.hash0, r.hash1,
                  r.hash2);
    std::printf("%6u %10u %10u %5s %s\n", r.versionLow, r.storedSize, r.originalSize,
                (r.flags & 1u) ? "c" : "-", name ? Printable(*name).c_str() : unknown);
  }
}

int RunPatchInfo(const PatchInfoOptions& o) {
  const PatchFile patch = ReadPatchFile(o.patch);
  const BlockCheck check = CheckBlockFiles(o.patch, patch.records);
  std::map<NameHashes, std::string> names;
  if (!o.archive.empty()) names = Packet::Open(o.archive).NamesByHash();

  if (o.json) {
    nlohmann::json j;
    j["patch"] = ShownUrl(o.patch);
    j["stamp"] = {{"high", patch.versionHigh}, {"low", patch.versionLow}};
    j["records"] = patch.records.size();
    j["levels"] = nlohmann::json::array();
    for (const BlockLevel& l : check.levels) j["levels"].push_back(ToJson(l));
    j["intact"] = check.Intact();
    j["files"] = nlohmann::json::array();
    for (const BlockEntry& e : check.entries) {
      nlohmann::json f = ToJson(e);
      if (!o.archive.empty()) {
        std::optional<std::string> name = NameOf(names, e.record);
        f["name"] = name ? nlohmann::json(*name) : nlohmann::json();
      }
      j["files"].push_back(f);
    }
    std::cout << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  } else {
    PrintText(o, patch, check, names);
  }
  std::fflush(stdout);
  const std::vector<std::string> problems = check.Problems();
  for (const std::string& p : problems) PrintProblem(p);
  return problems.empty() ? 0 : kExitWarnings;
}

}  // namespace

void AddPatchInfoCommand(CLI::App& patch, Action& action) {
  auto o = std::make_shared<PatchInfoOptions>();
  CLI::App* cmd = patch.add_subcommand(
      "info",
      "Show a patch's level, its files per level, its block files and whether every "
      "entry in them is intact (exit 1 if not)");
  cmd->add_option("patch", o->patch, "Patch file (.vrx) or its URL")->required();
  cmd->add_option("--archive", o->archive, "Archive whose name list names the patch's files");
  cmd->add_flag("--json", o->json, "Write the description as JSON");
  AddHeaderOption(cmd);
  cmd->callback([o, &action] { action = [o] { return RunPatchInfo(*o); }; });
}

}  // namespace vrk
