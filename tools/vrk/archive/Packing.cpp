#include "archive/Packing.h"

#include <CLI/CLI.hpp>
#include <OrvelPacket.h>
#include <sys/stat.h>

#include <cstdio>

#include <set>

#include "archive/CompressPipeline.h"
#include "archive/HardLinkHeir.h"
#include "console/Counted.h"
#include "console/ErrorReport.h"
#include "tree/NameListFile.h"
#include "archive/PacketHandle.h"
#include "console/PrintableText.h"
#include "console/ProgressBar.h"
#include "tree/RecordStore.h"
#include "console/StopSignals.h"

namespace vrk {
namespace {

// Everything in an archive is addressed with 32-bit offsets; stay clear of
// the limit so the tables still fit behind the data.
constexpr uint64_t kMaxArchiveSize = 0xFFFFFFFFull - (16u << 20);

uint64_t DiskSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// Gives each file the name the archive stores it under: the one a file of
// its exact name has in the record, else its own name unless the archive
// cannot hold it or keeps another file under it regardless of case, else
// the next alias. Without a record to map aliases back (--no-attributes, or
// one this vrk cannot read), files that need one are skipped with a warning.
void AssignStoredNames(const TreeRecord& record, bool aliases, TreeInputs& inputs,
                       PackResult& result) {
  uint64_t next = record.NextAlias();
  std::vector<InputFile> kept;
  kept.reserve(inputs.files.size());
  for (InputFile& f : inputs.files) {
    TreeEntry& e = inputs.entries[f.entry];
    const TreeEntry* same = record.FindExact(e.name);
    const TreeEntry* under = record.FindFile(e.name);
    if (same && same->kind == EntryKind::kFile) {
      e.alias = same->alias;
    } else if (f.needsAlias || (under && under->name != e.name)) {
      if (!aliases) {
        PrintProblem("warning: " + f.diskPath +
                     ": skipped: its name cannot be kept as it is, and the archive has no "
                     "tree record to keep it under another");
        ++result.problems;
        e.name.clear();
        continue;
      }
      e.alias = next++;
    }
    f.name = StoredName(e);
    kept.push_back(std::move(f));
  }
  inputs.files = std::move(kept);
}

// The file, if any, that the archive keeps under the name of `e` and that a
// link, hard link, FIFO or device of that exact name replaces.
std::string Displaced(const Packet& packet, const TreeRecord& record, const TreeEntry& e) {
  if (const TreeEntry* same = record.FindExact(e.name))
    return same->kind == EntryKind::kFile ? StoredName(*same) : std::string();
  if (record.FindFile(e.name) || !packet.Contains(e.name)) return "";  // another's, or none
  return e.name;  // put there without a record
}

// Brings `record` up to date with the entries packed now; true when it
// changed. Links, hard links, FIFOs and devices replace files of their name
// in the archive; a replaced file's hard links keep its data.
bool UpdateRecord(const Packet& packet, const TreeInputs& inputs,
                  const std::vector<bool>& filePacked, const PackOptions& options, bool replace,
                  Version version, TreeRecord& record) {
  std::vector<bool> skipped(inputs.entries.size(), false);
  std::set<std::string> lost;  // files not packed: their hard links go with them
  for (size_t i = 0; i < inputs.files.size(); ++i) {
    skipped[inputs.files[i].entry] = !filePacked[i];
    if (!filePacked[i]) lost.insert(inputs.entries[inputs.files[i].entry].name);
  }
  bool changed = false;
  for (size_t i = 0; i < inputs.entries.size(); ++i) {
    TreeEntry e = inputs.entries[i];
    if (skipped[i] || e.name.empty()) continue;
    if (options.noAttributes) {
      changed |= record.Forget(e.name);
      continue;
    }
    if (e.kind == EntryKind::kHardLink && lost.count(e.target)) continue;
    if (!replace && record.FindExact(e.name)) continue;
    if (e.kind != EntryKind::kFile && !e.IsDirectory() && replace) {
      const std::string displaced = Displaced(packet, record, e);
      if (!displaced.empty()) {
        PassOnHardLinks(packet, record, e.name, {}, version);
        int rc = packet->DeleteFile(displaced.c_str());
        if (rc != 0) throw packet.Failure(rc, displaced);
      }
    }
    e.owner = e.owner ? record.AddOwner(inputs.owners[e.owner - 1]) : 0;
    record.Put(std::move(e));
    changed = true;
  }
  return changed;
}

}  // namespace

void AddPackOptions(CLI::App* cmd, PackOptions& options) {
  cmd->add_option("--stamp", options.stampText,
                  "Version stamp of the added files, HIGH:LOW or LOW (default: the archive's)")
      ->type_name("HIGH:LOW");
  cmd->add_option("-C,--directory", options.baseDir,
                  "Take PATHs, and so the names, relative to DIR")
      ->type_name("DIR");
  AddFilesFromOption(cmd, options.filesFrom, "the PATHs");
  cmd->add_option("--exclude", options.exclude,
                  "Leave out what matches PATTERN (shell wildcards) by its name, a directory "
                  "above it, or without '/' any one component; repeatable")
      ->allow_extra_args(false)
      ->type_name("PATTERN");
  cmd->add_flag("--store", options.store, "Store files uncompressed");
  options.jobs = DefaultJobs();
  cmd->add_option("-j,--jobs", options.jobs, "Compression threads (default: number of cores)")
      ->check(CLI::Range(1u, 1024u));
  cmd->add_flag("--backslash", options.backslash,
                "Separate name components with '\\' as Windows hosts expect");
  cmd->add_flag("-L,--dereference", options.dereference,
                "Follow symbolic links and pack what they point to (default: keep them as links)");
  cmd->add_flag("--no-attributes", options.noAttributes,
                "Keep no record of spelled names, modes, times, links and directories");
  cmd->add_flag("-q,--quiet", options.quiet, "No progress bar and no summary");
  cmd->add_flag("-v,--verbose", options.verbose, "Name each file as it is packed");
}

TreeInputs CollectPackInputs(const PackOptions& options) {
  WalkOptions walk;
  walk.backslash = options.backslash;
  walk.dereference = options.dereference;
  walk.quiet = options.quiet;
  walk.exclude = options.exclude;
  walk.record = !options.noAttributes;
  std::vector<std::string> paths = options.paths;
  AppendNameList(paths, options.filesFrom);
  if (paths.empty()) throw UsageError("nothing to pack: name the PATHs, or list them with -T FILE");
  return CollectInputs(paths, options.baseDir, walk);
}

bool AlreadyHeld(const Packet& packet, const StoredRecord& stored, const std::string& name) {
  if (!stored.problem.empty()) return packet.Contains(name);
  if (const TreeEntry* same = stored.record.FindExact(name))
    return same->kind == EntryKind::kFile && packet.Contains(StoredName(*same));
  return !stored.record.FindFile(name) && packet.Contains(name);
}

void DropArchiveFiles(TreeInputs& inputs, const std::vector<std::string>& archiveFiles,
                      bool quiet) {
  std::vector<InputFile>& files = inputs.files;
  for (const std::string& path : archiveFiles) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) continue;
    for (size_t i = 0; i < files.size();) {
      if (files[i].device == st.st_dev && files[i].inode == st.st_ino) {
        if (!quiet) PrintProblem("warning: " + files[i].diskPath + ": the archive itself, skipped");
        inputs.entries[files[i].entry].name.clear();
        files.erase(files.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
    }
  }
}

void AddPacked(const Packet& packet, const std::string& name, unsigned flags,
               const PackedFile& packed, Version version) {
  static const unsigned char kEmpty = 0;
  const void* data = packed.Size() ? packed.Data() : &kEmpty;
  const unsigned size = static_cast<unsigned>(packed.Size());
  // The library marks whatever AddCompressedFile stores as compressed, so
  // files kept as they are go through AddFileFromMemory without the compress
  // flag.
  int rc = packed.compressed
               ? packet->AddCompressedFile(name.c_str(), flags, data, size, packed.originalSize,
                                           version.high, version.low)
               : packet->AddFileFromMemory(name.c_str(), flags, data, size, version.high,
                                           version.low);
  if (rc != 0) throw packet.Failure(rc, name);
}

PackResult PackFiles(Packet& packet, TreeInputs& inputs, const PackOptions& options,
                     bool replace) {
  // Without --stamp the files carry the archive's stamp. It is passed
  // explicitly: a replacement given 0:0 would otherwise keep 0:0.
  Version version = options.stampText.empty() ? packet.Stamp() : ParseVersion(options.stampText);
  const unsigned flags = replace ? VRK_ADD_REPLACE : 0;
  const std::vector<InputFile>& files = inputs.files;
  StoredRecord stored = LoadTreeRecordWarning(packet);
  PackResult result;
  // A record left as it is keeps no names or attributes of these files.
  result.problems = inputs.problems + !stored.problem.empty();
  AssignStoredNames(stored.record, !options.noAttributes && stored.problem.empty(), inputs,
                    result);

  uint64_t totalBytes = 0;
  for (const InputFile& f : files) totalBytes += f.size;
  ProgressBar bar("packing", files.size(), totalBytes, options.quiet || options.verbose);

  std::vector<bool> filePacked(files.size(), false);
  uint64_t archiveSize = DiskSize(packet.Path());
  // One bracket for everything: a failure or a stop signal anywhere leaves
  // it without a commit, which rolls all of it back.
  UpdateBracket bracket(packet);
  {
    CompressPipeline pipeline(files, options.jobs, options.store, options.level);
    auto tick = [&] {
      bar.ShowBytes(pipeline.BytesDone());
      StopIfRequested();
    };
    for (size_t i = 0; i < files.size(); ++i) {
      const InputFile& file = files[i];
      tick();
      PackedFile packed = pipeline.Take(i, tick);
      std::string problem = packed.error;
      if (problem.empty() && archiveSize + packed.Size() + 4 > kMaxArchiveSize)
        problem = file.diskPath + ": skipped: the archive would grow beyond 4 GiB";
      if (!problem.empty()) {
        bar.Finish();
        PrintProblem("warning: " + problem);
        ++result.problems;
        continue;
      }
      archiveSize += packed.Size() + 4;
      AddPacked(packet, file.name, flags, packed, version);
      filePacked[i] = true;
      if (options.verbose)
        std::printf("%s\n", Printable(inputs.entries[file.entry].name).c_str());
      ++result.files;
      result.originalBytes += packed.originalSize;
      result.storedBytes += packed.Size();
      bar.Advance(0);
      bar.ShowBytes(pipeline.BytesDone());
    }
  }
  // A record this vrk cannot read is left as it is rather than overwritten.
  if (options.verbose)
    for (const TreeEntry& e : inputs.entries)
      if (e.kind != EntryKind::kFile && !e.IsDirectory() && !e.name.empty())
        std::printf("%s\n", Printable(e.name).c_str());
  if (stored.problem.empty() &&
      UpdateRecord(packet, inputs, filePacked, options, replace, version, stored.record))
    StoreTreeRecord(packet, stored.record, version);
  // The last point where a stop signal still undoes everything; one that
  // comes while the commit is written finds the command done.
  StopIfRequested();
  LibraryProgress tables(bar);
  bracket.Commit();
  bar.Finish();
  return result;
}

int FinishPack(const std::string& archive, const PackResult& result, bool quiet) {
  const int status = result.problems ? kExitWarnings : 0;
  if (quiet) return status;
  double ratio = result.originalBytes
                     ? 100.0 * static_cast<double>(result.storedBytes) /
                           static_cast<double>(result.originalBytes)
                     : 100.0;
  std::printf("%s: %s, %s stored in %s (%.0f%%)\n", archive.c_str(),
              Counted(result.files, "file").c_str(), FormatBytes(result.originalBytes).c_str(),
              FormatBytes(result.storedBytes).c_str(), ratio);
  return status;
}

}  // namespace vrk
