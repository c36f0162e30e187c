// The journal's staging of in-place writes (see CommitJournal.h): bytes an
// update would write over committed ones wait in memory, seen by the
// update's own reads, until the commit applies them under the commit lock.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "frame/Allocation.h"
#include "frame/CommitJournal.h"
#include "frame/JournalFormat.h"
#include "frame/WriterLock.h"

namespace orvel {

bool CommitJournal::Stage(unsigned index, uint64_t offset, const void* data, uint64_t count) {
  Extent*& list = m_extents[index];
  unsigned& n = m_extentCount[index];
  const uint64_t end = offset + count;
  // The extents the write overlaps or touches merge with it into one.
  unsigned first = 0;
  while (first < n && list[first].start + list[first].length < offset) ++first;
  unsigned last = first;
  while (last < n && list[last].start <= end) ++last;
  uint64_t start = offset, stop = end;
  if (last > first) {
    if (list[first].start < start) start = list[first].start;
    const Extent& tail = list[last - 1];
    if (tail.start + tail.length > stop) stop = tail.start + tail.length;
  }
  const uint64_t length = stop - start;
  unsigned char* bytes = nullptr;
  uint64_t room = 0;
  if (last > first && list[first].start == start && list[first].room >= length) {
    // Growing the first extent in place: the common run of writes that
    // follow each other.
    bytes = list[first].bytes;
    room = list[first].room;
  } else {
    room = length;
    if (last > first) room = length < 2 * list[first].room ? 2 * list[first].room : length;
    if (room < 4096) room = 4096;
    bytes = static_cast<unsigned char*>(VrkAlloc(room));
    if (!bytes) return false;
    if (last > first) std::memcpy(bytes, list[first].bytes, list[first].length);
  }
  uint64_t before = 0;
  for (unsigned i = first; i < last; ++i) {
    before += list[i].length;
    if (i > first || list[i].bytes != bytes) {
      std::memcpy(bytes + (list[i].start - start), list[i].bytes, list[i].length);
      if (list[i].bytes != bytes) VrkFree(list[i].bytes);
    }
  }
  std::memcpy(bytes + (offset - start), data, count);
  if (last == first) {
    if (n == m_extentRoom[index]) {
      const unsigned grown = n ? n * 2 : 8;
      Extent* bigger = static_cast<Extent*>(VrkAlloc(grown * sizeof(Extent)));
      if (!bigger) {
        VrkFree(bytes);
        return false;
      }
      if (n) std::memcpy(bigger, list, n * sizeof(Extent));
      VrkFree(list);
      list = bigger;
      m_extentRoom[index] = grown;
    }
    std::memmove(&list[first + 1], &list[first], (n - first) * sizeof(Extent));
    ++n;
  } else if (last > first + 1) {
    std::memmove(&list[first + 1], &list[last], (n - last) * sizeof(Extent));
    n -= last - first - 1;
  }
  list[first] = Extent{start, length, room, bytes};
  m_stagedBytes += length - before;
  return true;
}

void CommitJournal::Overlay(unsigned index, void* buffer, uint64_t offset, uint64_t count) const {
  const Extent* list = m_extents[index];
  const uint64_t end = offset + count;
  for (unsigned i = 0; i < m_extentCount[index]; ++i) {
    const Extent& e = list[i];
    if (e.start >= end) break;
    const uint64_t from = e.start > offset ? e.start : offset;
    const uint64_t to = e.start + e.length < end ? e.start + e.length : end;
    if (from < to)
      std::memcpy(static_cast<unsigned char*>(buffer) + (from - offset), e.bytes + (from - e.start),
                  to - from);
  }
}

void CommitJournal::DropStaged() {
  for (unsigned i = 0; i < kJournalMaxFiles; ++i) {
    for (unsigned k = 0; k < m_extentCount[i]; ++k) VrkFree(m_extents[i][k].bytes);
    m_extentCount[i] = 0;
    VrkFree(m_extents[i]);
    m_extents[i] = nullptr;
    m_extentRoom[i] = 0;
  }
  m_stagedBytes = 0;
}

bool CommitJournal::LockCommit() {
  if (!m_commitLock || m_commitLock->Held()) return true;
  return m_commitLock->Acquire(m_paths[0], true, LockWaitMs(), nullptr);
}

bool CommitJournal::ApplyStaged() {
  m_staging = false;
  if (m_stagedBytes == 0) return true;
  if (!LockCommit()) return false;
  bool ok = true;
  for (unsigned i = 0; i < m_count && ok; ++i) {
    if (m_extentCount[i] == 0) continue;
    int fd = m_attached[i];
    int own = -1;
    if (fd == kInvalidFile) fd = own = open(m_paths[i], O_RDWR | O_CLOEXEC);
    ok = fd >= 0;
    bool wrote = false;
    for (unsigned k = 0; ok && k < m_extentCount[i]; ++k) {
      const Extent& e = m_extents[i][k];
      uint64_t unused = 0;
      switch (BeforeWrite(i, fd, e.start, e.bytes, e.length, &unused)) {
        case JournalVerdict::kFail: ok = false; break;
        case JournalVerdict::kSkip: break;
        case JournalVerdict::kWrite:
          ok = journal::WriteAllAt(fd, e.bytes, e.length, e.start);
          wrote = true;
          break;
      }
    }
    if (ok && wrote) ok = journal::SyncFd(fd);
    if (own >= 0) close(own);
  }
  DropStaged();
  return ok;
}

}  // namespace orvel
