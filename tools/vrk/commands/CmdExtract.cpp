// vrk extract: writes all or the selected files (by name, directory or
// wildcard pattern) below a directory, never outside it, under their spelled
// names and with their modes and times when the archive keeps a tree record;
// links, hard links, FIFOs, devices (as root) and empty directories too, and
// owners when run as root. Files already there are replaced, as tar
// does, unless -k or --keep-newer. Links are made last, as stored, whatever
// they point to (nothing is ever written through one); --safe-links skips
// those leading outside the directory, for archives from untrusted sources.
// With -j, files are read ahead by worker threads (from a URL by default),
// and still written one by one, in the same order and with the same
// messages.
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <unordered_map>

#include <unistd.h>

#include "archive/RemoteArchive.h"
#include "archive/ArchiveNaming.h"
#include "archive/EntryFetcher.h"
#include "archive/OpenFailure.h"
#include "tree/ArchiveTree.h"
#include "commands/Commands.h"
#include "console/ErrorReport.h"
#include "tree/ExtractTarget.h"
#include "tree/LinkPolicy.h"
#include "tree/NameListFile.h"
#include "tree/NamePattern.h"
#include "tree/OwnerNames.h"
#include "tree/PathSafety.h"
#include "archive/PacketHandle.h"
#include "archive/PacketRead.h"
#include "console/PrintableText.h"
#include "console/ProgressBar.h"
#include "console/StopSignals.h"

namespace vrk {
namespace {

struct ExtractOptions {
  std::string archive;
  std::vector<std::string> names;
  std::string filesFrom;
  std::string dir = ".";
  bool unsafePaths = false;
  bool safeLinks = false;  // skip links leading outside the directory
  bool quiet = false;
  bool verbose = false;
  bool keepOld = false;    // -k: never replace what is there
  bool keepNewer = false;  // replace only what is older than the archived file
  bool numericOwner = false;  // owners by their numbers, not their names
  bool noSameOwner = false;   // owners left as the system makes them, as when not root
  unsigned jobs = 0;          // threads reading files; 0: 1 on disk, kUrlJobs from a URL
};

// Reads from a URL wait on the network; a few in flight hide that.
constexpr unsigned kUrlJobs = 4;
constexpr unsigned kMaxJobs = 64;

size_t Depth(const std::string& name) {
  return static_cast<size_t>(std::count_if(name.begin(), name.end(),
                                           [](char c) { return c == '/' || c == '\\'; }));
}

class Extraction {
 public:
  Extraction(const ExtractOptions& o, const Packet& packet, const ArchiveTree& tree)
      : o_(o), packet_(packet), tree_(tree), target_(o.dir, o.unsafePaths) {
    if (geteuid() == 0 && !o.noSameOwner)
      target_.RestoreOwners([this](const TreeEntry& e, uid_t* uid, gid_t* gid) {
        return OwnerOf(e, uid, gid);
      });
  }

  int Run(const std::vector<TreeItem>& items) {
    std::vector<const TreeItem*> files, links, directories, hardLinks, nodes;
    uint64_t totalBytes = 0;
    for (const TreeItem& item : items) {
      switch (item.entry.kind) {
        case EntryKind::kDirectory:
          directories.push_back(&item);
          break;
        case EntryKind::kLink:
          links.push_back(&item);
          break;
        case EntryKind::kHardLink:
          hardLinks.push_back(&item);
          break;
        case EntryKind::kFile:
          files.push_back(&item);
          totalBytes += packet_->GetFileOriginalSize(StoredName(item.entry).c_str());
          break;
        default:
          nodes.push_back(&item);
      }
    }
    // From a URL the bar counts the bytes fetched (records, their checksums
    // and what the read-ahead takes beside them) against the stored bytes.
    const bool remote = IsUrl(o_.archive);
    if (remote) totalBytes = StoredBytes(files);
    const uint64_t fetchedBefore = VrkRemoteBytesFetched();
    ProgressBar bar("extracting", files.size(), totalBytes, o_.quiet || o_.verbose);
    const auto showFetched = [&] {
      if (remote) bar.ShowBytes(VrkRemoteBytesFetched() - fetchedBefore);
    };
    total_ = directories.size() + files.size() + hardLinks.size() + nodes.size() + links.size();
    for (const TreeItem* d : directories)
      Attempt(bar, [&] {
        target_.MakeDirectory(d->entry.name);
        Done(d->entry.name + "/");
      });
    std::vector<std::string> stored;
    for (const TreeItem* f : files) stored.push_back(StoredName(f->entry));
    EntryFetcher fetcher(packet_, std::move(stored), Jobs());
    for (size_t i = 0; i < files.size(); ++i) {
      const TreeItem* f = files[i];
      StopIfRequested();
      Attempt(bar, [&] {
        if (Kept(bar, *f)) return;
        EntryBytes data = fetcher.Take(i, showFetched);
        const std::string placed = PlacedName(f->entry);
        target_.WriteFile(placed, data.Data(), data.Size(), f->attributes ? &f->entry : nullptr);
        extracted_[f->entry.name] = placed;
        showFetched();
        bar.Advance(remote ? 0 : data.Size());
        Done(f->entry.name);
      });
    }
    MakeHardLinks(bar, hardLinks);
    for (const TreeItem* n : nodes) {
      StopIfRequested();
      Attempt(bar, [&] {
        if (n->entry.kind != EntryKind::kFifo && geteuid() != 0)
          throw ToolError(n->entry.name + ": device not made: only root makes devices");
        if (Kept(bar, *n)) return;
        target_.MakeNode(n->entry);
        Done(n->entry.name);
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
    return failures_ ? kExitWarnings : 0;
  }

  // Files whose stored bytes were damaged.
  int Damaged() const { return damaged_; }

 private:
  unsigned Jobs() const {
    if (o_.jobs != 0) return o_.jobs;
    return IsUrl(o_.archive) ? kUrlJobs : 1;
  }

  // What the files' records take in the archive, their checksums included.
  uint64_t StoredBytes(const std::vector<const TreeItem*>& files) const {
    uint64_t bytes = 0;
    for (const TreeItem* f : files)
      bytes += packet_->GetFileStoredSize(StoredName(f->entry).c_str()) + 4u;
    return bytes;
  }

  // The owner to give `e`: by the recorded names when this system knows
  // them (unless --numeric-owner), else by the recorded numbers, as tar does.
  bool OwnerOf(const TreeEntry& e, uid_t* uid, gid_t* gid) {
    const Owner* owner = tree_.record.record.OwnerOf(e);
    if (!owner) return false;
    *uid = static_cast<uid_t>(owner->uid);
    *gid = static_cast<gid_t>(owner->gid);
    if (!o_.numericOwner) {
      if (!owner->user.empty()) names_.UserId(owner->user, uid);
      if (!owner->group.empty()) names_.GroupId(owner->group, gid);
    }
    return true;
  }

  // After the files: a hard link is made to the file extracted for its
  // holder, or to the first of its links extracted; when there is none (the
  // holder was not selected, or failed), it is written from the holder's data.
  void MakeHardLinks(ProgressBar& bar, const std::vector<const TreeItem*>& hardLinks) {
    for (const TreeItem* h : hardLinks) {
      StopIfRequested();
      Attempt(bar, [&] {
        const TreeEntry* holder = HardLinkHolder(tree_, h->entry);
        if (!holder)
          throw ToolError(h->entry.name + ": hard link not made: the archive holds no file '" +
                          h->entry.target + "'");
        if (Kept(bar, *h)) return;
        auto made = extracted_.find(holder->name);
        if (made != extracted_.end()) {
          target_.MakeHardLink(h->entry, made->second);
        } else {
          EntryBytes data = ReadEntry(packet_, StoredName(*holder));
          target_.WriteFile(h->entry.name, data.Data(), data.Size(), &h->entry);
          extracted_[holder->name] = h->entry.name;
        }
        Done(h->entry.name);
      });
    }
  }

  // After every directory and file, so that what a link points to never
  // decides where they go.
  void MakeLinks(ProgressBar& bar, const std::vector<const TreeItem*>& links) {
    const PathLookup disk = DiskLookup(target_.Fd());
    std::vector<const TreeEntry*> made;
    for (const TreeItem* l : links) {
      StopIfRequested();
      Attempt(bar, [&] {
        std::string reason;
        if (o_.safeLinks && !LinkStaysInside(disk, l->entry.name, l->entry.target, &reason))
          throw ToolError(l->entry.name + ": symbolic link not made: it " + reason +
                          " (--safe-links)");
        if (Kept(bar, *l)) return;
        target_.MakeLink(l->entry);
        made.push_back(&l->entry);
        Done(l->entry.name);
      });
    }
    if (o_.safeLinks) RemoveLinksLeadingOutside(bar, disk, made);
  }

  // A link judged when it was made can lead elsewhere once later links are
  // there (one it passes through was missing then): those of `made` that
  // now lead outside are removed. One pass settles it: a removed link ends
  // every path through it, for the system as for the judgement, so it
  // cannot make another lead outside.
  void RemoveLinksLeadingOutside(ProgressBar& bar, const PathLookup& disk,
                                 const std::vector<const TreeEntry*>& made) {
    std::set<std::string> removed;  // '/'-joined
    const PathLookup swept = [&](const std::string& path, std::string* target) {
      return removed.count(path) ? PathKind::kGone : disk(path, target);
    };
    for (const TreeEntry* link : made) {
      std::string reason;
      if (LinkStaysInside(swept, link->name, link->target, &reason)) continue;
      Try(bar, [&] {
        target_.RemoveLink(*link);
        std::vector<std::string> components;
        std::string unsafe;  // it was made, so its name is safe
        if (SplitSafeName(link->name, &components, &unsafe))
          removed.insert(JoinComponents(components));
        Fail(bar, link->name + ": symbolic link removed: with the links made after it, it " +
                      reason + " (--safe-links)");
      });
    }
  }

  // -v: names what was written, as tar -xv does.
  void Done(const std::string& name) const {
    if (o_.verbose) std::printf("%s\n", Printable(name).c_str());
  }

  // True, after saying so, when -k or --keep-newer keeps what stands where
  // `item` goes. Without a tree record the archive holds no time to compare,
  // so --keep-newer keeps what is there.
  bool Kept(ProgressBar& bar, const TreeItem& item) {
    if (!o_.keepOld && !o_.keepNewer) return false;
    struct stat st;
    if (!target_.Exists(PlacedName(item.entry), &st)) return false;
    std::string why;
    if (o_.keepOld) {
      why = "already there, kept (-k)";
    } else if (!item.attributes) {
      why = "already there, kept: the archive holds no time to compare (--keep-newer)";
    } else if (st.st_mtim.tv_sec > item.entry.seconds ||
               (st.st_mtim.tv_sec == item.entry.seconds &&
                st.st_mtim.tv_nsec > static_cast<long>(item.entry.nanoseconds))) {
      why = "newer than the archived one, kept (--keep-newer)";
    } else {
      return false;
    }
    bar.Finish();
    PrintProblem(Printable(item.entry.name) + ": " + why);
    return true;
  }

  // Try, for the step that extracts one of the entries counted in total_.
  template <class Step>
  void Attempt(ProgressBar& bar, Step step) {
    ++started_;
    Try(bar, step);
  }

  // Runs one step; its failure is reported and counted, and the rest goes
  // on, unless no further write can succeed (a full disk, a read-only
  // destination): then one message says how much was not extracted, rather
  // than one line for every file left.
  template <class Step>
  void Try(ProgressBar& bar, Step step) {
    try {
      step();
    } catch (const StopRequest&) {
      throw;
    } catch (const DamagedEntry& e) {
      ++damaged_;
      Fail(bar, e.what());
    } catch (const ToolError& e) {
      if (EndsAllWrites(e.SystemErrno())) StopAll(bar, e.what());
      Fail(bar, e.what());
    }
  }

  [[noreturn]] void StopAll(ProgressBar& bar, const std::string& message) {
    bar.Finish();
    const size_t left = started_ <= total_ ? total_ - started_ + 1 : 0;
    throw ToolError(Prefixed(message) + "; extraction stopped: " + std::to_string(left) + " of " +
                    std::to_string(total_) +
                    " files, links and directories were not extracted");
  }

  std::string Prefixed(std::string message) const {
    // Library errors already name the archive; the target's do not.
    if (message.compare(0, o_.archive.size(), o_.archive) != 0) message = o_.archive + ": " + message;
    return message;
  }

  void Fail(ProgressBar& bar, std::string message) {
    bar.Finish();
    PrintProblem(Prefixed(std::move(message)));
    ++failures_;
  }

  const ExtractOptions& o_;
  const Packet& packet_;
  const ArchiveTree& tree_;
  ExtractTarget target_;
  OwnerNames names_;
  // Files extracted, by the exact name of their file entry: where each is.
  std::unordered_map<std::string, std::string> extracted_;
  int failures_ = 0;
  int damaged_ = 0;
  size_t total_ = 0;    // directories, files, hard links, nodes and links to extract
  size_t started_ = 0;  // of those, the ones tried so far
};

int RunExtract(const ExtractOptions& o) {
  if (o.keepOld && o.keepNewer) throw UsageError("-k and --keep-newer: choose one");
  if (o.unsafePaths && o.safeLinks) throw UsageError("--unsafe-paths and --safe-links: choose one");
  std::vector<std::string> names = o.names;
  AppendNameList(names, o.filesFrom);
  // An empty list means no files here, not all of them.
  if (!o.filesFrom.empty() && names.empty()) throw UsageError(o.filesFrom + ": no names to extract");
  CatchStopSignals();
  Packet packet = Packet::Open(o.archive);
  const ArchiveTree tree = ReadArchiveTree(packet);
  NameSelection selection(std::move(names));
  const std::vector<TreeItem> items = SelectTreeItems(packet, tree, selection);
  Extraction extraction(o, packet, tree);
  const int status = extraction.Run(items);
  if (extraction.Damaged() && !IsUrl(o.archive)) PrintProblem(SalvageAdvice(o.archive));
  // Patterns that matched nothing are named after the rest is done, as tar does.
  const bool unmatched = selection.ReportUnmatched(ShownUrl(o.archive));
  return unmatched || !tree.record.problem.empty() ? kExitWarnings : status;
}

}  // namespace

void AddExtractCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<ExtractOptions>();
  CLI::App* cmd = app.add_subcommand(
      "extract", "Extract all or the selected files, recreating their directories, links, modes "
                 "and times; files already there are replaced");
  cmd->alias("x");
  cmd->add_option("archive", o->archive, "Archive to extract from (a path, or an http:// or https:// URL)")->required();
  AddHeaderOption(cmd);
  cmd->add_option("names", o->names,
                  "Names, directories (all below them) or wildcard patterns to extract "
                  "(default: all)");
  AddFilesFromOption(cmd, o->filesFrom, "the NAMES");
  cmd->add_option("-C,--directory", o->dir, "Directory to extract into (created if missing)");
  cmd->add_flag("--unsafe-paths", o->unsafePaths,
                "Allow absolute names, drive letters and '..' (writes outside the directory)");
  cmd->add_flag("--safe-links", o->safeLinks,
                "Skip symbolic links whose target leads outside the directory (for archives "
                "from untrusted sources)");
  cmd->add_flag("-k,--keep-old-files", o->keepOld, "Keep files that are already there");
  cmd->add_flag("--keep-newer", o->keepNewer,
                "Keep files that are already there and newer than the archived ones");
  cmd->add_flag("--numeric-owner", o->numericOwner,
                "Restore owners and groups by their recorded numbers, not their names");
  cmd->add_flag("--no-same-owner", o->noSameOwner,
                "Leave files owned by the user extracting them (the default when not root)");
  cmd->add_option("-j,--jobs", o->jobs,
                  "Files read at once by worker threads (default: 1 from a disk, " +
                      std::to_string(kUrlJobs) + " from a URL)")
      ->check(CLI::Range(1u, kMaxJobs));
  cmd->add_flag("-v,--verbose", o->verbose, "Name each file as it is written");
  cmd->add_flag("-q,--quiet", o->quiet, "No progress bar");
  cmd->callback([o, &action] { action = [o] { return RunExtract(*o); }; });
}

}  // namespace vrk
