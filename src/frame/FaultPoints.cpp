#include "frame/FaultPoints.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "frame/Allocation.h"

namespace orvel {
namespace {

std::atomic<bool> g_armed{false};
std::atomic<uint64_t> g_passed{0};
std::atomic<uint64_t> g_strikeAt{0};
FaultAction g_action = FaultAction::kNone;

// What a write not yet synced replaced: enough to undo it.
struct Undo {
  Undo* previous;
  dev_t device;
  ino_t inode;
  char path[512];
  uint64_t offset;
  uint64_t length;   // bytes kept after this record
  uint64_t oldSize;  // the file's size before the write
  unsigned char bytes[1];
};
std::mutex g_undoMutex;
Undo* g_lastUndo = nullptr;

bool LosesWrites() {
  return g_action == FaultAction::kLoseUnsynced || g_action == FaultAction::kTearUnsynced;
}

void Remember(int fd, uint64_t offset, uint64_t count) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  const uint64_t end = count > size ? size : (offset + count < size ? offset + count : size);
  const uint64_t length = end > offset ? end - offset : 0;
  Undo* u = static_cast<Undo*>(VrkAlloc(sizeof(Undo) + length));
  if (!u) return;
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, u->path, sizeof u->path - 1);
  if (n <= 0 || (length && pread(fd, u->bytes, length, static_cast<off_t>(offset)) !=
                               static_cast<ssize_t>(length))) {
    VrkFree(u);
    return;
  }
  u->path[n] = 0;
  u->device = st.st_dev;
  u->inode = st.st_ino;
  u->offset = offset;
  u->length = length;
  u->oldSize = size;
  std::lock_guard<std::mutex> lock(g_undoMutex);
  u->previous = g_lastUndo;
  g_lastUndo = u;
}

void ForgetSynced(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return;
  std::lock_guard<std::mutex> lock(g_undoMutex);
  for (Undo** link = &g_lastUndo; *link;) {
    Undo* u = *link;
    if (u->device == st.st_dev && u->inode == st.st_ino) {
      *link = u->previous;
      VrkFree(u);
    } else {
      link = &u->previous;
    }
  }
}

// Newest first, so that the oldest contents end up on disk.
void UndoUnsynced(bool tear) {
  unsigned index = 0;
  for (Undo* u = g_lastUndo; u; u = u->previous, ++index) {
    if (tear && index % 2 == 1) continue;
    const int fd = open(u->path, O_RDWR | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_dev == u->device && st.st_ino == u->inode) {
      if (u->length) (void)!pwrite(fd, u->bytes, u->length, static_cast<off_t>(u->offset));
      if (static_cast<uint64_t>(st.st_size) > u->oldSize)
        (void)!ftruncate(fd, static_cast<off_t>(u->oldSize));
    }
    close(fd);
  }
}

}  // namespace

void ArmFaultPlan(FaultAction action, uint64_t k) {
  g_action = action;
  g_strikeAt.store(k, std::memory_order_relaxed);
  g_passed.store(0, std::memory_order_relaxed);
  g_armed.store(true, std::memory_order_release);
}

void DisarmFaultPlan() { g_armed.store(false, std::memory_order_release); }

uint64_t FaultPointsPassed() { return g_passed.load(std::memory_order_relaxed); }

bool PassFaultPoint(FaultKind kind, int fd, uint64_t offset, uint64_t count) {
  if (!g_armed.load(std::memory_order_relaxed)) return true;
  const uint64_t n = g_passed.fetch_add(1, std::memory_order_relaxed) + 1;
  if (n == g_strikeAt.load(std::memory_order_relaxed)) {
    switch (g_action) {
      case FaultAction::kCrash:
        _exit(kFaultExitCode);
      case FaultAction::kLoseUnsynced:
      case FaultAction::kTearUnsynced:
        UndoUnsynced(g_action == FaultAction::kTearUnsynced);
        _exit(kFaultExitCode);
      case FaultAction::kFail:
        errno = EIO;
        return false;
      case FaultAction::kStop:
        raise(SIGSTOP);  // the point passes once the process goes on
        break;
      case FaultAction::kNone:
        break;
    }
  }
  if (LosesWrites() && fd >= 0) {
    if (kind == FaultKind::kWrite || kind == FaultKind::kTruncate) {
      Remember(fd, offset, kind == FaultKind::kTruncate ? UINT64_MAX : count);
    } else if (kind == FaultKind::kSync) {
      ForgetSynced(fd);
    }
  }
  return true;
}

}  // namespace orvel
