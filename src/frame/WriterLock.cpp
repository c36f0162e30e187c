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

off_t ByteOf(LockByte which) { return which == LockByte::kWriter ? kWriterByte : kCommitByte; }

std::atomic<unsigned> g_waitMs{0xFFFFFFFFu};

bool SetLock(int fd, short type, off_t byte) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

bool TryLock(int fd, bool exclusive, off_t byte) {
  return SetLock(fd, exclusive ? F_WRLCK : F_RDLCK, byte);
}

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
  unsigned pause = 1;
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
    if (TryLock(fd, writable, ByteOf(m_which))) {
      if (SameFile(fd, path)) {
        m_fd = fd;
        m_exclusive = writable;
        return true;
      }
      close(fd);  // the path names another file now: lock that one
      continue;
    }
    const int err = errno;
    close(fd);
    if (err != EAGAIN && err != EACCES) return false;
    if (NowMs() >= deadline) return false;
    SleepMs(pause);
    if (pause < 20) pause *= 2;
  }
}

bool LockCommitShared(int fd, unsigned waitMs) {
  if (fd < 0) return false;
  if (TryLock(fd, false, kCommitByte)) return true;
  const uint64_t deadline = NowMs() + waitMs;
  unsigned pause = 1;
  for (;;) {
    if (errno != EAGAIN && errno != EACCES) return false;
    if (NowMs() >= deadline) return false;
    SleepMs(pause);
    if (pause < 8) pause *= 2;
    if (TryLock(fd, false, kCommitByte)) return true;
  }
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

void WriterLock::TakeFrom(WriterLock& other) {
  Release();
  m_which = other.m_which;
  m_fd = other.m_fd;
  m_exclusive = other.m_exclusive;
  other.m_fd = -1;
  other.m_exclusive = false;
}

void WriterLock::Release() {
  if (m_fd < 0) return;
  close(m_fd);  // closing the description drops its lock
  m_fd = -1;
  m_exclusive = false;
}

}  // namespace orvel
