// vrk patch: carries the files written into an advanced archive since its
// base version to copies of it. `create` writes them to block files (one per
// level) and a patch file beside the archive, `extend` adds later files to
// that patch, `apply` brings a copy up to the patch's level, `clean` deletes
// block files and `info` (CmdPatchInfo.cpp) describes a patch.
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "archive/ArchiveNaming.h"
#include "archive/RemoteArchive.h"
#include "commands/Commands.h"
#include "console/Counted.h"
#include "console/ErrorReport.h"
#include "tree/FileFacts.h"
#include "archive/PacketHandle.h"
#include "patch/PatchBlocks.h"
#include "patch/PatchFile.h"
#include "console/ProgressBar.h"

namespace vrk {
namespace {

struct PatchOptions {
  std::string archive;
  std::string patch;  // apply
  bool quiet = false;
};

// An advanced archive, its patch builder and the patcher that drives both;
// members go in reverse order, the archive last.
struct ArchivePatcher {
  explicit ArchivePatcher(const std::string& archive)
      : packet(Packet::Open(archive)), builder(packet), patcher(packet.get(), builder.get()) {}
  Packet packet;
  PatchBuilder builder;
  CVrkPatcher patcher;
};

// Runs one of the patcher's long operations with the library's callbacks
// driving a progress bar; returns its result code.
template <class Work>
int WithProgress(const char* label, bool quiet, Work work) {
  ProgressBar bar(label, 0, 0, quiet);
  LibraryProgress progress(bar);
  return work();
}

void Say(bool quiet, const std::string& path, const std::string& what) {
  if (!quiet) std::printf("%s: %s\n", path.c_str(), what.c_str());
}

int RunCreate(const PatchOptions& o) {
  ArchivePatcher a(o.archive);
  uint32_t high = 0, low = 0, base = 0;
  a.packet->GetPacketVersion(&high, &low, &base);
  size_t newer = 0;
  for (const FileFacts& f : GetAllFileFacts(a.packet)) newer += f.present && f.versionLow > base;
  if (newer == 0) {
    // The library would write nothing; a patch file from before stays as it is.
    Say(o.quiet, o.archive,
        "no file is newer than base version " + std::to_string(base) + "; no patch written");
    return 0;
  }
  int rc = WithProgress("building patch", o.quiet, [&a] { return a.patcher.CreatePatchFile(); });
  if (rc != 0) throw LibraryError(o.archive, rc);
  const std::string patchPath = PatchFilePath(o.archive);
  const PatchFile patch = ReadPatchFile(patchPath);
  Say(o.quiet, patchPath,
      DescribeRecords(patch) + " in " + Counted(patch.Levels().size(), "block file"));
  return 0;
}

int RunExtend(const PatchOptions& o) {
  ArchivePatcher a(o.archive);
  const std::string patchPath = PatchFilePath(o.archive);
  const PatchFile before = ReadPatchFile(patchPath);
  int rc = WithProgress("extending patch", o.quiet, [&a] { return a.patcher.ExtendPatchFile(); });
  if (rc != 0) throw LibraryError(o.archive, rc);
  const PatchFile after = ReadPatchFile(patchPath);
  if (after.records.size() <= before.records.size()) {
    Say(o.quiet, patchPath,
        "no file is newer than level " + std::to_string(before.versionLow) + "; unchanged");
    return 0;
  }
  Say(o.quiet, patchPath,
      Counted(after.records.size() - before.records.size(), "file") + " added, now " +
          DescribeRecords(after));
  return 0;
}

// Why applying a patch at a URL stopped, and where the archive stands. A
// failure to read patch data names the block file of the level that failed
// (the first one above the level the archive reached); others are the
// archive's own.
ToolError RemoteApplyError(const std::string& archive, const std::string& patchUrl,
                           const std::vector<PatchData>& needed, int code, uint32_t reached) {
  const std::string stays = " (" + archive + " stays at level " + std::to_string(reached) + ")";
  switch (code) {
    case VRKERR_NO_SOURCE: case VRKERR_OPEN_FILE: case VRKERR_SEEK: case VRKERR_PATCH_DATA_IO:
    case VRKERR_CHECKSUM_IO: case VRKERR_CHECKSUM: break;
    default: return LibraryError(archive, code);
  }
  uint32_t failed = UINT32_MAX;
  for (const PatchData& r : needed)
    if (r.versionLow > reached) failed = std::min(failed, r.versionLow);
  const std::string shown = ShownUrl(BlockFilePath(patchUrl, failed));
  if (code == VRKERR_NO_SOURCE) return ToolError(shown + ": block file is missing" + stays);
  if (IsTransferFailure(code) && VrkLastSystemError() == ESTALE)
    return ToolError(shown + ": the block file changed on the server while it was read; apply "
                     "again" + stays);
  return ToolError(DescribeRemoteFailure(shown, code) + stays);
}

int RunApply(const PatchOptions& o) {
  // The copy is written in place: it must be on disk, whatever the patch is.
  if (IsUrl(o.archive))
    throw ToolError(ShownUrl(o.archive) + ": " + RemoteReason(EROFS) + "; patch a copy on disk");
  ArchivePatcher a(o.archive);
  const bool remote = IsUrl(o.patch);
  const std::string shownPatch = ShownUrl(o.patch);
  const PatchFile patch = ReadPatchFile(o.patch);
  const uint32_t from = a.packet.Stamp().low;
  if (patch.versionLow <= from) {
    Say(o.quiet, o.archive,
        "already at level " + std::to_string(from) + "; " + shownPatch + " (level " +
            std::to_string(patch.versionLow) + ") changes nothing");
    return 0;
  }
  // The library applies the levels above the archive's; check their block
  // entries first so that a missing or damaged one is named before anything
  // is written.
  std::vector<PatchData> needed;
  for (const PatchData& r : patch.records)
    if (r.versionLow > from) needed.push_back(r);
  std::vector<char> path(o.patch.begin(), o.patch.end());
  path.push_back('\0');
  if (needed.empty()) {
    // The copy holds every file of the patch already; the library only
    // raises its stamp, and says that nothing was written.
    int rc = a.patcher.ProceedPatch(path.data());
    if (rc != 0 && rc != VRKERR_NOT_UPDATING) throw LibraryError(o.archive, rc);
    Say(o.quiet, o.archive,
        "holds every file of " + shownPatch + " already; stamp raised from level " +
            std::to_string(from) + " to level " + std::to_string(a.packet.Stamp().low));
    return 0;
  }
  // At a URL the entries are fetched once, by the library, which checks each
  // checksum before it writes the entry: here only their places are checked.
  const std::vector<std::string> problems = CheckBlockFiles(o.patch, needed, !remote).Problems();
  if (!problems.empty()) {
    for (size_t i = 0; i + 1 < problems.size(); ++i) PrintProblem(problems[i]);
    throw ToolError(problems.back());
  }

  int rc = WithProgress("applying patch", o.quiet,
                        [&a, &path] { return a.patcher.ProceedPatch(path.data()); });
  if (rc != 0 && remote) throw RemoteApplyError(o.archive, o.patch, needed, rc, a.packet.Stamp().low);
  if (rc != 0) throw LibraryError(o.archive, rc);
  Say(o.quiet, o.archive,
      "brought from level " + std::to_string(from) + " to level " +
          std::to_string(a.packet.Stamp().low) + ", " + Counted(needed.size(), "file") +
          " written");
  // Patches carry name hashes, not names: files new to this copy are found
  // by name but are not in its name list.
  const std::map<NameHashes, std::string> listed = a.packet.NamesByHash();
  std::set<NameHashes> unlisted;
  for (const PatchData& r : needed)
    if (!listed.count({r.hash0, r.hash1, r.hash2})) unlisted.insert({r.hash0, r.hash1, r.hash2});
  if (!unlisted.empty())
    Say(o.quiet, o.archive,
        Counted(unlisted.size(), "file") + (unlisted.size() == 1 ? " is" : " are") +
            " not in its name list, as a patch carries no names (cat and extract still find "
            "files by name)");
  return 0;
}

int RunClean(const PatchOptions& o) {
  size_t deleted = 0, failed = 0;
  for (const std::string& path : ListBlockFiles(o.archive)) {
    if (unlink(path.c_str()) == 0) {
      ++deleted;
    } else {
      PrintProblem(SystemProblem(path, errno));
      ++failed;
    }
  }
  Say(o.quiet, o.archive, Counted(deleted, "block file") + " deleted");
  return failed ? kExitWarnings : 0;
}

CLI::App* AddArchiveCommand(CLI::App& patch, const char* name, const char* help, PatchOptions& o) {
  CLI::App* cmd = patch.add_subcommand(name, help);
  cmd->add_option("archive", o.archive, "Advanced archive (.vrk)")->required();
  cmd->add_flag("-q,--quiet", o.quiet, "No progress bar and no summary");
  return cmd;
}

}  // namespace

void AddPatchCommand(CLI::App& app, Action& action) {
  CLI::App* patch = app.add_subcommand(
      "patch",
      "Make a patch of what changed in an advanced archive since its base version, "
      "extend it, apply it to a copy of the archive, or describe it");
  patch->require_subcommand(1);
  auto o = std::make_shared<PatchOptions>();

  AddArchiveCommand(*patch, "create",
                    "Write the archive's files above its base version to block files "
                    "(NAME_LEVEL.pb) and the patch file NAME.vrx beside it",
                    *o)
      ->callback([o, &action] { action = [o] { return RunCreate(*o); }; });
  AddArchiveCommand(*patch, "extend",
                    "Add the archive's files written since its patch file's level to that patch",
                    *o)
      ->callback([o, &action] { action = [o] { return RunExtend(*o); }; });
  CLI::App* apply = AddArchiveCommand(
      *patch, "apply", "Bring a copy of the archive up to the patch's level, level by level", *o);
  apply->add_option("patch", o->patch,
                    "Patch file (.vrx) or its URL, with its block files beside it")
      ->required();
  AddHeaderOption(apply);
  apply->callback([o, &action] { action = [o] { return RunApply(*o); }; });
  AddArchiveCommand(*patch, "clean", "Delete the archive's block files (NAME_????????.pb)", *o)
      ->callback([o, &action] { action = [o] { return RunClean(*o); }; });
  AddPatchInfoCommand(*patch, action);
}

}  // namespace vrk
