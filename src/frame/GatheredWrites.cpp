#include "frame/GatheredWrites.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "frame/Allocation.h"
#include "frame/ErrorCode.h"

namespace orvel {
namespace {

// A process writes through few handles at a time (an archive update uses at
// most three); a handle that finds no free slot simply writes at once.
constexpr int kSlots = 8;

struct Run {
  // The owning descriptor, -1 when free. Claimed and freed under g_claim;
  // everything else is touched only by the thread using the handle, as the
  // handles themselves are not shared between threads.
  std::atomic<int> fd{-1};
  uint64_t start = 0;   // file offset of bytes[0]
  uint32_t length = 0;  // pending bytes; start + length never passes the boundary above start
  unsigned char* bytes = nullptr;
  uint64_t reservedEnd = 0;  // disk space is reserved up to here (beyond the end of file)
  bool cannotReserve = false;  // the file system has no reservations: never defer
  bool failed = false;
  uint64_t lostStart = 0, lostEnd = 0;  // bytes whose deferred write failed
};

Run g_runs[kSlots];
std::atomic<int> g_claimed{0};
std::mutex g_claim;

// Writes all `count` bytes at `offset`, retrying short writes; the number
// of bytes written (short only on failure).
size_t WriteFullyAt(int fd, const void* data, size_t count, uint64_t offset) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = pwrite(fd, static_cast<const char*>(data) + done, count - done,
                       static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) NoteSystemError(errno);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

Run* Find(int fd) {
  if (g_claimed.load(std::memory_order_acquire) == 0) return nullptr;
  for (Run& r : g_runs)
    if (r.fd.load(std::memory_order_acquire) == fd) return &r;
  return nullptr;
}

bool IsWritable(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY && !(flags & O_PATH);
}

Run* Claim(int fd) {
  if (!IsWritable(fd)) return nullptr;  // such writes must fail at once
  void* bytes = VrkAlloc(kGatherRun);
  if (!bytes) return nullptr;
  std::lock_guard<std::mutex> lock(g_claim);
  for (Run& r : g_runs) {
    if (r.fd.load(std::memory_order_relaxed) != -1) continue;
    r.start = 0;
    r.length = 0;
    r.bytes = static_cast<unsigned char*>(bytes);
    r.reservedEnd = 0;
    r.cannotReserve = false;
    r.failed = false;
    r.lostStart = r.lostEnd = 0;
    r.fd.store(fd, std::memory_order_release);
    g_claimed.fetch_add(1, std::memory_order_release);
    return &r;
  }
  VrkFree(bytes);
  return nullptr;
}

void Unclaim(Run& r) {
  VrkFree(r.bytes);
  r.bytes = nullptr;
  std::lock_guard<std::mutex> lock(g_claim);
  r.fd.store(-1, std::memory_order_release);
  g_claimed.fetch_sub(1, std::memory_order_release);
}

uint64_t BoundaryAfter(uint64_t offset) { return (offset / kGatherRun + 1) * kGatherRun; }

uint64_t FileSizeOf(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// Writes that would pass the process's file size limit must fail when they
// are made, as they would unwritten.
bool CrossesSizeLimit(uint64_t end) {
  struct rlimit limit;
  return getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
         end > limit.rlim_cur;
}

// Reserves the disk space from `from` to the window's end, so that the
// deferred write cannot run out of space: a full disk must fail the write
// that fills it, not a later one. False when the file system cannot.
bool Reserve(Run& r, int fd, uint64_t from) {
  const uint64_t limit = BoundaryAfter(from);
  if (r.reservedEnd >= limit) return true;
  const uint64_t start = std::max(from, r.reservedEnd);
  if (fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(start),
                static_cast<off_t>(limit - start)) != 0) {
    r.cannotReserve = errno == EOPNOTSUPP || errno == ENOSYS;
    return false;
  }
  r.reservedEnd = limit;
  return true;
}

// Gives back the reserved space that no write reached. Some file systems
// punch holes only below the end of file; setting the size it already has
// drops the blocks beyond it there.
void ReleaseReserve(Run& r, int fd) {
  if (r.reservedEnd == 0) return;
  const uint64_t end = FileSizeOf(fd);
  if (r.reservedEnd > end && r.length == 0 && !r.failed) {
    fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(end),
              static_cast<off_t>(r.reservedEnd - end));
    if (ftruncate(fd, static_cast<off_t>(end)) != 0) {
      // Only space stays reserved; the file is unchanged.
    }
  }
  r.reservedEnd = 0;
}

void MarkLost(Run& r, uint64_t start, uint64_t end) {
  r.lostStart = r.failed ? std::min(r.lostStart, start) : start;
  r.lostEnd = r.failed ? std::max(r.lostEnd, end) : end;
  r.failed = true;
}

// Writes the pending bytes; the run then continues where they ended.
bool WriteOut(Run& r, int fd) {
  if (r.failed) return false;
  if (r.length == 0) return true;
  if (WriteFullyAt(fd, r.bytes, r.length, r.start) != r.length) {
    MarkLost(r, r.start, r.start + r.length);
    r.length = 0;
    return false;
  }
  r.start += r.length;
  r.length = 0;
  return true;
}

}  // namespace

unsigned GatherWrite(int fd, const void* data, unsigned count, uint32_t offset) {
  if (count == 0) return 0;
  Run* r = Find(fd);
  if (r && r->failed) return 0;
  const uint64_t end = uint64_t{offset} + count;
  // Only growth is gathered: a write inside the file reaches it at once, so
  // that the file as other readers see it changes only at its end.
  bool growth;
  if (r && r->length && offset == r->start + r->length) {
    growth = true;
  } else {
    if (r && r->length && !WriteOut(*r, fd)) return 0;
    growth = offset >= FileSizeOf(fd);
  }
  if (!growth || CrossesSizeLimit(end) || (!r && !(r = Claim(fd))) || r->cannotReserve)
    return static_cast<unsigned>(WriteFullyAt(fd, data, count, offset));
  if (r->length == 0) r->start = offset;

  const unsigned char* p = static_cast<const unsigned char*>(data);
  size_t left = count;
  while (left) {
    const uint64_t at = r->start + r->length;
    if (r->length == 0 && at % kGatherRun == 0 && left >= kGatherRun) {
      // Whole aligned runs go straight from the caller's buffer.
      const size_t whole = left - left % kGatherRun;
      if (WriteFullyAt(fd, p, whole, at) != whole) return 0;
      r->start = at + whole;
      p += whole;
      left -= whole;
      continue;
    }
    if (!Reserve(*r, fd, at)) {
      // No reservation, no deferral: the rest goes to disk now.
      if (!WriteOut(*r, fd)) return 0;
      return WriteFullyAt(fd, p, left, at) == left ? count : 0;
    }
    const uint64_t limit = BoundaryAfter(r->start);
    const size_t take = static_cast<size_t>(std::min<uint64_t>(left, limit - at));
    std::memcpy(r->bytes + r->length, p, take);
    r->length += static_cast<uint32_t>(take);
    p += take;
    left -= take;
    if (r->start + r->length == limit && !WriteOut(*r, fd)) return 0;
  }
  return count;
}

bool WriteOutOverlapping(int fd, uint64_t offset, uint64_t count) {
  Run* r = Find(fd);
  if (!r) return true;
  const uint64_t end = offset + count;
  if (r->failed) return end <= r->lostStart || offset >= r->lostEnd;
  if (r->length == 0 || end <= r->start || offset >= r->start + r->length) return true;
  return WriteOut(*r, fd);
}

bool WriteOutGathered(int fd, bool release) {
  Run* r = Find(fd);
  if (!r) return true;
  const bool written = WriteOut(*r, fd);
  if (release) ReleaseReserve(*r, fd);
  if (release && written) {
    Unclaim(*r);
  } else if (release) {
    // The failure state outlives the memory.
    VrkFree(r->bytes);
    r->bytes = nullptr;
  }
  return written;
}

uint64_t GatheredEnd(int fd) {
  const Run* r = Find(fd);
  return r && !r->failed ? r->start + r->length : 0;
}

bool ForgetGathered(int fd) {
  Run* r = Find(fd);
  if (!r) return true;
  const bool written = WriteOut(*r, fd);
  ReleaseReserve(*r, fd);
  Unclaim(*r);
  return written;
}

}  // namespace orvel
