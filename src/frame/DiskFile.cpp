#include "frame/DiskFile.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "frame/CommitJournal.h"
#include "frame/ErrorCode.h"
#include "frame/FaultPoints.h"
#include "frame/GatheredWrites.h"
#include "frame/RemoteFile.h"
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

// Paths built here live in fixed buffers of this size, so that no block is
// taken outside the allocation rule; a path that does not fit could not be
// passed to the system anyway.
constexpr size_t kPathRoom = PATH_MAX;

// The directory part of `path` into `dir` (kPathRoom bytes; "" for the
// current one). False when it does not fit.
bool DirectoryOf(const char* path, char* dir) {
  dir[0] = '\0';
  if (strnlen(path, kPathRoom) >= kPathRoom) return false;
  GetPathDirectory(path, dir);
  return true;
}

// `head` followed by `tail` into `out` (kPathRoom bytes). False when it does
// not fit.
bool JoinPath(const char* head, const char* tail, char* out) {
  const size_t a = strnlen(head, kPathRoom);
  const size_t b = strnlen(tail, kPathRoom);
  if (a + b >= kPathRoom) return false;
  std::memcpy(out, head, a);
  std::memcpy(out + a, tail, b + 1);
  return true;
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
  char dir[kPathRoom];
  if (!DirectoryOf(path, dir)) return false;
  DIR* d = opendir(*dir ? dir : ".");
  if (!d) return false;
  bool found = false;
  while (struct dirent* e = readdir(d)) {
    if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
    if (!MatchWildcard(LastComponent(path), e->d_name)) continue;
    char match[kPathRoom];
    found = JoinPath(dir, e->d_name, match) && stat(match, st) == 0;
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
  if (IsRemotePath(path)) return NoteSystemError(EROFS), kInvalidFile;
  // Opened without O_TRUNC: a file another handle holds must be refused by
  // the share registry before anything of it is lost.
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) NoteSystemError(errno);
  FileHandle file = Adopt(fd, kShareRead | kShareWrite, 0, attributes);
  if (file == kInvalidFile) return kInvalidFile;
  bool truncated = PassFaultPoint(FaultKind::kTruncate, file, 0, UINT64_MAX);
  if (truncated && ftruncate(file, 0) != 0) {
    NoteSystemError(errno);
    truncated = false;
  }
  if (!truncated) {
    CloseDiskFile(file);
    return kInvalidFile;
  }
  return file;
}

FileHandle CreateNewDiskFile(const char* path, unsigned attributes) {
  if (!path || !*path || !PassFaultPoint(FaultKind::kWrite)) return kInvalidFile;
  if (IsRemotePath(path)) return NoteSystemError(EROFS), kInvalidFile;
  const int fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    NoteSystemError(errno);
    return kInvalidFile;
  }
  const FileHandle file = Adopt(fd, kShareRead | kShareWrite, 0, attributes);
  if (file == kInvalidFile) unlink(path);  // made just now, by this call
  return file;
}

FileHandle OpenDiskFile(const char* path, unsigned mode) {
  return OpenDiskFileEx(path, mode, kAttrNormal);
}

FileHandle OpenDiskFileEx(const char* path, unsigned mode, unsigned attributes) {
  if (!path || !*path) return kInvalidFile;
  if (IsRemotePath(path)) return OpenRemoteFile(path, mode, attributes);
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
  if (file == kInvalidFile || CloseRemoteFile(file)) return;
  // A close has no way to report a failed deferred write; commit points
  // (FlushDiskFile) have, and every writer passes one before it closes.
  ForgetGathered(file);
  ForgetJournalWatch(file);
  UnregisterHandle(file);
  close(file);
}

unsigned ReadDiskFile(FileHandle file, void* buffer, unsigned count) {
  if (file == kInvalidFile || (!buffer && count)) return 0;
  if (IsRemoteFile(file)) return ReadRemoteFile(file, buffer, count);
  if (!WriteOutGathered(file, false)) return 0;
  const off_t pos = AnyJournalWatch() ? lseek(file, 0, SEEK_CUR) : -1;
  size_t done = 0;
  while (done < count) {
    ssize_t n = read(file, static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 0;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  if (pos >= 0) JournalOverlay(file, buffer, static_cast<uint64_t>(pos), done);
  return static_cast<unsigned>(done);
}

unsigned WriteDiskFile(FileHandle file, const void* buffer, unsigned count) {
  if (file == kInvalidFile || (!buffer && count) || IsRemoteFile(file)) return 0;
  if (!WriteOutGathered(file, false)) return 0;
  off_t pos = lseek(file, 0, SEEK_CUR);
  if (pos < 0 || static_cast<uint64_t>(pos) + count > kMaxPosition + 1) return 0;
  uint64_t staged = 0;
  switch (JournalBeforeWrite(file, static_cast<uint64_t>(pos), buffer, count, &staged)) {
    case JournalVerdict::kFail: return 0;
    case JournalVerdict::kSkip:
      return lseek(file, static_cast<off_t>(count), SEEK_CUR) < 0 ? 0 : count;
    case JournalVerdict::kWrite: break;
  }
  if (staged) {
    // The staged head waits in the journal; the rest follows it on disk.
    pos = lseek(file, static_cast<off_t>(staged), SEEK_CUR);
    if (pos < 0) return 0;
    buffer = static_cast<const char*>(buffer) + staged;
    count -= static_cast<unsigned>(staged);
  }
  if (!PassFaultPoint(FaultKind::kWrite, file, static_cast<uint64_t>(pos), count)) return 0;
  size_t done = static_cast<size_t>(staged);
  count += static_cast<unsigned>(staged);
  buffer = static_cast<const char*>(buffer) - staged;
  while (done < count) {
    ssize_t n = write(file, static_cast<const char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) NoteSystemError(errno);
    if (n <= 0) return done ? static_cast<unsigned>(done) : 0;
    done += static_cast<size_t>(n);
  }
  return static_cast<unsigned>(done);
}

unsigned ReadDiskFileAt(FileHandle file, void* buffer, unsigned count, unsigned offset) {
  if (file == kInvalidFile || (!buffer && count)) return 0;
  if (IsRemoteFile(file)) return ReadRemoteFileAt(file, buffer, count, offset);
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
  if (AnyJournalWatch()) JournalOverlay(file, buffer, offset, done);
  return static_cast<unsigned>(done);
}

unsigned WriteDiskFileAt(FileHandle file, const void* buffer, unsigned count, unsigned offset) {
  if (file == kInvalidFile || (!buffer && count) || IsRemoteFile(file)) return 0;
  if (static_cast<uint64_t>(offset) + count > kMaxPosition + 1) return 0;
  uint64_t staged = 0;
  switch (JournalBeforeWrite(file, offset, buffer, count, &staged)) {
    case JournalVerdict::kFail: return 0;
    case JournalVerdict::kSkip: return count;
    case JournalVerdict::kWrite: break;
  }
  // The staged head waits in the journal; the rest follows it on disk.
  const unsigned rest = count - static_cast<unsigned>(staged);
  const unsigned at = offset + static_cast<unsigned>(staged);
  if (!PassFaultPoint(FaultKind::kWrite, file, at, rest)) return 0;
  const unsigned done =
      GatherWrite(file, static_cast<const char*>(buffer) + staged, rest, at);
  return done == rest ? count : 0;
}

unsigned GetDiskFileSize(FileHandle file) {
  if (IsRemoteFile(file)) return GetRemoteFileSize(file);
  struct stat st;
  if (file == kInvalidFile || fstat(file, &st) != 0 || st.st_size < 0) return kFileFailure;
  // Gathered writes not yet on disk count: the caller wrote them.
  const uint64_t size = std::max<uint64_t>(static_cast<uint64_t>(st.st_size), GatheredEnd(file));
  if (size > kMaxPosition) return kFileFailure;
  return static_cast<unsigned>(size);
}

unsigned SeekDiskFile(FileHandle file, int32_t offset, unsigned origin) {
  if (file == kInvalidFile) return kFileFailure;
  if (IsRemoteFile(file)) return SeekRemoteFile(file, offset, origin);
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
  if (IsRemoteFile(file)) return TellRemoteFile(file);
  off_t cur = lseek(file, 0, SEEK_CUR);
  if (cur < 0 || static_cast<uint64_t>(cur) > kMaxPosition) return kFileFailure;
  return static_cast<unsigned>(cur);
}

bool FlushDiskFile(FileHandle file) {
  if (file == kInvalidFile || IsRemoteFile(file)) return false;
  if (!JournalBeforeSync(file)) return false;
  if (!PassFaultPoint(FaultKind::kSync, IsWriteThrough(file) ? file : -1)) return false;
  if (!WriteOutGathered(file, true)) return false;
  if (!IsWriteThrough(file)) return true;
  if (fdatasync(file) == 0) return true;
  NoteSystemError(errno);
  return false;
}

bool StartDiskFileWriteback(FileHandle file) {
  // A journal that can undo what the file holds must reach the disk first.
  if (file == kInvalidFile || !JournalBeforeSync(file) || !WriteOutGathered(file, true))
    return false;
  // Advice only: whatever it does not start, the later sync does.
  sync_file_range(file, 0, 0, SYNC_FILE_RANGE_WRITE);
  return true;
}

bool SyncDiskFilePath(const char* path) {
  if (!path || !*path) return false;
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return NoteSystemError(errno), false;
  const bool ok = PassFaultPoint(FaultKind::kSync, fd) && fdatasync(fd) == 0;
  if (!ok) NoteSystemError(errno);
  close(fd);
  return ok;
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

bool PathExists(const char* path) {
  struct stat st;
  return path && lstat(path, &st) == 0;
}

bool IsDiskFileHeld(const char* path) {
  struct stat st;
  return path && lstat(path, &st) == 0 && IsHeldOpen(IdentityOf(st));
}

bool DeleteDiskFile(const char* path) {
  if (!path || !*path) return false;
  struct stat st;
  if (lstat(path, &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (IsHeldOpen(IdentityOf(st))) return false;
  if (!PassFaultPoint(FaultKind::kDelete)) return false;
  return unlink(path) == 0;
}

bool MoveDiskFile(const char* from, const char* to) {
  if (!from || !to || !*from || !*to) return false;
  struct stat st;
  if (lstat(from, &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (IsHeldOpen(IdentityOf(st))) return false;
  if (!PassFaultPoint(FaultKind::kRename)) return false;
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: test, then rename.
  if (lstat(to, &st) == 0) return false;
  return rename(from, to) == 0;
}

bool ReplaceDiskFile(const char* target, const char* replacement) {
  if (!target || !replacement) return false;
  char aside[kPathRoom];
  if (!JoinPath(target, "old", aside)) return false;
  // A file that happens to carry the aside name is never overwritten.
  struct stat st;
  if (lstat(aside, &st) == 0 || !MoveDiskFile(target, aside)) return false;
  if (!MoveDiskFile(replacement, target)) {
    MoveDiskFile(aside, target);
    return false;
  }
  DeleteDiskFile(aside);
  return true;
}

int DeleteMatchingFiles(const char* pattern) {
  if (!pattern || !*pattern) return 0;
  char dir[kPathRoom];
  if (!DirectoryOf(pattern, dir)) return 0;
  const char* mask = LastComponent(pattern);
  DIR* d = opendir(*dir ? dir : ".");
  if (!d) return 0;
  int deleted = 0;
  while (struct dirent* e = readdir(d)) {
    if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
    if (!MatchWildcard(mask, e->d_name)) continue;
    char match[kPathRoom];
    if (JoinPath(dir, e->d_name, match) && DeleteDiskFile(match)) ++deleted;
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
  const size_t dirLength = static_cast<size_t>(mask - pattern);
  if (dirLength >= kPathRoom) return false;
  char dir[kPathRoom];
  std::memcpy(dir, pattern, dirLength);
  dir[dirLength] = '\0';
  DIR* d = opendir(*dir ? dir : ".");
  if (!d) return false;
  char best[sizeof(dirent::d_name)];
  bool found = false;
  while (struct dirent* e = readdir(d)) {
    if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
    if (!MatchWildcard(mask, e->d_name)) continue;
    if (found && std::strcmp(e->d_name, best) >= 0) continue;
    char match[kPathRoom];
    struct stat st;
    if (!JoinPath(dir, e->d_name, match) || lstat(match, &st) != 0 || S_ISDIR(st.st_mode))
      continue;
    std::strcpy(best, e->d_name);  // d_name is NUL-terminated within its array
    found = true;
  }
  closedir(d);
  const size_t bestLength = found ? std::strlen(best) : 0;
  if (!found || bestLength >= size) return false;
  std::memcpy(name, best, bestLength + 1);
  return true;
}

bool SyncPathDirectory(const char* path) {
  if (!path || !*path) return false;
  if (!PassFaultPoint(FaultKind::kSync)) return false;
  char dir[kPathRoom];
  if (!DirectoryOf(path, dir)) return false;
  if (!*dir && path[0] == '/') std::strcpy(dir, "/");  // a file in the root
  int fd = open(*dir ? dir : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

}  // namespace orvel
