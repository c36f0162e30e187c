#include "InputFiles.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <unordered_map>

#include "ArchiveNaming.h"
#include "ErrorReport.h"

namespace vrk {
namespace {

struct Walker {
  bool backslash;
  bool quiet;
  std::vector<InputFile> files;

  void Warn(const std::string& message) const {
    if (!quiet) PrintProblem("warning: " + message);
  }

  void AddFile(const std::string& diskPath, const std::vector<std::string>& components,
               const struct stat& st) {
    for (const std::string& c : components) {
      if (c.find_first_of("\\\n\r") != std::string::npos)
        throw ToolError(diskPath +
                        ": a name with a backslash or line break cannot be stored; rename it");
    }
    InputFile f;
    f.diskPath = diskPath;
    f.name = JoinName(components, backslash);
    if (f.name.empty()) throw ToolError(diskPath + ": no name left for this file");
    if (LowerAscii(f.name) == kListFileName)
      throw ToolError(diskPath + ": '" + kListFileName + "' is the archive's own name list");
    if (f.name.size() > kMaxNameLength)
      throw ToolError(diskPath + ": its name is longer than " + std::to_string(kMaxNameLength) +
                      " bytes");
    f.size = static_cast<uint64_t>(st.st_size);
    f.device = st.st_dev;
    f.inode = st.st_ino;
    files.push_back(std::move(f));
  }

  void Walk(const std::string& dirPath, std::vector<std::string>& components) {
    DIR* dir = opendir(dirPath.c_str());
    if (!dir) throw ToolError(SystemProblem(dirPath, errno));
    std::vector<std::string> entries;
    errno = 0;
    while (dirent* e = readdir(dir)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") entries.push_back(std::move(n));
    }
    int err = errno;
    closedir(dir);
    if (err != 0) throw ToolError(SystemProblem(dirPath, err));
    std::sort(entries.begin(), entries.end());

    for (const std::string& entry : entries) {
      std::string path = dirPath == "/" ? "/" + entry : dirPath + "/" + entry;
      struct stat st;
      if (lstat(path.c_str(), &st) != 0) throw ToolError(SystemProblem(path, errno));
      if (S_ISLNK(st.st_mode)) {
        // A link is followed to a file but never into a directory: links
        // between directories can loop.
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
          Warn(path + ": symbolic link to something other than a file, skipped");
          continue;
        }
      }
      components.push_back(entry);
      if (S_ISDIR(st.st_mode))
        Walk(path, components);
      else if (S_ISREG(st.st_mode))
        AddFile(path, components, st);
      else
        Warn(path + ": not a regular file, skipped");
      components.pop_back();
    }
  }
};

// The name components of a command-line path.
std::vector<std::string> NameComponents(const std::string& given) {
  std::vector<std::string> out;
  for (const std::string& c : SplitPath(given, "/")) {
    if (c.empty() || c == ".") continue;
    if (c == "..") {
      if (out.empty())
        throw ToolError(given + ": climbs above the directory it starts from; use -C to pack it");
      out.pop_back();
      continue;
    }
    out.push_back(c);
  }
  return out;
}

}  // namespace

std::vector<InputFile> CollectInputs(const std::vector<std::string>& paths,
                                     const std::string& baseDir, bool backslash, bool quiet) {
  Walker walker{backslash, quiet, {}};
  for (const std::string& given : paths) {
    std::string diskPath = given;
    if (!baseDir.empty() && (given.empty() || given[0] != '/')) diskPath = baseDir + "/" + given;
    std::vector<std::string> components = NameComponents(given);
    struct stat st;
    if (stat(diskPath.c_str(), &st) != 0) throw ToolError(SystemProblem(diskPath, errno));
    if (S_ISDIR(st.st_mode))
      walker.Walk(diskPath, components);
    else if (S_ISREG(st.st_mode))
      walker.AddFile(diskPath, components, st);
    else
      throw ToolError(diskPath + ": not a regular file or directory");
  }
  return std::move(walker.files);
}

void DropRepeatedNames(std::vector<InputFile>& files) {
  std::unordered_map<std::string, size_t> seen;
  std::vector<InputFile> kept;
  kept.reserve(files.size());
  for (InputFile& f : files) {
    auto [it, fresh] = seen.emplace(LowerAscii(f.name), kept.size());
    if (fresh) {
      kept.push_back(std::move(f));
      continue;
    }
    const InputFile& first = kept[it->second];
    if (first.name == f.name && first.device == f.device && first.inode == f.inode) continue;
    throw ToolError(first.diskPath + " and " + f.diskPath + ": both would be stored as '" +
                    LowerAscii(f.name) + "' (names inside an archive ignore case)");
  }
  files = std::move(kept);
}

}  // namespace vrk
