#include "tree/InputFiles.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "archive/ArchiveNaming.h"
#include "console/ErrorReport.h"
#include "archive/MappedInput.h"
#include "tree/NamePattern.h"
#include "tree/OwnerNames.h"
#include "tree/RecordCodec.h"

namespace vrk {
namespace {

class Walker {
 public:
  explicit Walker(const WalkOptions& options) : options_(options) {}

  void Given(const std::string& given, const std::string& diskPath) {
    std::vector<std::string> components;
    if (!NameComponents(given, &components)) return;
    struct stat st;
    const int rc = options_.dereference ? stat(diskPath.c_str(), &st) : lstat(diskPath.c_str(), &st);
    if (rc != 0) return Problem(SystemProblem(diskPath, errno));
    Visit(diskPath, components, st);
  }

  TreeInputs Take() { return std::move(out_); }

 private:
  void Problem(const std::string& message) {
    PrintProblem("warning: " + message);
    ++out_.problems;
  }
  // Skipped on purpose: said unless quiet, and a warning all the same.
  void Note(const std::string& message) {
    if (!options_.quiet) PrintProblem("warning: " + message);
    ++out_.problems;
  }

  // The name components of a command-line path.
  bool NameComponents(const std::string& given, std::vector<std::string>* out) {
    for (const std::string& c : SplitPath(given, "/")) {
      if (c.empty() || c == ".") continue;
      if (c != "..") {
        out->push_back(c);
      } else if (out->empty()) {
        Problem(given + ": climbs above the directory it starts from; use -C to pack it");
        return false;
      } else {
        out->pop_back();
      }
    }
    return true;
  }

  // The archive name for `components` in `name`, and in `alias` whether the
  // archive cannot keep a file under it as it is; false after a warning when
  // nothing can be stored under it.
  bool StorableName(const std::string& diskPath, const std::vector<std::string>& components,
                    bool file, std::string* name, bool* alias) {
    bool odd = false, backslash = false;
    for (const std::string& c : components) {
      odd |= c.find_first_of("\\\n\r") != std::string::npos;
      backslash |= c.find('\\') != std::string::npos;
    }
    // A file with a backslash in its name is stored under an alias, so its
    // record name is joined with '/' whatever --backslash says: its
    // backslashes are then its own (PlacedName).
    *name = JoinName(components, options_.backslash && !(file && backslash && options_.record));
    *alias = odd || !ArchiveHoldsName(*name);
    // Other entries tell a backslash from a separator by a '/' in the name
    // (NameSeparators): with --backslash, or in a name of one component,
    // there is none.
    if (options_.record && backslash && !file && (options_.backslash || components.size() == 1)) {
      Problem(diskPath + ": a backslash in a name " +
              (options_.backslash ? std::string("cannot be kept with --backslash")
                                  : std::string("cannot be kept at the top: pack the directory "
                                                "that holds it")));
      return false;
    }
    if (options_.record) {
      if (name->size() <= kLongestRecordText) return true;
      Problem(diskPath + ": its name is longer than " + std::to_string(kLongestRecordText) +
              " bytes");
      return false;
    }
    if (odd) {
      Problem(diskPath + ": a name with a backslash or line break cannot be stored");
      return false;
    }
    if (name->size() > kMaxNameLength) {
      Problem(diskPath + ": its name is longer than " + std::to_string(kMaxNameLength) + " bytes");
      return false;
    }
    if (IsReservedName(*name)) {
      Problem(diskPath + ": '" + *name + "' is reserved for the archive's own use");
      return false;
    }
    return true;
  }

  // False for the second of two files the archive cannot tell apart but by
  // letter case, after a warning, when there is no record to keep the second
  // under an alias; otherwise marks it in `alias`.
  bool FirstOfItsFoldedName(const std::string& diskPath, const std::string& name, bool* alias) {
    auto [it, fresh] = files_.emplace(LowerAscii(name), name);
    if (fresh) return true;
    if (options_.record) return *alias = true;
    Problem(diskPath + ": skipped: its name differs from '" + it->second +
            "' only in letter case, which the archive does not tell apart");
    return false;
  }

  // The index of the owner of `st` among out_.owners, from 1.
  uint32_t OwnerOf(const struct stat& st) {
    auto [it, fresh] = ownerIndex_.emplace(std::make_pair(st.st_uid, st.st_gid), 0);
    if (fresh) {
      out_.owners.push_back(
          {static_cast<uint32_t>(st.st_uid), static_cast<uint32_t>(st.st_gid),
           names_.User(st.st_uid), names_.Group(st.st_gid)});
      it->second = static_cast<uint32_t>(out_.owners.size());
    }
    return it->second;
  }

  void Put(TreeEntry e, const struct stat& st) {
    if (options_.record) e.owner = OwnerOf(st);
    out_.entries.push_back(std::move(e));
  }

  // The kind of entry a leaf of the tree makes; false, after a note, for
  // what is not kept.
  bool LeafKind(const std::string& path, const struct stat& st, EntryKind* kind) {
    if (S_ISREG(st.st_mode)) *kind = EntryKind::kFile;
    else if (S_ISLNK(st.st_mode)) *kind = EntryKind::kLink;
    else if (S_ISSOCK(st.st_mode)) return Note(path + ": socket ignored"), false;
    else if (!options_.record) return Note(path + ": not a regular file, directory or symbolic link, skipped"), false;
    else if (S_ISFIFO(st.st_mode)) *kind = EntryKind::kFifo;
    else if (S_ISCHR(st.st_mode)) *kind = EntryKind::kCharDevice;
    else if (S_ISBLK(st.st_mode)) *kind = EntryKind::kBlockDevice;
    else return Note(path + ": of a kind that cannot be kept, skipped"), false;
    return true;
  }

  void Visit(const std::string& path, std::vector<std::string>& components,
             const struct stat& st) {
    if (!components.empty() && Excluded(options_.exclude, JoinName(components, false))) return;
    std::string name;
    bool alias = false;
    if (S_ISDIR(st.st_mode)) {
      // A directory whose own name cannot be kept still has its files packed.
      const bool kept = components.empty() || StorableName(path, components, false, &name, &alias);
      if (!kept) name = JoinName(components, false);
      return Directory(path, components, name, st, kept);
    }
    EntryKind kind;
    if (!LeafKind(path, st, &kind)) return;
    if (components.empty()) return Problem(path + ": no name left for this file");
    if (!StorableName(path, components, kind == EntryKind::kFile, &name, &alias)) return;
    if (!leaves_.insert(name).second) return;  // met twice
    if (kind == EntryKind::kLink) return Link(path, name, st);
    if (kind != EntryKind::kFile) return Put(TreeEntry::From(kind, std::move(name), st), st);
    // A second name with a backslash and no '/' could not be told from one
    // split at it: such a name gets its own copy of the data, under an alias.
    const bool placeable = name.find('\\') == std::string::npos || name.find('/') != std::string::npos;
    if (options_.record && st.st_nlink > 1 && placeable) {
      auto [first, fresh] = inodes_.emplace(std::make_pair(st.st_dev, st.st_ino), name);
      if (!fresh) {
        TreeEntry e = TreeEntry::From(EntryKind::kHardLink, std::move(name), st);
        e.target = first->second;
        return Put(std::move(e), st);
      }
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxFileSize)
      return Problem(path + ": " + TooLargeReason());
    if (!FirstOfItsFoldedName(path, name, &alias)) return;
    // A file found by its alias keeps a name joined with '/' in the record,
    // so that a backslash in it is always its own (PlacedName).
    if (alias) name = JoinName(components, false);
    InputFile f;
    f.diskPath = path;
    f.name = name;
    f.size = static_cast<uint64_t>(st.st_size);
    f.device = st.st_dev;
    f.inode = st.st_ino;
    f.entry = out_.entries.size();
    f.needsAlias = alias;
    Put(TreeEntry::From(EntryKind::kFile, std::move(name), st), st);
    out_.files.push_back(std::move(f));
  }

  void Link(const std::string& path, std::string name, const struct stat& st) {
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 64) + 1, '\0');
    for (;;) {
      ssize_t n = readlink(path.c_str(), &target[0], target.size());
      if (n < 0) return Problem(SystemProblem(path, errno));
      if (static_cast<size_t>(n) < target.size()) {
        target.resize(static_cast<size_t>(n));
        break;
      }
      target.resize(target.size() * 2);
    }
    TreeEntry e = TreeEntry::From(EntryKind::kLink, std::move(name), st);
    e.target = std::move(target);
    Put(std::move(e), st);
  }

  void Directory(const std::string& path, std::vector<std::string>& components,
                 std::string name, const struct stat& st, bool keepEntry = true) {
    const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
    if (ancestors_.count(id)) return Note(path + ": a link back to a directory above it, skipped");
    if (!walked_.insert(name).second) return;  // given twice
    std::vector<std::string> entries;
    if (!ReadDirectory(path, &entries)) return;
    if (!name.empty() && keepEntry) Put(TreeEntry::From(EntryKind::kDirectory, name, st), st);

    ancestors_.insert(id);
    for (const std::string& entry : entries) {
      std::string child = path == "/" ? "/" + entry : path + "/" + entry;
      struct stat cst;
      int rc = options_.dereference ? stat(child.c_str(), &cst) : lstat(child.c_str(), &cst);
      if (rc != 0) {
        Problem(SystemProblem(child, errno));
        continue;
      }
      components.push_back(entry);
      Visit(child, components, cst);
      components.pop_back();
    }
    ancestors_.erase(id);
  }

  bool ReadDirectory(const std::string& path, std::vector<std::string>* entries) {
    DIR* dir = opendir(path.c_str());
    if (!dir) {
      Problem(SystemProblem(path, errno));
      return false;
    }
    errno = 0;
    while (dirent* e = readdir(dir)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") entries->push_back(std::move(n));
    }
    int err = errno;
    closedir(dir);
    if (err != 0) {
      Problem(SystemProblem(path, err));
      return false;
    }
    std::sort(entries->begin(), entries->end());
    return true;
  }

  const WalkOptions& options_;
  TreeInputs out_;
  std::unordered_set<std::string> leaves_;                // names of all but directories
  std::unordered_map<std::string, std::string> files_;   // folded name -> the file's name
  std::map<std::pair<dev_t, ino_t>, std::string> inodes_;  // files with more links -> name
  std::map<std::pair<uid_t, gid_t>, uint32_t> ownerIndex_;
  OwnerNames names_;
  std::unordered_set<std::string> walked_;        // directory names
  std::set<std::pair<dev_t, ino_t>> ancestors_;  // the directories being walked
};

}  // namespace

TreeInputs CollectInputs(const std::vector<std::string>& paths, const std::string& baseDir,
                         const WalkOptions& options) {
  Walker walker(options);
  for (const std::string& given : paths) {
    std::string diskPath = given;
    if (!baseDir.empty() && (given.empty() || given[0] != '/')) diskPath = baseDir + "/" + given;
    // "dir/." reads as "dir" in messages.
    while (diskPath.size() > 2 && diskPath.compare(diskPath.size() - 2, 2, "/.") == 0)
      diskPath.resize(diskPath.size() - 2);
    walker.Given(given, diskPath);
  }
  return walker.Take();
}

}  // namespace vrk
