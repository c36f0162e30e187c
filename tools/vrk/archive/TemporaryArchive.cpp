#include "archive/TemporaryArchive.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

#include "archive/ArchiveNaming.h"
#include "console/ErrorReport.h"

namespace vrk {
namespace {

// vrk's lock on a temporary archive: an open-file-description lock on one
// byte far past any data, away from the byte the library locks for its
// writers. It goes with the descriptor, so a killed vrk leaves none.
constexpr off_t kTemporaryLockByte = off_t{1} << 41;
constexpr unsigned char kArchiveMagic[4] = {'V', 'R', 'K', 0x1A};

const char* kNewMark = "-new";

// Tries to take the lock through `fd` without waiting.
bool TakeLock(int fd) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kTemporaryLockByte;
  fl.l_len = 1;
  return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The process id in a temporary name made for the archive `base`, and
// whether the name is that of an advanced one; false for any other name.
bool ParseTemporaryName(const std::string& name, const std::string& base, long* pid,
                        bool* advanced) {
  const std::string prefix = "." + base + kNewMark;
  if (name.compare(0, prefix.size(), prefix) != 0) return false;
  size_t end = prefix.size();
  while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
  const std::string digits = name.substr(prefix.size(), end - prefix.size());
  const std::string rest = name.substr(end);
  if (digits.empty() || digits.size() > 9 || digits[0] == '0') return false;
  if (rest != "" && rest != ".vrk") return false;
  *pid = std::stol(digits);
  *advanced = !rest.empty();
  return true;
}

bool ProcessGone(long pid) { return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

// True when `path` is a temporary archive file no live vrk holds; on true,
// `*fd` holds its lock until the caller closes it.
bool ClaimStale(const std::string& path, int* fd) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  *fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (*fd < 0) return false;
  unsigned char magic[sizeof kArchiveMagic] = {};
  struct stat held;
  const bool ours = fstat(*fd, &held) == 0 && SameFile(st, held) && TakeLock(*fd) &&
                    (held.st_size == 0 ||
                     (pread(*fd, magic, sizeof magic, 0) == sizeof magic &&
                      std::memcmp(magic, kArchiveMagic, sizeof magic) == 0));
  if (!ours) close(*fd);
  return ours;
}

}  // namespace

std::string TemporaryArchivePath(const std::string& archive, long pid, bool advanced) {
  return ParentPrefix(archive) + "." + BaseName(archive) + kNewMark + std::to_string(pid) +
         (advanced ? ".vrk" : "");
}

std::vector<std::string> TemporaryArchiveFiles(const std::string& temporary, bool advanced) {
  std::vector<std::string> files = ArchiveDiskFiles(temporary, advanced);
  files.push_back(JournalPath(temporary));
  return files;
}

int ClaimTemporaryArchive(const std::string& temporary, const std::string& archive) {
  // A sweep by another vrk may hold the lock of a stale file of this name
  // for a moment, and remove it: wait for it, and claim the file the name
  // then names.
  for (int attempt = 0;; ++attempt) {
    const int fd = open(temporary.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
      const int err = errno;
      throw ToolError(archive + ": " +
                      SystemProblem("cannot create " + temporary + " beside it", err));
    }
    struct stat held, named;
    if (TakeLock(fd) && fstat(fd, &held) == 0 && stat(temporary.c_str(), &named) == 0 &&
        SameFile(held, named))
      return fd;
    close(fd);
    if (attempt == 100)
      throw ToolError(archive + ": " + temporary + " is in use by another process");
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int RemoveStaleTemporaries(const std::string& archive) {
  if (access(JournalPath(archive).c_str(), F_OK) == 0) return 0;
  const std::string prefix = ParentPrefix(archive);
  const std::string base = BaseName(archive);
  DIR* dir = opendir(prefix.empty() ? "." : prefix.c_str());
  if (!dir) return 0;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
  closedir(dir);

  int removed = 0;
  for (const std::string& name : names) {
    long pid = 0;
    bool advanced = false;
    if (!ParseTemporaryName(name, base, &pid, &advanced) || pid == getpid() || !ProcessGone(pid))
      continue;
    const std::string temporary = prefix + name;
    int fd = -1;
    if (!ClaimStale(temporary, &fd)) continue;
    for (const std::string& file : TemporaryArchiveFiles(temporary, advanced))
      if (unlink(file.c_str()) != 0 && errno != ENOENT)
        PrintProblem("warning: " + SystemProblem(file + ": a stale temporary file stays", errno));
    close(fd);
    ++removed;
  }
  return removed;
}

}  // namespace vrk
