#include "PathSafety.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "ArchiveNaming.h"
#include "ErrorReport.h"

namespace vrk {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Closes a descriptor unless it is the one the walk started from.
struct WalkFd {
  int fd;
  int base;
  ~WalkFd() {
    if (fd >= 0 && fd != base) close(fd);
  }
};

// Writes everything to a newly opened `fd` and closes it.
void WriteAndClose(int fd, const void* data, size_t size, const std::string& what) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  while (size > 0) {
    ssize_t w = write(fd, p, size);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) {
      int err = errno;
      close(fd);
      throw ToolError(SystemProblem(what, err));
    }
    p += w;
    size -= static_cast<size_t>(w);
  }
  if (close(fd) != 0) throw ToolError(SystemProblem(what, errno));
}

void MakeDirectories(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    std::string part = path.substr(0, i);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
      throw ToolError(SystemProblem(part, errno));
  }
}

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

ExtractTarget::ExtractTarget(const std::string& dir, bool unsafePaths)
    : dir_(dir.empty() ? "." : dir), dirFd_(-1), unsafePaths_(unsafePaths) {
  dirFd_ = open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd_ < 0 && errno == ENOENT) {
    MakeDirectories(dir_);
    dirFd_ = open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  if (dirFd_ < 0) throw ToolError(SystemProblem(dir_, errno));
}

ExtractTarget::~ExtractTarget() {
  if (dirFd_ >= 0) close(dirFd_);
}

void ExtractTarget::Write(const std::string& name, const void* data, size_t size) {
  if (unsafePaths_) {
    WriteUnsafe(name, data, size);
    return;
  }
  std::vector<std::string> components;
  std::string reason;
  if (!SplitSafeName(name, &components, &reason)) throw ToolError(name + ": " + reason);

  WalkFd cur{dirFd_, dirFd_};
  for (size_t k = 0; k + 1 < components.size(); ++k) {
    const char* c = components[k].c_str();
    int next = openat(cur.fd, c, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT) {
      if (mkdirat(cur.fd, c, 0777) != 0 && errno != EEXIST)
        throw ToolError(SystemProblem(name, errno));
      next = openat(cur.fd, c, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (next < 0) {
      int err = errno;
      struct stat st;
      if (fstatat(cur.fd, c, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        throw ToolError(name + ": '" + components[k] +
                        "' is a symbolic link in the target; not followed");
      throw ToolError(SystemProblem(name, err));
    }
    WalkFd stepped{next, dirFd_};
    std::swap(cur.fd, stepped.fd);
  }

  // A fresh inode: whatever stood there (a link to elsewhere included) is
  // removed rather than written through.
  const char* leaf = components.back().c_str();
  if (unlinkat(cur.fd, leaf, 0) != 0 && errno != ENOENT)
    throw ToolError(SystemProblem(name, errno));
  int fd = openat(cur.fd, leaf, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) throw ToolError(SystemProblem(name, errno));
  WriteAndClose(fd, data, size, name);
}

void ExtractTarget::WriteUnsafe(const std::string& name, const void* data, size_t size) {
  std::string path = name;
  for (char& c : path)
    if (c == '\\') c = '/';
  if (path.empty()) throw ToolError("(empty name): the name names no file");
  if (path[0] != '/') path = dir_ + "/" + path;
  size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) MakeDirectories(path.substr(0, slash));
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw ToolError(SystemProblem(path, errno));
  WriteAndClose(fd, data, size, path);
}

}  // namespace vrk
