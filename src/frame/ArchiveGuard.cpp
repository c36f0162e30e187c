#include "frame/ArchiveGuard.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "frame/ErrorCode.h"
#include "orvel/VrkErrors.h"

namespace orvel {
namespace {

uint32_t Fold(uint32_t h, uint64_t v) {
  uint64_t x = (h ^ v) * 0x9E3779B97F4A7C15ull;
  x ^= x >> 31;
  return static_cast<uint32_t>(x ^ (x >> 32));
}

}  // namespace

uint32_t FingerprintFile(uint32_t seed, const char* path) {
  struct stat st;
  if (!path || stat(path, &st) != 0) return Fold(seed, 0xA85E47);
  seed = Fold(seed, static_cast<uint64_t>(st.st_ino));
  seed = Fold(seed, static_cast<uint64_t>(st.st_size));
  seed = Fold(seed, static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000ull +
                        static_cast<uint64_t>(st.st_mtim.tv_nsec));
  return Fold(seed, static_cast<uint64_t>(st.st_ctim.tv_sec) * 1000000000ull +
                        static_cast<uint64_t>(st.st_ctim.tv_nsec));
}

uint32_t FingerprintBytes(uint32_t seed, const void* data, uint32_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (; size >= 8; size -= 8, p += 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    seed = Fold(seed, w);
  }
  for (; size > 0; --size, ++p) seed = Fold(seed, *p);
  return seed;
}

uint64_t GenerationOf(uint64_t seed, FileHandle file) {
  struct stat st;
  if (file == kInvalidFile || fstat(file, &st) != 0) return Fold(static_cast<uint32_t>(seed), 1);
  uint64_t g = seed * 0x100000001B3ull;
  g ^= static_cast<uint64_t>(st.st_size) * 0x9E3779B97F4A7C15ull;
  g = (g << 7 | g >> 57) ^ (static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000ull +
                            static_cast<uint64_t>(st.st_mtim.tv_nsec));
  g = (g << 17 | g >> 47) ^ (static_cast<uint64_t>(st.st_ino) << 1 | (st.st_nlink == 0));
  return g;
}

namespace {

uint64_t MonotonicNs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace

void ArchiveGuard::NoteChecked() { m_checkedAt = MonotonicNs(); }

bool ArchiveGuard::CheckedJustNow() const {
  return m_readKnown && MonotonicNs() - m_checkedAt < kQueryFreshNs;
}

ArchiveGuard::~ArchiveGuard() {
  if (m_journal.Active()) m_journal.RollBack();
  m_lock.Release();
  ReleaseCommit();
}

bool ArchiveGuard::SetPaths(const char* archive, const char* const* sides, unsigned sideCount,
                            const char* tempSuffix) {
  if (m_inBracket || !archive || sideCount > 2) return false;
  char temp[kJournalMaxPath];
  if (std::strlen(archive) + std::strlen(tempSuffix) >= kJournalMaxPath) return false;
  std::strcpy(temp, archive);
  std::strcat(temp, tempSuffix);
  const char* paths[kJournalMaxFiles];
  unsigned n = 0;
  paths[n++] = archive;
  for (unsigned i = 0; i < sideCount; ++i) paths[n++] = sides[i];
  paths[n++] = temp;
  if (!m_journal.SetFiles(paths, n, sideCount + 1)) return false;
  m_sideCount = sideCount;
  m_known = false;
  m_readKnown = false;
  return true;
}

// With the writer lock held exclusively: settles an interrupted update.
// Only its journal says what to touch; without one nothing changes.
// Readers wait while it puts committed bytes back.
int ArchiveGuard::Recover() {
  if (!CommitJournal::JournalExists(Path(0))) return VRKERR_OK;
  const bool own = !m_commitLock.Held();
  if (own && !LockCommit()) return VRKERR_BUSY;
  const int rc = CommitJournal::Recover(Path(0)) < 0 ? VRKERR_NEEDS_RECOVERY : VRKERR_OK;
  if (own) ReleaseCommit();
  return rc;
}

bool ArchiveGuard::LockCommit() {
  return m_commitLock.Held() || m_commitLock.Acquire(Path(0), true, LockWaitMs(), nullptr);
}

void ArchiveGuard::ReleaseCommit() {
  m_commitLock.Release();
  m_commitNext.Release();
}

int ArchiveGuard::SettleAbandoned() {
  const char* archive = Path(0);
  if (!CommitJournal::JournalExists(archive)) return VRKERR_OK;
  WriterLock writer;
  bool readOnly = false;
  // A writer that holds the lock is alive: its journal is its bracket's.
  if (!writer.Acquire(archive, true, 0, &readOnly)) return VRKERR_OK;
  // A reader that cannot undo an interrupted update must not serve it.
  if (readOnly)
    return CommitJournal::JournalExists(archive) ? VRKERR_NEEDS_RECOVERY : VRKERR_OK;
  return Recover();
}

int ArchiveGuard::BeginOpen() {
  if (m_inBracket) return VRKERR_OK;  // a reload inside the bracket
  m_inOpen = true;
  const char* archive = Path(0);
  for (int attempt = 0; attempt < 8; ++attempt) {
    if (int rc = SettleAbandoned()) return rc;
    if (!m_readLock.Acquire(archive, false, LockWaitMs(), nullptr)) {
      if (PathExists(archive)) return VRKERR_BUSY;
      // No archive file, but a journal (an archive's creation cut short):
      // settling it needs no lock, nobody can hold a file that is not there.
      if (CommitJournal::JournalExists(archive)) {
        if (CommitJournal::Recover(archive) < 0) return VRKERR_NEEDS_RECOVERY;
        if (PathExists(archive)) continue;
      }
      return VRKERR_OK;
    }
    // A writer that died between the look above and the lock left its
    // journal, maybe over a commit half applied: settle it first.
    if (!CommitJournal::JournalExists(archive) || WriterLockHeld(m_readLock.Descriptor()))
      return VRKERR_OK;
    m_readLock.Release();
  }
  return VRKERR_BUSY;
}

int ArchiveGuard::RecoverBeforeOpen(const char* archive) {
  if (!CommitJournal::JournalExists(archive)) return VRKERR_OK;
  ArchiveGuard guard;
  if (!guard.SetPaths(archive, nullptr, 0, "temp")) return VRKERR_OK;
  const int rc = guard.BeginOpen();
  guard.EndOpen();
  return rc;
}

void ArchiveGuard::EndOpen() {
  if (!m_inOpen) return;
  m_inOpen = false;
  m_readLock.Release();
}

int ArchiveGuard::BeginCreate() {
  const char* archive = Path(0);
  const bool journaled = JournalingEnabled();
  if (!PathExists(archive)) {
    // The lock needs a file; the journal records the archive as absent
    // before it is made.
    if (journaled && (!m_journal.Start() || !m_journal.MakeDurable())) return VRKERR_CREATE_FILE;
    const int fd = open(archive, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return VRKERR_CREATE_FILE;
    close(fd);
    if (!m_lock.Acquire(archive, true, LockWaitMs(), nullptr)) return VRKERR_BUSY;
    if (!LockCommit()) return VRKERR_BUSY;
  } else {
    bool readOnly = false;
    if (!m_lock.Acquire(archive, true, LockWaitMs(), &readOnly)) return VRKERR_BUSY;
    if (readOnly) return VRKERR_CREATE_FILE;
    // Creating rewrites the files from the start: readers wait for it.
    if (!LockCommit()) return VRKERR_BUSY;
    if (Recover() != VRKERR_OK) return VRKERR_NEEDS_RECOVERY;
    // Creating over an archive rewrites its files from the start: all they
    // held goes into the journal first.
    for (unsigned i = 0; journaled && i <= m_sideCount; ++i)
      if (!m_journal.Cover(i, 0, 0xFFFFFFFFull, kInvalidFile)) return VRKERR_CREATE_FILE;
    if (journaled && !m_journal.MakeDurable()) return VRKERR_CREATE_FILE;
  }
  m_inBracket = true;
  m_known = false;
  return VRKERR_OK;
}

int ArchiveGuard::BeginBracket() {
  if (m_inBracket) return VRKERR_OK;
  bool readOnly = false;
  m_lock.Release();
  if (!m_lock.Acquire(Path(0), true, LockWaitMs(), &readOnly)) return VRKERR_BUSY;
  if (readOnly) {
    m_lock.Release();
    return VRKERR_READ_ONLY;
  }
  const int rc = Recover();
  if (rc != VRKERR_OK) {
    m_lock.Release();
    return rc;
  }
  m_inBracket = true;
  // Committed bytes stay as they are until the commit: readers go on.
  m_journal.SetStaging(JournalingEnabled(), &m_commitLock);
  return VRKERR_OK;
}

bool ArchiveGuard::Commit() {
  if (!m_journal.Active()) return true;
  if (m_journal.ApplyStaged() && m_journal.Commit()) return true;
  RollBack();
  return false;
}

void ArchiveGuard::RollBack() {
  // Putting committed bytes back, readers wait; a rollback that only cuts
  // appended bytes off touches nothing they read, so it goes on without.
  if (m_journal.Active()) LockCommit();
  m_journal.RollBack();
  m_known = false;
}

FileHandle ArchiveGuard::CreateTemporary() {
  const FileHandle file = m_journal.CreateNew(TempIndex(), kAttrWriteThrough);
  if (file == kInvalidFile) SetError(VRKERR_CREATE_FILE);
  return file;
}

bool ArchiveGuard::SwapArchive() {
  // The staged bytes of the other files land first, as they would have
  // without staging; from here to the commit readers of either file wait.
  if (!LockCommit() || !m_journal.ApplyStaged()) return false;
  WriterLock next;
  if (!next.Acquire(Path(TempIndex()), true, 0, nullptr)) return false;
  if (!m_commitNext.Acquire(Path(TempIndex()), true, 0, nullptr)) return false;
  const unsigned target = 0, replacement = TempIndex();
  if (!m_journal.Exchange(&target, &replacement, 1)) return false;
  m_lock.TakeFrom(next);
  return true;
}

void ArchiveGuard::EndBracket() {
  if (m_journal.Active()) RollBack();
  m_journal.DropStaged();
  m_journal.SetStaging(false, nullptr);
  m_journal.DetachAll();
  m_inBracket = false;
  m_lock.Release();
  ReleaseCommit();
}

}  // namespace orvel
