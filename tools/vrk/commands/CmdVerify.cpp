// vrk verify: reads every file back, reports each damaged one, and says
// what it could check: advanced archives keep a checksum for every file;
// basic ones keep none, so there only compressed files are checked (their
// streams must decode to their recorded size) and stored files are not.
// Files the archive holds but no name list names cannot be read at all, and
// are counted as such.
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <unordered_set>
#include <vector>

#include "archive/RemoteArchive.h"
#include "archive/ArchiveNaming.h"
#include "archive/OpenFailure.h"
#include "commands/Commands.h"
#include "console/Counted.h"
#include "console/ErrorReport.h"
#include "archive/PacketHandle.h"
#include "archive/PacketRead.h"
#include "console/PrintableText.h"
#include "console/ProgressBar.h"
#include "tree/RecordCodec.h"
#include "tree/RecordStore.h"

namespace vrk {
namespace {

struct VerifyOptions {
  std::string archive;
  bool quiet = false;
  bool verbose = false;
};

struct Tally {
  size_t files = 0;       // the user's files (not the archive's own entries)
  size_t compressed = 0;  // of them, compressed
  size_t damaged = 0;     // any entry
};

// The names verify can read: the name list's, and those of the record's
// files that the list lacks (a patch carries files without names).
std::vector<std::string> VisibleNames(const Packet& packet) {
  std::vector<std::string> names = packet.Names();
  std::unordered_set<std::string> seen;
  for (const std::string& n : names) seen.insert(LowerAscii(n));
  std::vector<std::string> recorded{kRecordFileName};
  for (const TreeEntry& e : LoadTreeRecord(packet).record.Entries())
    if (e.kind == EntryKind::kFile) recorded.push_back(StoredName(e));
  for (const std::string& name : recorded)
    if (!seen.count(LowerAscii(name)) && packet.Contains(name)) {
      seen.insert(LowerAscii(name));
      names.push_back(name);
    }
  return names;
}

// A missing name list, or files no name can reach; empty when neither.
std::string NameProblem(const Packet& packet, size_t unnamed) {
  const std::string count = Counted(unnamed, "file") + " cannot be named";
  const std::string list =
      packet.Advanced() ? ArchiveDiskFiles(packet.Path(), true).back() : kListFileName;
  char first[2];
  // At a URL the list is missing when the library found none to load.
  const bool missing = IsUrl(packet.Path()) ? packet->GetFileName(0, first, sizeof first) != 0
                       : packet.Advanced()  ? access(list.c_str(), F_OK) != 0
                                            : !packet.Contains(kListFileName);
  if (missing)
    return (packet.Advanced() ? ShownUrl(list) : packet.About(list)) + " missing: " +
           (unnamed ? count : "names taken from the tree record");
  if (unnamed) return packet.Shown() + ": " + count + ": the name list does not list them";
  return "";
}

void Check(const Packet& packet, const std::string& name, Tally& tally) {
  const bool own = IsOwnEntry(name);
  tally.files += !own;
  EntryBytes data = ReadEntry(packet, name);
  tally.compressed += !own && packet->IsFileCompressed(name.c_str());
  if (LowerAscii(name) != kRecordFileName) return;
  TreeRecord record;
  std::string problem;
  if (DecodeTreeRecord(data.Data(), data.Size(), &record, &problem) != RecordDecode::kRead)
    throw ToolError(packet.About(name) + ": " + problem);
}

void PrintSummary(const VerifyOptions& o, bool advanced, const Tally& t, size_t unnamed) {
  const std::string files = Counted(t.files + unnamed, "file");
  const std::string unread = unnamed ? ", " + std::to_string(unnamed) + " not checked" : "";
  if (t.damaged) {
    std::printf("%s: %zu of %s damaged%s\n", ShownUrl(o.archive).c_str(), t.damaged, files.c_str(),
                unread.c_str());
  } else if (o.quiet && !unnamed) {
  } else if (advanced) {
    std::printf("%s: %s intact%s\n", ShownUrl(o.archive).c_str(), Counted(t.files, "file").c_str(),
                unread.c_str());
  } else {
    std::printf("%s: %s: %zu compressed decode%s to %s size; %zu stored unchecked (basic archives "
                "keep no checksums)%s\n",
                ShownUrl(o.archive).c_str(), files.c_str(), t.compressed, t.compressed == 1 ? "s" : "",
                t.compressed == 1 ? "its" : "their", t.files - t.compressed, unread.c_str());
  }
}

int RunVerify(const VerifyOptions& o) {
  Packet packet = Packet::Open(o.archive);
  packet->SetVerifyCheckSum(true);
  const std::vector<std::string> names = VisibleNames(packet);
  ProgressBar bar("verifying", names.size(), 0, o.quiet || o.verbose);

  Tally tally;
  for (const std::string& name : names) {
    try {
      Check(packet, name, tally);
      if (o.verbose) std::printf("%s: ok\n", Printable(name).c_str());
    } catch (const ToolError& e) {
      bar.Finish();
      PrintProblem(e.what());
      ++tally.damaged;
    }
    bar.Advance(0);
  }
  bar.Finish();
  const unsigned entries = packet->GetFileCount();
  const size_t held = entries > 0 ? entries - 1 : 0;  // without the name list itself
  const size_t unnamed = held > names.size() ? held - names.size() : 0;
  const std::string nameProblem = NameProblem(packet, unnamed);
  if (!nameProblem.empty()) PrintProblem(nameProblem);
  PrintSummary(o, packet.Advanced(), tally, unnamed);
  if ((tally.damaged || !nameProblem.empty()) && !IsUrl(o.archive)) PrintProblem(SalvageAdvice(o.archive));
  return tally.damaged || !nameProblem.empty() ? kExitWarnings : 0;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<VerifyOptions>();
  CLI::App* cmd = app.add_subcommand(
      "verify", "Read every file back (checking checksums where the archive has them) and say "
                "what was checked; exit 1 if any file is damaged or cannot be named");
  cmd->alias("test");
  cmd->add_option("archive", o->archive, "Archive to check (a path, or an http:// or https:// URL)")->required();
  AddHeaderOption(cmd);
  cmd->add_flag("-q,--quiet", o->quiet, "No progress bar, and no line when all is well");
  cmd->add_flag("-v,--verbose", o->verbose, "Name each file read back without error");
  cmd->callback([o, &action] { action = [o] { return RunVerify(*o); }; });
}

}  // namespace vrk
