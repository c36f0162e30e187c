#include "frame/DiskFile.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "frame/GatheredWrites.h"
#include "frame/ShareRegistry.h"
#include "frame/Wildcard.h"

namespace orvel {
namespace {

constexpr uint64_t kMaxPosition = 0xFFFFFFFEull;  // 0xFFFFFFFF means failure

unsigned AccessOfMode(unsigned mode) {
  switch (mode & 3) {
    case 0: return kShareRead;
    case 1: return kShareWrite;
    case 2: return kShareRead | kShareWrite;
    default: return 0;  // query only
  }
}

unsigned ShareOfMode(unsigned mode) {
  switch ((mode >> 4) & 0xF) {
    case 2: return kShareRead;
    case 3: return kShareWrite;
    case 4: return kShareRead | kShareWrite;
    default: return 0;  // 0, 1 and undefined indices: not shared
  }
}

FileIdentity IdentityOf(const struct stat& st) { return FileIdentity{st.st_dev, st.st_ino}; }

// Finishes an open: the target must be a regular file and the share registry
// must accept it; otherwise the descriptor is closed.
FileHandle Adopt(int fd, unsigned access, unsigned share, unsigned attributes) {
  if (fd < 0) return kInvalidFile;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      !RegisterHandle(fd, IdentityOf(st), access, share,
                      (attributes & 0x80000000u) != 0)) {
    close(fd);
    return kInvalidFile;
  }
  return fd;
}

// The directory part of a path as a std::string ("" for the current one).
std::string DirectoryOf(const char* path) {
  std::string dir(std::strlen(path) + 1, '\0');
  GetPathDirectory(path, &dir[0]);
  dir.resize(std::strlen(dir.c_str()));
  return dir;
}

const char* LastComponent(const char* path) {
  const char* last = path;
  for (const char* p = path; *p; ++p)
    if ((*p == '/' || *p == '\\') && p != path) last = p + 1;
  return last;
}

// stat() of the first directory entry that matches `path`, whose last
// component may hold wildcards. False when nothing matches.
bool StatFirstMatch(const char* path, struct stat* st) {
  if (!HasWildcard(LastComponent(path))) return stat(path, st) == 0;
  std::string dir = DirectoryOf(path);
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  bool found = false;
  while (struct dirent* e = readdir(d)) {
    if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
    if (!MatchWildcard(LastComponent(path), e->d_name)) continue;
    found = stat((dir + e->d_name).c_str(), st) == 0;
    break;
  }
  closedir(d);
  return found;
}

}  // namespace

int GetPathDirectory(const char* path, char* dir) {
  if (!dir) return 0;
  dir[0] = '\0';
  if (!path) return 0;
  size_t n = std::strlen(path);
  for (size_t i = n; i-- > 1;) {
    if (path[i] == '\\' || path[i] == '/') {
      std::memcpy(dir, path, i + 1);
      dir[i + 1] = '\0';
      return 1;
    }
  }
  return 0;
}

FileHandle CreateDiskFile(const char* path, unsigned attributes) {
  if (!path || !*path) return kInvalidFile;
  // Opened without O_TRUNC: a file another handle holds must be refused by
  // the share registry before anything of it is lost.
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  FileHandle file = Adopt(fd, kShareRead | kShareWrite, 0, attributes);
  if (file == kInvalidFile) return kInvalidFile;
  if (ftruncate(file, 0) != 0) {
    CloseDiskFile(file);
    return kInvalidFile;
  }
  return file;
}

FileHandle OpenDiskFile(const char* path, unsigned mode) {
  return OpenDiskFileEx(path, mode, kAttrNormal);
}

FileHandle OpenDiskFileEx(const char* path, unsigned mode, unsigned attributes) {
  if (!path || !*path) return kInvalidFile;
  int flags = O_CLOEXEC;
  switch (mode & 3) {
    case 0: flags |= O_RDONLY; break;
    case 1: flags |= O_WRONLY; break;
    case 2: flags |= O_RDWR; break;
    default: flags |= O_PATH; break;
  }
  return Adopt(open(path, flags), AccessOfMode(mode), ShareOfMode(mode), attributes);
}

void CloseDiskFile(FileHandle file) {
  if (file == kInvalidFile) return;
  // A close has no way to report a failed deferred write; commit points
  // (FlushDiskFile) have, and every writer passes one before it closes.
  ForgetGathered(file);
  UnregisterHandle(file);
  close(file);
}

unsigned ReadDiskFile(FileHandle file, void* buffer, unsigned count) {
  if (file == kInvalidFile || (!buffer && count)) return 0;
  if (!WriteOutGathered(file, false)) return 0;
  size_t done = 0;
  while (done < count) {
    ssize_t n = read(file, static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 0;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<unsigned>(done);
}

unsigned WriteDiskFile(FileHandle file, const void* buffer, unsigned count) {
  if (file == kInvalidFile || (!buffer && count)) return 0;
  if (!WriteOutGathered(file, false)) return 0;
  off_t pos = lseek(file, 0, SEEK_CUR);
  if (pos < 0 || static_cast<uint64_t>(pos) + count > kMaxPosition + 1) return 0;
  size_t done = 0;
  while (done < count) {
    ssize_t n = write(file, static_cast<const char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return done ? static_cast<unsigned>(done) : 0;
    done += static_cast<size_t>(n);
  }
  return static_cast<unsigned>(done);
}

unsigned ReadDiskFileAt(FileHandle file, void* buffer, unsigned count, unsigned offset) {
  if (file == kInvalidFile || (!buffer && count)) return 0;
  if (!WriteOutOverlapping(file, offset, count)) return 0;
  size_t done = 0;
  while (done < count) {
    ssize_t n = pread(file, static_cast<char*>(buffer) + done, count - done,
                      static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 0;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<unsigned>(done);
}

unsigned WriteDiskFileAt(FileHandle file, const void* buffer, unsigned count, unsigned offset) {
  if (file == kInvalidFile || (!buffer && count)) return 0;
  if (static_cast<uint64_t>(offset) + count > kMaxPosition + 1) return 0;
  return GatherWrite(file, buffer, count, offset);
}

unsigned GetDiskFileSize(FileHandle file) {
  struct stat st;
  if (file == kInvalidFile || fstat(file, &st) != 0 || st.st_size < 0) return kFileFailure;
  // Gathered writes not yet on disk count: the caller wrote them.
  const uint64_t size = std::max<uint64_t>(static_cast<uint64_t>(st.st_size), GatheredEnd(file));
  if (size > kMaxPosition) return kFileFailure;
  return static_cast<unsigned>(size);
}

unsigned SeekDiskFile(FileHandle file, int32_t offset, unsigned origin) {
  if (file == kInvalidFile) return kFileFailure;
  int64_t target;
  switch (origin) {
    case 0:
      // From the start the offset is an unsigned 32-bit position.
      target = static_cast<uint32_t>(offset);
      break;
    case 1: {
      off_t cur = lseek(file, 0, SEEK_CUR);
      if (cur < 0) return kFileFailure;
      target = static_cast<int64_t>(cur) + offset;
      break;
    }
    case 2: {
      struct stat st;
      if (fstat(file, &st) != 0) return kFileFailure;
      target = std::max<int64_t>(st.st_size, static_cast<int64_t>(GatheredEnd(file))) + offset;
      break;
    }
    default:
      return kFileFailure;
  }
  // A position that 32 bits cannot carry fails and leaves the file alone.
  if (target < 0 || static_cast<uint64_t>(target) > kMaxPosition) return kFileFailure;
  if (lseek(file, static_cast<off_t>(target), SEEK_SET) < 0) return kFileFailure;
  return static_cast<unsigned>(target);
}

unsigned TellDiskFile(FileHandle file) {
  if (file == kInvalidFile) return kFileFailure;
  off_t cur = lseek(file, 0, SEEK_CUR);
  if (cur < 0 || static_cast<uint64_t>(cur) > kMaxPosition) return kFileFailure;
  return static_cast<unsigned>(cur);
}

bool FlushDiskFile(FileHandle file) {
  if (file == kInvalidFile) return false;
  if (!WriteOutGathered(file, true)) return false;
  if (!IsWriteThrough(file)) return true;
  return fdatasync(file) == 0;
}

unsigned GetDiskFileTime(const char* path) {
  if (!path || !*path) return kFileFailure;
  struct stat st;
  if (!StatFirstMatch(path, &st) || S_ISDIR(st.st_mode)) return kFileFailure;
  struct tm local;
  time_t t = st.st_mtime;
  if (!localtime_r(&t, &local)) return kFileFailure;
  int year = local.tm_year + 1900;
  // DOS dates cover 1980 to 2107.
  if (year < 1980 || year > 2107) return kFileFailure;
  unsigned date = (static_cast<unsigned>(year - 1980) << 9) |
                  (static_cast<unsigned>(local.tm_mon + 1) << 5) |
                  static_cast<unsigned>(local.tm_mday);
  unsigned time = (static_cast<unsigned>(local.tm_hour) << 11) |
                  (static_cast<unsigned>(local.tm_min) << 5) |
                  static_cast<unsigned>(local.tm_sec / 2);
  return (date << 16) | time;
}

uint64_t GetDiskFileWriteTime(const char* path) {
  if (!path || !*path) return 0;
  struct stat st;
  if (!StatFirstMatch(path, &st) || S_ISDIR(st.st_mode)) return 0;
  constexpr int64_t kEpochDelta = 11644473600LL;  // 1601-01-01 to 1970-01-01, s
  int64_t seconds = static_cast<int64_t>(st.st_mtim.tv_sec) + kEpochDelta;
  if (seconds < 0) return 0;
  return static_cast<uint64_t>(seconds) * 10000000ull +
         static_cast<uint64_t>(st.st_mtim.tv_nsec / 100);
}

int DiskFileExists(const char* path) {
  // Existence is tested directly rather than through the DOS time: a file
  // dated before 1980 (or after 2107) exists even though no DOS time can
  // express its date.
  if (!path || !*path) return 0;
  struct stat st;
  return StatFirstMatch(path, &st) && !S_ISDIR(st.st_mode) ? 1 : 0;
}

bool DeleteDiskFile(const char* path) {
  if (!path || !*path) return false;
  struct stat st;
  if (lstat(path, &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (IsHeldOpen(IdentityOf(st))) return false;
  return unlink(path) == 0;
}

bool MoveDiskFile(const char* from, const char* to) {
  if (!from || !to || !*from || !*to) return false;
  struct stat st;
  if (lstat(from, &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (IsHeldOpen(IdentityOf(st))) return false;
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: test, then rename.
  if (lstat(to, &st) == 0) return false;
  return rename(from, to) == 0;
}

bool ReplaceDiskFile(const char* target, const char* replacement) {
  if (!target || !replacement) return false;
  const std::string aside = std::string(target) + "old";
  // A file that happens to carry the aside name is never overwritten.
  struct stat st;
  if (lstat(aside.c_str(), &st) == 0 || !MoveDiskFile(target, aside.c_str())) return false;
  if (!MoveDiskFile(replacement, target)) {
    MoveDiskFile(aside.c_str(), target);
    return false;
  }
  DeleteDiskFile(aside.c_str());
  return true;
}

int DeleteMatchingFiles(const char* pattern) {
  if (!pattern || !*pattern) return 0;
  std::string dir = DirectoryOf(pattern);
  const char* mask = LastComponent(pattern);
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return 0;
  int deleted = 0;
  while (struct dirent* e = readdir(d)) {
    if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
    if (!MatchWildcard(mask, e->d_name)) continue;
    if (DeleteDiskFile((dir + e->d_name).c_str())) ++deleted;
  }
  closedir(d);
  return deleted;
}

bool FindFirstMatchingFile(const char* pattern, char* name, unsigned size) {
  if (!pattern || !*pattern || !name || size == 0) return false;
  // The directory part ends at the last separator, wherever it is (also a
  // leading '/').
  const char* mask = pattern;
  for (const char* p = pattern; *p; ++p)
    if (*p == '/' || *p == '\\') mask = p + 1;
  const std::string dir(pattern, static_cast<size_t>(mask - pattern));
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  std::string best;
  bool found = false;
  while (struct dirent* e = readdir(d)) {
    if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
    if (!MatchWildcard(mask, e->d_name)) continue;
    if (found && std::strcmp(e->d_name, best.c_str()) >= 0) continue;
    struct stat st;
    if (lstat((dir + e->d_name).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    best = e->d_name;
    found = true;
  }
  closedir(d);
  if (!found || best.size() >= size) return false;
  std::memcpy(name, best.c_str(), best.size() + 1);
  return true;
}

bool SyncPathDirectory(const char* path) {
  if (!path || !*path) return false;
  std::string dir = DirectoryOf(path);
  if (dir.empty() && path[0] == '/') dir = "/";  // a file in the root
  int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

}  // namespace orvel
