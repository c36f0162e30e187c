#include "tree/InputFiles.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "archive/ArchiveNaming.h"
#include "console/ErrorReport.h"
#include "archive/MappedInput.h"
#include "tree/NamePattern.h"

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

  // The archive name for `components`, or false after a warning.
  bool StorableName(const std::string& diskPath, const std::vector<std::string>& components,
                    std::string* name) {
    for (const std::string& c : components)
      if (c.find_first_of("\\\n\r") != std::string::npos) {
        Problem(diskPath + ": a name with a backslash or line break cannot be stored");
        return false;
      }
    *name = JoinName(components, options_.backslash);
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

  // False for the second of two leaves the archive cannot tell apart, after
  // a warning, and for a path met twice.
  bool FirstOfItsName(const std::string& diskPath, const std::string& name) {
    auto [it, fresh] = leaves_.emplace(LowerAscii(name), name);
    if (fresh) return true;
    if (it->second != name)
      Problem(diskPath + ": skipped: its name differs from '" + it->second +
              "' only in letter case, which the archive does not tell apart");
    return false;
  }

  void Visit(const std::string& path, std::vector<std::string>& components,
             const struct stat& st) {
    if (!components.empty() && Excluded(options_.exclude, JoinName(components, false))) return;
    std::string name;
    if (S_ISDIR(st.st_mode)) {
      if (!components.empty() && !StorableName(path, components, &name)) return;
      return Directory(path, components, name, st);
    }
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
      return Note(path + ": not a regular file, directory or symbolic link, skipped");
    if (components.empty()) return Problem(path + ": no name left for this file");
    if (!StorableName(path, components, &name) || !FirstOfItsName(path, name)) return;
    if (S_ISLNK(st.st_mode)) return Link(path, name, st);
    if (static_cast<uint64_t>(st.st_size) > kMaxFileSize)
      return Problem(path + ": " + TooLargeReason());
    InputFile f;
    f.diskPath = path;
    f.name = name;
    f.size = static_cast<uint64_t>(st.st_size);
    f.device = st.st_dev;
    f.inode = st.st_ino;
    f.entry = out_.entries.size();
    out_.entries.push_back(TreeEntry::From(EntryKind::kFile, std::move(name), st));
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
    out_.entries.push_back(std::move(e));
  }

  void Directory(const std::string& path, std::vector<std::string>& components,
                 std::string name, const struct stat& st) {
    const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
    if (ancestors_.count(id)) return Note(path + ": a link back to a directory above it, skipped");
    if (!walked_.insert(name).second) return;  // given twice
    std::vector<std::string> entries;
    if (!ReadDirectory(path, &entries)) return;
    if (!name.empty()) out_.entries.push_back(TreeEntry::From(EntryKind::kDirectory, name, st));

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
  std::unordered_map<std::string, std::string> leaves_;  // folded name -> name
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
