#include "tree/PathSafety.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "archive/ArchiveNaming.h"
#include "console/ErrorReport.h"

namespace vrk {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Cleared for good once the system answers that it has no openat2. Set
// VRK_NO_OPENAT2 in the environment to walk where openat2 exists (tests
// reach the walk through the built tool so).
std::atomic<bool> g_openat2{std::getenv("VRK_NO_OPENAT2") == nullptr};

// The same open as OpenBeneath, one component at a time: the directories on
// the way are opened with O_NOFOLLOW (a link among them fails with ELOOP or
// ENOTDIR), and so is the last component.
int WalkBeneath(int base, const std::string& path, int flags) {
  std::vector<std::string> parts;
  for (std::string& part : SplitPath(path, "/")) {
    if (part == "..") {
      errno = EXDEV;  // as openat2 answers a path leaving `base`
      return -1;
    }
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
  }
  if (parts.empty()) return openat(base, ".", flags);
  int at = base;
  for (size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    const int next =
        openat(at, parts[i].c_str(),
               last ? flags | O_NOFOLLOW : O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int err = errno;
    if (at != base) close(at);
    if (next < 0) {
      errno = err;
      return -1;
    }
    at = next;
  }
  return at;
}

}  // namespace

int OpenBeneath(int base, const std::string& path, int flags) {
  if (g_openat2.load()) {
    struct open_how how = {};
    how.flags = static_cast<uint64_t>(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
    const char* where = path.empty() ? "." : path.c_str();
    const long fd = syscall(SYS_openat2, base, where, &how, sizeof how);
    // ENOSYS: a kernel without it; EPERM: a sandbox that filters it out (an
    // open as vrk makes it has no other cause for EPERM).
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
    g_openat2.store(false);
  }
  return WalkBeneath(base, path, flags);
}

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
  for (std::string& c : SplitPath(name, NameSeparators(name))) {
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

std::string JoinComponents(const std::vector<std::string>& components) {
  std::string path;
  for (const std::string& c : components) path += (path.empty() ? "" : "/") + c;
  return path;
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
  constexpr int kDirectory = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  if (components.empty()) return DirectoryFd(base, base);
  // Mostly the directories are there: one open reaches them.
  const int whole = OpenBeneath(base, JoinComponents(components), kDirectory);
  if (whole >= 0) return DirectoryFd(whole, base);
  // Else step by step, creating what is missing and naming what stops it.
  DirectoryFd cur(base, base);
  for (const std::string& component : components) {
    const char* c = component.c_str();
    int next = OpenBeneath(cur.get(), component, kDirectory);
    if (next < 0 && errno == ENOENT && create) {
      if (mkdirat(cur.get(), c, 0777) != 0 && errno != EEXIST)
        throw ToolError(SystemProblem(name, errno));
      next = OpenBeneath(cur.get(), component, kDirectory);
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
