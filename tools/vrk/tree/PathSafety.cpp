#include "tree/PathSafety.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "archive/ArchiveNaming.h"
#include "console/ErrorReport.h"

namespace vrk {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

bool SplitSafeName(const std::string& name, std::vector<std::string>* components,
                   std::string* reason) {
  components->clear();
  if (!name.empty() && (name[0] == '/' || name[0] == '\\')) {
    *reason = "absolute path refused (use --unsafe-paths to allow it)";
    return false;
  }
  if (name.size() >= 2 && IsAsciiLetter(name[0]) && name[1] == ':') {
    *reason = "drive letter refused (use --unsafe-paths to allow it)";
    return false;
  }
  for (std::string& c : SplitPath(name, "/\\")) {
    if (c.empty() || c == ".") continue;
    if (c == "..") {
      components->clear();
      *reason = "'..' component refused (use --unsafe-paths to allow it)";
      return false;
    }
    components->push_back(std::move(c));
  }
  if (components->empty()) {
    *reason = "the name names no file";
    return false;
  }
  return true;
}

DirectoryFd::~DirectoryFd() {
  if (fd_ >= 0 && fd_ != base_) close(fd_);
}

DirectoryFd::DirectoryFd(DirectoryFd&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), base_(other.base_) {}

DirectoryFd& DirectoryFd::operator=(DirectoryFd&& other) noexcept {
  std::swap(fd_, other.fd_);  // the old descriptor goes with `other`
  std::swap(base_, other.base_);
  return *this;
}

DirectoryFd WalkDirectories(int base, const std::vector<std::string>& components,
                            const std::string& name, bool create) {
  DirectoryFd cur(base, base);
  for (const std::string& component : components) {
    const char* c = component.c_str();
    int next = openat(cur.get(), c, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && create) {
      if (mkdirat(cur.get(), c, 0777) != 0 && errno != EEXIST)
        throw ToolError(SystemProblem(name, errno));
      next = openat(cur.get(), c, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (next < 0) {
      int err = errno;
      struct stat st;
      if (fstatat(cur.get(), c, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        throw ToolError(name + ": '" + component +
                        "' is a symbolic link in the target; not followed");
      throw ToolError(SystemProblem(name, err));
    }
    cur = DirectoryFd(next, base);
  }
  return cur;
}

void MakeDirectories(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    std::string part = path.substr(0, i);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
      throw ToolError(SystemProblem(part, errno));
  }
}

}  // namespace vrk
