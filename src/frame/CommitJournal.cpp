#include "frame/CommitJournal.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

#include "frame/Allocation.h"
#include "frame/ErrorCode.h"
#include "frame/FaultPoints.h"
#include "frame/GatheredWrites.h"

namespace orvel {
namespace {

constexpr char kMagic[4] = {'V', 'R', 'K', 'J'};
constexpr uint32_t kVersion = 1;
constexpr uint32_t kAbsent = 0xFFFFFFFFu;
constexpr uint32_t kTagOldBytes = 1;
constexpr uint32_t kTagSwap = 2;
constexpr uint32_t kTagCommitted = 3;
constexpr uint32_t kTagExchange = 4;
constexpr uint32_t kCopyPiece = 1u << 20;
constexpr size_t kMaxDirPath = kJournalMaxPath + 16;

using Block = std::unique_ptr<unsigned char, VrkFreeDeleter>;

// A checksum over words: enough to tell a torn record from a whole one.
uint32_t Mix(uint32_t seed, const void* data, size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  uint64_t h = 0x9E3779B97F4A7C15ull ^ seed ^ size;
  for (; size >= 8; size -= 8, p += 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 29;
  }
  for (; size > 0; --size, ++p) h = (h ^ *p) * 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 32;
  return static_cast<uint32_t>(h);
}

void Put32(unsigned char* p, uint32_t v) { std::memcpy(p, &v, 4); }
uint32_t Get32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

bool ReadAllAt(int fd, void* data, size_t size, uint64_t offset) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = pread(fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteAllAt(int fd, const void* data, size_t size, uint64_t offset) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    if (!PassFaultPoint(FaultKind::kWrite, fd, offset, size)) return false;
    const ssize_t n = pwrite(fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) NoteSystemError(errno);
    if (n <= 0) return false;
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool SyncFd(int fd) {
  if (!PassFaultPoint(FaultKind::kSync, fd)) return false;
  if (fdatasync(fd) == 0) return true;
  NoteSystemError(errno);
  return false;
}

bool Unlink(const char* path) {
  if (!PassFaultPoint(FaultKind::kDelete)) return false;
  return unlink(path) == 0 || errno == ENOENT;
}

// The directory of `path` with its separator ("" for the current one).
void DirectoryOf(const char* path, char* dir) {
  if (!GetPathDirectory(path, dir)) dir[0] = 0;
  if (!dir[0] && path[0] == '/') std::strcpy(dir, "/");
}

const char* BaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p; ++p)
    if ((*p == '/' || *p == '\\') && p[1]) base = p + 1;
  return base;
}

bool SyncDirectoryOf(const char* path) { return SyncPathDirectory(path); }

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

// The journal as read back from disk, for recovery.
struct ParsedJournal {
  unsigned count = 0;
  uint32_t committed[kJournalMaxFiles] = {};
  char paths[kJournalMaxFiles][kMaxDirPath + kJournalMaxPath] = {};
  uint64_t recordsAt = 0;
  bool swapped = false;
  uint32_t swapTarget = 0, swapReplacement = 0, swapAside = 0;
  // Exchanges: target, replacement, and the identity of the file that was
  // to go in (device and inode), which tells whether it did.
  unsigned exchanges = 0;
  uint32_t exchangeTarget[kJournalMaxFiles] = {}, exchangeReplacement[kJournalMaxFiles] = {};
  uint64_t exchangeDevice[kJournalMaxFiles] = {}, exchangeInode[kJournalMaxFiles] = {};
  bool committedRecord = false;
};

// Renames `from` to `to`, exchanging them when both exist.
bool ExchangePaths(const char* from, const char* to, bool bothExist) {
  if (!PassFaultPoint(FaultKind::kRename)) return false;
  return renameat2(AT_FDCWD, from, AT_FDCWD, to, bothExist ? RENAME_EXCHANGE : RENAME_NOREPLACE) == 0;
}

bool IsFile(const char* path, uint64_t device, uint64_t inode) {
  struct stat st;
  return stat(path, &st) == 0 && static_cast<uint64_t>(st.st_dev) == device &&
         static_cast<uint64_t>(st.st_ino) == inode;
}

// Reads the header; false when it is torn or not a journal of ours.
bool ParseHeader(int fd, uint64_t size, const char* journalPath, ParsedJournal* j) {
  unsigned char head[12];
  if (size < 16 || !ReadAllAt(fd, head, 12, 0) || std::memcmp(head, kMagic, 4) != 0 ||
      Get32(head + 4) != kVersion)
    return false;
  j->count = Get32(head + 8);
  if (j->count == 0 || j->count > kJournalMaxFiles) return false;
  unsigned char buffer[12 + kJournalMaxFiles * (8 + kJournalMaxPath)];
  std::memcpy(buffer, head, 12);
  uint64_t at = 12;
  char dir[kMaxDirPath];
  DirectoryOf(journalPath, dir);
  for (unsigned i = 0; i < j->count; ++i) {
    unsigned char word[8];
    if (at + 8 > size || !ReadAllAt(fd, word, 8, at)) return false;
    j->committed[i] = Get32(word);
    const uint32_t length = Get32(word + 4);
    if (length == 0 || length >= kJournalMaxPath || at + 8 + length > size) return false;
    std::memcpy(buffer + at, word, 8);
    if (!ReadAllAt(fd, buffer + at + 8, length, at + 8)) return false;
    const char* name = reinterpret_cast<const char*>(buffer + at + 8);
    // Names are plain names in the journal's own directory.
    if (std::memchr(name, '/', length) || std::memchr(name, '\\', length) ||
        std::memchr(name, 0, length))
      return false;
    std::strcpy(j->paths[i], dir);
    std::strncat(j->paths[i], name, length);
    at += 8 + length;
  }
  unsigned char word[4];
  if (at + 4 > size || !ReadAllAt(fd, word, 4, at)) return false;
  if (Get32(word) != Mix(0, buffer, static_cast<size_t>(at))) return false;
  j->recordsAt = at + 4;
  return true;
}

// Walks the whole records; `apply` writes old bytes back. Stops at the first
// torn record. False when a write back failed.
bool WalkRecords(int fd, uint64_t size, ParsedJournal* j, bool apply) {
  uint64_t at = j->recordsAt;
  Block data;
  uint32_t room = 0;
  int files[kJournalMaxFiles];
  for (int& f : files) f = -1;
  bool ok = true;
  while (at + 20 <= size) {
    unsigned char head[20];
    if (!ReadAllAt(fd, head, 20, at)) break;
    const uint32_t tag = Get32(head), file = Get32(head + 4), offset = Get32(head + 8),
                   length = Get32(head + 12), sum = Get32(head + 16);
    if (file >= j->count || at + 20 + length > size) break;
    if (length > room) {
      data.reset(static_cast<unsigned char*>(VrkAlloc(length)));
      room = data ? length : 0;
      if (!data) {
        ok = false;
        break;
      }
    }
    if (length && !ReadAllAt(fd, data.get(), length, at + 20)) break;
    if (Mix(Mix(0, head, 16), data.get(), length) != sum) break;
    if (tag == kTagSwap) {
      j->swapped = true;
      j->swapTarget = file;
      j->swapReplacement = offset;
      if (length == 4) j->swapAside = Get32(data.get());
      if (j->swapReplacement >= j->count || j->swapAside >= j->count) break;
    } else if (tag == kTagExchange) {
      if (offset >= j->count || length != 16 || j->exchanges == kJournalMaxFiles) break;
      const unsigned e = j->exchanges++;
      j->exchangeTarget[e] = file;
      j->exchangeReplacement[e] = offset;
      std::memcpy(&j->exchangeDevice[e], data.get(), 8);
      std::memcpy(&j->exchangeInode[e], data.get() + 8, 8);
    } else if (tag == kTagCommitted) {
      j->committedRecord = true;
    } else if (tag == kTagOldBytes && apply) {
      if (files[file] < 0) files[file] = open(j->paths[file], O_RDWR | O_CLOEXEC);
      if (files[file] < 0 || !WriteAllAt(files[file], data.get(), length, offset)) ok = false;
    }
    at += 20 + length;
  }
  for (int f : files) {
    if (f < 0) continue;
    if (!SyncFd(f)) ok = false;
    close(f);
  }
  return ok;
}

}  // namespace

CommitJournal::~CommitJournal() {
  DetachAll();
  Close();
  for (Range*& r : m_ranges) {
    VrkFree(r);
    r = nullptr;
  }
}

bool CommitJournal::SetFiles(const char* const* paths, unsigned count) {
  if (Active() || count == 0 || count > kJournalMaxFiles) return false;
  for (unsigned i = 0; i < count; ++i)
    if (!paths[i] || std::strlen(paths[i]) >= kJournalMaxPath) return false;
  for (unsigned i = 0; i < count; ++i) std::strcpy(m_paths[i], paths[i]);
  m_count = count;
  std::strcpy(m_journalPath, m_paths[0]);
  std::strcat(m_journalPath, kJournalSuffix);
  return true;
}

bool CommitJournal::Start() {
  if (Active()) return true;
  if (m_count == 0) return false;
  unsigned char buffer[12 + kJournalMaxFiles * (8 + kJournalMaxPath) + 4];
  std::memcpy(buffer, kMagic, 4);
  Put32(buffer + 4, kVersion);
  Put32(buffer + 8, m_count);
  size_t at = 12;
  for (unsigned i = 0; i < m_count; ++i) {
    struct stat st;
    uint32_t size = kAbsent;
    if (stat(m_paths[i], &st) == 0) {
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
  Put32(buffer + at, Mix(0, buffer, at));
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
    if (!AppendRecord(kTagOldBytes, index, static_cast<uint32_t>(at), piece.get(), n)) break;
    if (!MarkCovered(index, at, stop)) break;
    ranges = m_ranges[index];
    r = 0;
    at = stop;
  }
  if (own >= 0) close(own);
  return at >= end;
}

JournalVerdict CommitJournal::BeforeWrite(unsigned index, FileHandle file, uint64_t offset,
                                          const void* data, uint64_t count) {
  if (!Start()) return JournalVerdict::kFail;
  const uint32_t committed = m_committed[index];
  if (committed == kAbsent || offset >= committed || count == 0) return JournalVerdict::kWrite;
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
  unsigned char head[20];
  Put32(head, tag);
  Put32(head + 4, file);
  Put32(head + 8, offset);
  Put32(head + 12, length);
  Put32(head + 16, Mix(Mix(0, head, 16), data, length));
  // The journal is only ever appended to.
  if (!WriteAllAt(m_fd, head, 20, m_end) ||
      (length && !WriteAllAt(m_fd, data, length, m_end + 20)))
    return false;
  m_end += 20 + uint64_t{length};
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

bool CommitJournal::Exchange(const unsigned* targets, const unsigned* replacements,
                            unsigned count) {
  if (!Start()) return false;
  bool present[kJournalMaxFiles] = {};
  for (unsigned i = 0; i < count; ++i) {
    const unsigned t = targets[i], r = replacements[i];
    if (t >= m_count || r >= m_count || t == r) return false;
    if (IsDiskFileHeld(m_paths[t]) || IsDiskFileHeld(m_paths[r])) return false;
    struct stat st;
    if (stat(m_paths[r], &st) != 0) return false;
    unsigned char identity[16];
    const uint64_t device = static_cast<uint64_t>(st.st_dev), inode = static_cast<uint64_t>(st.st_ino);
    std::memcpy(identity, &device, 8);
    std::memcpy(identity + 8, &inode, 8);
    if (!AppendRecord(kTagExchange, t, r, identity, 16)) return false;
    present[i] = m_committed[t] != kAbsent;
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
    if (!AppendRecord(kTagCommitted, 0, 0, nullptr, 0) || !MakeDurable()) return false;
    for (unsigned i = 0; i < m_exchanged; ++i) Unlink(m_paths[m_oldCopies[i]]);
  }
  DetachAll();
  Close();
  // Files created by the update must be there after a crash before the
  // journal that would delete them goes.
  bool created = false;
  for (unsigned i = 0; i < m_count; ++i) created |= m_committed[i] == kAbsent;
  if (created && !SyncDirectoryOf(m_journalPath)) return false;
  if (!Unlink(m_journalPath)) return false;
  return SyncDirectoryOf(m_journalPath);
}

bool CommitJournal::RollBack() {
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

int CommitJournal::Recover(const char* archivePath) {
  if (!archivePath || std::strlen(archivePath) >= kJournalMaxPath) return -1;
  char path[kJournalMaxPath + sizeof(kJournalSuffix)];
  std::strcpy(path, archivePath);
  std::strcat(path, kJournalSuffix);
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? 0 : -1;
  struct stat st;
  std::unique_ptr<ParsedJournal, VrkFreeDeleter> j(
      static_cast<ParsedJournal*>(VrkAlloc(sizeof(ParsedJournal))));
  if (!j || fstat(fd, &st) != 0) {
    close(fd);
    return -1;
  }
  new (j.get()) ParsedJournal();
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  bool ok = true;
  if (ParseHeader(fd, size, path, j.get())) {
    ok = WalkRecords(fd, size, j.get(), false);
    if (ok && !j->committedRecord) {
      // Undo: the old archive file back in place, the old bytes back, the
      // sizes as they were, and what the update created gone.
      if (j->swapped && PathExists(j->paths[j->swapAside])) {
        ok = PassFaultPoint(FaultKind::kRename) &&
             rename(j->paths[j->swapAside], j->paths[j->swapTarget]) == 0;
      }
      // Exchanges made are made again, which undoes them; a file that went
      // where none was goes back to its own path.
      for (unsigned e = j->exchanges; ok && e-- > 0;) {
        const char* target = j->paths[j->exchangeTarget[e]];
        if (!IsFile(target, j->exchangeDevice[e], j->exchangeInode[e])) continue;
        ok = ExchangePaths(target, j->paths[j->exchangeReplacement[e]],
                           j->committed[j->exchangeTarget[e]] != kAbsent);
      }
      ok = ok && WalkRecords(fd, size, j.get(), true);
      for (unsigned i = 0; ok && i < j->count; ++i) {
        if (j->committed[i] == 0xFFFFFFFFu) {
          ok = Unlink(j->paths[i]);
          continue;
        }
        struct stat fs;
        if (stat(j->paths[i], &fs) != 0 || static_cast<uint64_t>(fs.st_size) <= j->committed[i])
          continue;
        const int f = open(j->paths[i], O_RDWR | O_CLOEXEC);
        ok = f >= 0 && PassFaultPoint(FaultKind::kTruncate, f, j->committed[i], UINT64_MAX) &&
             ftruncate(f, static_cast<off_t>(j->committed[i])) == 0 && SyncFd(f);
        if (f >= 0) close(f);
      }
    } else if (ok) {
      // The update committed: only what it left aside goes.
      if (j->swapped) ok = Unlink(j->paths[j->swapAside]) && Unlink(j->paths[j->swapReplacement]);
      // The replacements' paths hold the old files, or nothing.
      for (unsigned e = 0; ok && e < j->exchanges; ++e)
        ok = Unlink(j->paths[j->exchangeReplacement[e]]);
    }
  }
  close(fd);
  if (!ok) return -1;
  if (!SyncDirectoryOf(path) || !Unlink(path) || !SyncDirectoryOf(path)) return -1;
  return 1;
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
                                  uint64_t count) {
  if (!JournalingEnabled()) return JournalVerdict::kWrite;
  Watch w;
  if (!FindWatch(file, &w)) return JournalVerdict::kWrite;
  return w.journal->BeforeWrite(w.index, file, offset, data, count);
}

}  // namespace orvel
