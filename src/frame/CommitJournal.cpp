#include "frame/CommitJournal.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

#include "frame/Allocation.h"
#include "frame/ContentMark.h"
#include "frame/ErrorCode.h"
#include "frame/FaultPoints.h"
#include "frame/GatheredWrites.h"
#include "frame/JournalFormat.h"

namespace orvel {
namespace {

using namespace journal;

constexpr uint32_t kCopyPiece = 1u << 20;

using Block = std::unique_ptr<unsigned char, VrkFreeDeleter>;

const char* BaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p; ++p)
    if ((*p == '/' || *p == '\\') && p[1]) base = p + 1;
  return base;
}

bool SyncDirectoryOf(const char* path) { return SyncPathDirectory(path); }

// Makes the bytes of the file at `path` durable.
bool SyncPath(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = SyncFd(fd);
  close(fd);
  return ok;
}

// Handles whose writes a journal watches.
struct Watch {
  FileHandle file;
  CommitJournal* journal;
  unsigned index;
};
constexpr unsigned kMaxWatches = 64;
std::atomic<bool> g_journaling{true};
std::mutex g_watchMutex;
Watch g_watches[kMaxWatches];
unsigned g_watchCount = 0;
// Mirrors g_watchCount for the lock-free test of the common case.
std::atomic<unsigned> g_anyWatch{0};

bool FindWatch(FileHandle file, Watch* out) {
  if (g_anyWatch.load(std::memory_order_acquire) == 0) return false;
  std::lock_guard<std::mutex> lock(g_watchMutex);
  for (unsigned i = 0; i < g_watchCount; ++i)
    if (g_watches[i].file == file) return *out = g_watches[i], true;
  return false;
}

}  // namespace

CommitJournal::~CommitJournal() {
  DropStaged();
  DetachAll();
  Close();
  for (Range*& r : m_ranges) {
    VrkFree(r);
    r = nullptr;
  }
}

bool CommitJournal::SetFiles(const char* const* paths, unsigned count, unsigned archiveFiles) {
  if (Active() || count == 0 || count > kJournalMaxFiles || archiveFiles > count) return false;
  for (unsigned i = 0; i < count; ++i)
    if (!paths[i] || std::strlen(paths[i]) >= kJournalMaxPath) return false;
  for (unsigned i = 0; i < count; ++i) std::strcpy(m_paths[i], paths[i]);
  m_count = count;
  m_archiveFiles = archiveFiles;
  std::strcpy(m_journalPath, m_paths[0]);
  std::strcat(m_journalPath, kJournalSuffix);
  return true;
}

bool CommitJournal::Start() {
  if (Active()) return true;
  if (m_count == 0) return false;
  unsigned char buffer[16 + kJournalMaxFiles * (8 + kJournalMaxPath) + 4];
  std::memcpy(buffer, kMagic, 4);
  Put32(buffer + 4, kVersion);
  Put32(buffer + 8, m_count);
  Put32(buffer + 12, m_archiveFiles);
  size_t at = 16;
  for (unsigned i = 0; i < m_count; ++i) {
    struct stat st;
    uint32_t size = kAbsent;
    if (lstat(m_paths[i], &st) == 0 && i >= m_archiveFiles) {
      // Only an archive file's size matters; whatever else is there is
      // simply not the update's to make.
      size = kPresentOther;
    } else if (stat(m_paths[i], &st) == 0) {
      if (!S_ISREG(st.st_mode) || st.st_size >= 0xFFFFFFFFll) return false;
      size = static_cast<uint32_t>(st.st_size);
    } else if (errno != ENOENT) {
      return false;
    }
    m_committed[i] = size;
    m_rangeCount[i] = 0;
    const char* name = BaseName(m_paths[i]);
    const uint32_t length = static_cast<uint32_t>(std::strlen(name));
    Put32(buffer + at, size);
    Put32(buffer + at + 4, length);
    std::memcpy(buffer + at + 8, name, length);
    at += 8 + length;
  }
  Put32(buffer + at, Checksum(0, buffer, at));
  at += 4;
  if (!PassFaultPoint(FaultKind::kWrite)) return false;
  m_fd = open(m_journalPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (m_fd < 0) return false;
  if (!WriteAllAt(m_fd, buffer, at, 0)) {
    Close();
    unlink(m_journalPath);
    return false;
  }
  m_end = at;
  m_pending = true;
  m_dirSynced = false;
  m_window = 0;
  for (uint64_t& e : m_lastEnd) e = UINT64_MAX;
  return true;
}

void CommitJournal::Attach(unsigned index, FileHandle file) {
  if (file == kInvalidFile || index >= m_count) return;
  std::lock_guard<std::mutex> lock(g_watchMutex);
  for (unsigned i = 0; i < g_watchCount; ++i)
  m_attached[index] = file;
  for (unsigned i = 0; i < g_watchCount; ++i)
    if (g_watches[i].file == file) return void(g_watches[i] = Watch{file, this, index});
  if (g_watchCount < kMaxWatches) g_watches[g_watchCount++] = Watch{file, this, index};
  g_anyWatch.store(g_watchCount, std::memory_order_release);
}

void CommitJournal::DetachAll() {
  std::lock_guard<std::mutex> lock(g_watchMutex);
  for (unsigned i = 0; i < g_watchCount;) {
    if (g_watches[i].journal == this) {
      g_watches[i] = g_watches[--g_watchCount];
    } else {
      ++i;
    }
  }
  g_anyWatch.store(g_watchCount, std::memory_order_release);
  for (FileHandle& f : m_attached) f = kInvalidFile;
}

bool CommitJournal::MarkCovered(unsigned index, uint64_t start, uint64_t end) {
  Range*& ranges = m_ranges[index];
  unsigned& count = m_rangeCount[index];
  // Ranges stay sorted and disjoint; a new one absorbs those it touches.
  unsigned first = 0;
  while (first < count && ranges[first].end < start) ++first;
  unsigned last = first;
  while (last < count && ranges[last].start <= end) {
    if (ranges[last].start < start) start = ranges[last].start;
    if (ranges[last].end > end) end = ranges[last].end;
    ++last;
  }
  if (last == first) {
    if (count == m_rangeRoom[index]) {
      const unsigned room = m_rangeRoom[index] ? m_rangeRoom[index] * 2 : 8;
      Range* grown = static_cast<Range*>(VrkAlloc(room * sizeof(Range)));
      if (!grown) return false;
      if (count) std::memcpy(grown, ranges, count * sizeof(Range));
      VrkFree(ranges);
      ranges = grown;
      m_rangeRoom[index] = room;
    }
    std::memmove(&ranges[first + 1], &ranges[first], (count - first) * sizeof(Range));
    ++count;
  } else if (last > first + 1) {
    std::memmove(&ranges[first + 1], &ranges[last], (count - last) * sizeof(Range));
    count -= last - first - 1;
  }
  ranges[first] = Range{start, end};
  return true;
}

bool CommitJournal::Cover(unsigned index, uint64_t offset, uint64_t length, FileHandle file) {
  if (index >= m_count) return false;
  if (!Start()) return false;
  const uint32_t committed = m_committed[index];
  if (committed == kAbsent || offset >= committed) return true;
  const uint64_t end = length > committed - offset ? committed : offset + length;
  int fd = file;
  int own = -1;
  Block piece;
  uint64_t at = offset;
  const Range* ranges = m_ranges[index];
  unsigned r = 0;
  while (at < end) {
    // Skip what an earlier record holds.
    while (r < m_rangeCount[index] && ranges[r].end <= at) ++r;
    if (r < m_rangeCount[index] && ranges[r].start <= at) {
      at = ranges[r].end;
      continue;
    }
    uint64_t stop = r < m_rangeCount[index] && ranges[r].start < end ? ranges[r].start : end;
    if (stop - at > kCopyPiece) stop = at + kCopyPiece;
    const uint32_t n = static_cast<uint32_t>(stop - at);
    if (!piece) piece.reset(static_cast<unsigned char*>(VrkAlloc(kCopyPiece)));
    if (!piece) break;
    if (fd == kInvalidFile) fd = own = open(m_paths[index], O_RDONLY | O_CLOEXEC);
    // Raw reads: bytes below the committed size that no record holds were
    // never written in this update, so the disk has their old contents.
    if (fd < 0 || !ReadAllAt(fd, piece.get(), n, at)) break;
    if (!AppendRecord(kOldBytes, index, static_cast<uint32_t>(at), piece.get(), n)) break;
    if (!MarkCovered(index, at, stop)) break;
    ranges = m_ranges[index];
    r = 0;
    at = stop;
  }
  if (own >= 0) close(own);
  return at >= end;
}

JournalVerdict CommitJournal::BeforeWrite(unsigned index, FileHandle file, uint64_t offset,
                                          const void* data, uint64_t count, uint64_t* staged) {
  *staged = 0;
  if (!Start()) return JournalVerdict::kFail;
  const uint32_t committed = m_committed[index];
  if (committed == kAbsent || offset >= committed || count == 0) return JournalVerdict::kWrite;
  if (m_staging && index < m_archiveFiles) {
    const uint64_t below = committed - offset < count ? committed - offset : count;
    if (m_stagedBytes + below <= kStageLimit) {
      if (!Stage(index, offset, data, below)) return JournalVerdict::kFail;
      *staged = below;
      return below == count ? JournalVerdict::kSkip : JournalVerdict::kWrite;
    }
    // Past the bound: from here on the update writes through, the commit
    // lock held.
    if (!ApplyStaged()) return JournalVerdict::kFail;
  } else if (index < m_archiveFiles && !LockCommit()) {
    return JournalVerdict::kFail;
  }
  const uint64_t end = offset + count < committed ? offset + count : committed;
  // Where the write would change committed bytes that no record holds yet.
  // Bytes a record holds may have been rewritten since: the disk no longer
  // tells whether this write changes them, so it is never skipped.
  const Range* ranges = m_ranges[index];
  for (unsigned r = 0; r < m_rangeCount[index]; ++r) {
    if (ranges[r].start < end && ranges[r].end > offset) {
      if (!Cover(index, offset, end - offset, file) || !MakeDurable()) return JournalVerdict::kFail;
      return JournalVerdict::kWrite;
    }
  }
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  unsigned char old[16384];
  uint64_t changed = end;
  for (uint64_t at = offset; at < end && changed == end;) {
    const uint32_t n = static_cast<uint32_t>(end - at < sizeof old ? end - at : sizeof old);
    if (!ReadAllAt(file, old, n, at)) {
      changed = at;
      break;
    }
    const unsigned char* mine = bytes + (at - offset);
    if (std::memcmp(old, mine, n) != 0) {
      uint32_t i = 0;
      while (old[i] == mine[i]) ++i;
      changed = at + i;
    }
    at += n;
  }
  const bool follows = offset == m_lastEnd[index];
  m_lastEnd[index] = offset + count;
  if (changed == end) {
    // Same bytes: the committed part needs neither a copy nor a write.
    return end == offset + count ? JournalVerdict::kSkip : JournalVerdict::kWrite;
  }
  // A commit rewrites its tables piece by piece: copying ahead of a run of
  // writes, further each time, keeps the number of journal syncs small.
  // Scattered writes (records replaced in place) copy just what they cover.
  m_window = follows ? (m_window ? (m_window < (64u << 20) ? m_window * 2 : m_window)
                                 : (1u << 20))
                     : 0;
  const uint64_t reach = end - changed > m_window ? end - changed : m_window;
  if (!Cover(index, changed, reach, file) || !MakeDurable()) return JournalVerdict::kFail;
  return JournalVerdict::kWrite;
}

bool CommitJournal::AppendRecord(uint32_t tag, uint32_t file, uint32_t offset,
                                 const void* data, uint32_t length) {
  // The journal is only ever appended to.
  if (!WriteRecord(m_fd, m_end, tag, file, offset, data, length)) return false;
  m_end += kRecordHead + uint64_t{length};
  m_pending = true;
  return true;
}

bool CommitJournal::MakeDurable() {
  if (!Active()) return false;
  if (!m_pending) return true;
  if (!SyncFd(m_fd)) return false;
  // The journal must outlive a crash as long as anything it protects is
  // overwritten: its directory entry is made durable once.
  if (!m_dirSynced && !SyncDirectoryOf(m_journalPath)) return false;
  m_dirSynced = true;
  m_pending = false;
  return true;
}

FileHandle CommitJournal::CreateNew(unsigned index, unsigned attributes) {
  if (index < m_archiveFiles || index >= m_count || !Start()) return kInvalidFile;
  if (m_committed[index] != kAbsent || PathExists(m_paths[index])) {
    NoteSystemError(EEXIST);
    return kInvalidFile;
  }
  if (!AppendRecord(kCreated, index, 0, nullptr, 0) || !MakeDurable()) return kInvalidFile;
  const FileHandle file = CreateNewDiskFile(m_paths[index], attributes);
  // A file that appeared meanwhile is not the update's: the record is taken
  // back before anything could roll back over it.
  if (file == kInvalidFile && AppendRecord(kNotCreated, index, 0, nullptr, 0)) MakeDurable();
  return file;
}

bool CommitJournal::Exchange(const unsigned* targets, const unsigned* replacements,
                            unsigned count) {
  if (!Start()) return false;
  bool present[kJournalMaxFiles] = {};
  for (unsigned i = 0; i < count; ++i) {
    const unsigned t = targets[i], r = replacements[i];
    if (t >= m_count || r >= m_count || t == r) return false;
    if (IsDiskFileHeld(m_paths[t]) || IsDiskFileHeld(m_paths[r])) return false;
    // The marks must describe what a crash leaves: the new file durable.
    ContentMark in, out;
    if (!SyncPath(m_paths[r]) || !MarkPair(m_paths[r], m_paths[t], &in, &out) || !in.present)
      return false;
    unsigned char marks[2 * kMarkBytes];
    PutMark(marks, in);
    PutMark(marks + kMarkBytes, out);
    if (!AppendRecord(kExchange, t, r, marks, sizeof marks)) return false;
    present[i] = out.present;
  }
  if (!MakeDurable()) return false;
  for (unsigned i = 0; i < count; ++i) {
    if (!ExchangePaths(m_paths[replacements[i]], m_paths[targets[i]], present[i])) return false;
    if (present[i]) m_oldCopies[m_exchanged++] = replacements[i];
  }
  return SyncDirectoryOf(m_paths[targets[0]]);
}

bool CommitJournal::Commit() {
  if (!Active()) return true;
  if (m_exchanged) {
    // The new files are in place: record that, so that recovery finishes
    // the exchanges instead of undoing them, then drop the old files.
    if (!AppendRecord(kCommitted, 0, 0, nullptr, 0) || !MakeDurable()) return false;
    // Committed. An old file that cannot be deleted now is left, with the
    // journal that names it, to the next recovery.
    bool removed = true;
    for (unsigned i = 0; i < m_exchanged; ++i) removed &= Unlink(m_paths[m_oldCopies[i]]);
    if (!removed) {
      DetachAll();
      Close();
      return true;
    }
  }
  DetachAll();
  Close();
  // Files created by the update must be there after a crash before the
  // journal that would delete them goes.
  bool created = false;
  for (unsigned i = 0; i < m_archiveFiles; ++i) created |= m_committed[i] == kAbsent;
  if (created && !SyncDirectoryOf(m_journalPath)) return false;
  if (!Unlink(m_journalPath)) return false;
  return SyncDirectoryOf(m_journalPath);
}

bool CommitJournal::RollBack() {
  DropStaged();
  m_staging = false;
  if (!Active()) return true;
  // Bytes still gathered for the files would land after the rollback.
  for (FileHandle f : m_attached)
    if (f != kInvalidFile) WriteOutGathered(f, true);
  DetachAll();
  Close();
  return Recover(m_paths[0]) >= 0;
}

void CommitJournal::Close() {
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
  m_pending = false;
  m_exchanged = 0;
  for (unsigned i = 0; i < kJournalMaxFiles; ++i) m_rangeCount[i] = 0;
}

bool CommitJournal::JournalExists(const char* archivePath) {
  if (!archivePath) return false;
  char path[kJournalMaxPath + sizeof(kJournalSuffix)];
  if (std::strlen(archivePath) >= kJournalMaxPath) return false;
  std::strcpy(path, archivePath);
  std::strcat(path, kJournalSuffix);
  return PathExists(path);
}

void ForgetJournalWatch(FileHandle file) {
  std::lock_guard<std::mutex> lock(g_watchMutex);
  for (unsigned i = 0; i < g_watchCount; ++i) {
    if (g_watches[i].file != file) continue;
    g_watches[i].journal->ForgetHandle(g_watches[i].index);
    g_watches[i] = g_watches[--g_watchCount];
    g_anyWatch.store(g_watchCount, std::memory_order_release);
    return;
  }
}

bool JournalBeforeSync(FileHandle file) {
  Watch w;
  if (!FindWatch(file, &w) || !w.journal->Active()) return true;
  return w.journal->MakeDurable();
}

void SetJournalingEnabled(bool enabled) { g_journaling.store(enabled); }
bool JournalingEnabled() { return g_journaling.load(std::memory_order_relaxed); }

JournalVerdict JournalBeforeWrite(FileHandle file, uint64_t offset, const void* data,
                                  uint64_t count, uint64_t* staged) {
  *staged = 0;
  if (!JournalingEnabled()) return JournalVerdict::kWrite;
  Watch w;
  if (!FindWatch(file, &w)) return JournalVerdict::kWrite;
  return w.journal->BeforeWrite(w.index, file, offset, data, count, staged);
}

bool AnyJournalWatch() { return g_anyWatch.load(std::memory_order_acquire) != 0; }

void JournalOverlay(FileHandle file, void* buffer, uint64_t offset, uint64_t count) {
  Watch w;
  if (count == 0 || !FindWatch(file, &w) || w.journal->StagedBytes() == 0) return;
  w.journal->Overlay(w.index, buffer, offset, count);
}

}  // namespace orvel
