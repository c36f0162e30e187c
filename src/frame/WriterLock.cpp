#include "frame/WriterLock.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

namespace orvel {
namespace {

// Far past any data the 32-bit formats can address.
constexpr off_t kWriterByte = off_t{1} << 40;
constexpr off_t kCommitByte = kWriterByte + 1;
// A writer waiting for the commit lock holds this byte exclusively; readers
// take it shared together with the commit byte and let it go at once, so
// that no new reader comes in ahead of a waiting writer.
constexpr off_t kIntentByte = kWriterByte + 2;
// The same for writers among themselves: a writer waiting for the writer
// lock holds this byte, so the writer that just let the lock go cannot take
// it again at once, bracket after bracket.
constexpr off_t kWriterIntentByte = kWriterByte + 3;

std::atomic<unsigned> g_waitMs{0xFFFFFFFFu};

bool SetLock(int fd, short type, off_t byte, off_t length = 1) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = length;
  return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

bool Busy() { return errno == EAGAIN || errno == EACCES; }

uint64_t NowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void SleepMs(unsigned ms) {
  struct timespec ts = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

bool SameFile(int fd, const char* path) {
  struct stat a, b;
  return fstat(fd, &a) == 0 && stat(path, &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

// One attempt at the lock on `fd`.
bool TryTake(int fd, LockByte which, bool exclusive, bool* intent) {
  if (which == LockByte::kWriter && !exclusive) return SetLock(fd, F_RDLCK, kWriterByte);
  const off_t intentByte = which == LockByte::kWriter ? kWriterIntentByte : kIntentByte;
  const off_t lockByte = which == LockByte::kWriter ? kWriterByte : kCommitByte;
  if (!exclusive) {
    if (!SetLock(fd, F_RDLCK, kCommitByte, 2)) return false;
    SetLock(fd, F_UNLCK, kIntentByte);
    return true;
  }
  if (!*intent && !(*intent = SetLock(fd, F_WRLCK, intentByte))) return false;
  if (!SetLock(fd, F_WRLCK, lockByte)) return false;
  SetLock(fd, F_UNLCK, intentByte);
  *intent = false;
  return true;
}

// Takes the lock on `fd`, trying until `deadline`.
bool Take(int fd, LockByte which, bool exclusive, uint64_t deadline) {
  bool intent = false;
  unsigned pause = 1;
  for (;;) {
    if (TryTake(fd, which, exclusive, &intent)) return true;
    if (!Busy() || NowMs() >= deadline) break;
    SleepMs(pause);
    if (pause < 20) pause *= 2;
  }
  if (intent) SetLock(fd, F_UNLCK, which == LockByte::kWriter ? kWriterIntentByte : kIntentByte);
  return false;
}

}  // namespace

unsigned LockWaitMs() {
  unsigned ms = g_waitMs.load(std::memory_order_relaxed);
  if (ms != 0xFFFFFFFFu) return ms;
  ms = 10000;
  if (const char* env = getenv("ORVEL_LOCK_WAIT_MS")) {
    char* end = nullptr;
    const unsigned long v = strtoul(env, &end, 10);
    if (end != env && *end == 0 && v < 0xFFFFFFFFul) ms = static_cast<unsigned>(v);
  }
  g_waitMs.store(ms, std::memory_order_relaxed);
  return ms;
}

void SetLockWaitMs(unsigned ms) { g_waitMs.store(ms, std::memory_order_relaxed); }

bool WriterLock::Acquire(const char* path, bool exclusive, unsigned waitMs, bool* readOnly) {
  Release();
  if (!path || !*path) return false;
  const uint64_t deadline = NowMs() + waitMs;
  for (;;) {
    bool writable = exclusive;
    int fd = exclusive ? open(path, O_RDWR | O_CLOEXEC) : -1;
    if (fd < 0) {
      if (exclusive && errno == ENOENT) return false;
      writable = false;
      fd = open(path, O_RDONLY | O_CLOEXEC);
      if (fd < 0) return false;
    }
    if (readOnly) *readOnly = exclusive && !writable;
    if (!Take(fd, m_which, writable, deadline)) {
      close(fd);
      return false;
    }
    if (SameFile(fd, path)) {
      m_fd = fd;
      m_exclusive = writable;
      return true;
    }
    close(fd);  // the path names another file now: lock that one
  }
}

void WriterLock::TakeFrom(WriterLock& other) {
  Release();
  m_which = other.m_which;
  m_fd = other.m_fd;
  m_exclusive = other.m_exclusive;
  other.m_fd = -1;
  other.m_exclusive = false;
}

bool LockCommitShared(int fd, unsigned waitMs) {
  if (fd < 0) return false;
  bool intent = false;
  if (TryTake(fd, LockByte::kCommit, false, &intent)) return true;  // the usual case
  return Busy() && Take(fd, LockByte::kCommit, false, NowMs() + waitMs);
}

void UnlockCommitShared(int fd) {
  if (fd >= 0) SetLock(fd, F_UNLCK, kCommitByte);
}

bool WriterLockHeld(int fd) {
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kWriterByte;
  fl.l_len = 1;
  return fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
}

void WriterLock::Release() {
  if (m_fd < 0) return;
  close(m_fd);  // closing the description drops its lock
  m_fd = -1;
  m_exclusive = false;
}

}  // namespace orvel
