#include "frame/ArchiveGuard.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
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

ArchiveGuard::~ArchiveGuard() {
  if (m_journal.Active()) m_journal.RollBack();
  m_lock.Release();
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
  return true;
}

// With the lock held exclusively: settles an interrupted update. Only its
// journal says what to touch; without one nothing changes.
int ArchiveGuard::Recover() {
  return CommitJournal::Recover(Path(0)) < 0 ? VRKERR_NEEDS_RECOVERY : VRKERR_OK;
}

int ArchiveGuard::BeginOpen() {
  if (m_inBracket) return VRKERR_OK;  // a reload inside the bracket
  m_inOpen = true;
  const char* archive = Path(0);
  bool readOnly = false;
  if (!m_lock.Acquire(archive, true, LockWaitMs(), &readOnly)) {
    if (PathExists(archive)) return VRKERR_BUSY;
    // No archive file, but a journal (an archive's creation cut short):
    // settling it needs no lock, nobody can hold a file that is not there.
    if (CommitJournal::JournalExists(archive)) {
      if (Recover() != VRKERR_OK) return VRKERR_NEEDS_RECOVERY;
      if (PathExists(archive) && !m_lock.Acquire(archive, true, LockWaitMs(), &readOnly))
        return VRKERR_BUSY;
    }
    return VRKERR_OK;
  }
  if (readOnly) {
    // A reader that cannot undo an interrupted update must not serve it.
    return CommitJournal::JournalExists(archive) ? VRKERR_NEEDS_RECOVERY : VRKERR_OK;
  }
  return Recover();
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
  if (!m_inBracket) m_lock.Release();
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
  } else {
    bool readOnly = false;
    if (!m_lock.Acquire(archive, true, LockWaitMs(), &readOnly)) return VRKERR_BUSY;
    if (readOnly) return VRKERR_CREATE_FILE;
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
  return VRKERR_OK;
}

bool ArchiveGuard::Commit() {
  if (!m_journal.Active()) return true;
  if (m_journal.Commit()) return true;
  m_journal.RollBack();
  return false;
}

void ArchiveGuard::RollBack() {
  m_journal.RollBack();
  m_known = false;
}

FileHandle ArchiveGuard::CreateTemporary() {
  const FileHandle file = m_journal.CreateNew(TempIndex(), kAttrWriteThrough);
  if (file == kInvalidFile) SetError(VRKERR_CREATE_FILE);
  return file;
}

bool ArchiveGuard::SwapArchive() {
  WriterLock next;
  if (!next.Acquire(Path(TempIndex()), true, 0, nullptr)) return false;
  const unsigned target = 0, replacement = TempIndex();
  if (!m_journal.Exchange(&target, &replacement, 1)) return false;
  m_lock.TakeFrom(next);
  return true;
}

void ArchiveGuard::EndBracket() {
  if (m_journal.Active()) RollBack();
  m_journal.DetachAll();
  m_inBracket = false;
  if (!m_inOpen) m_lock.Release();
}

}  // namespace orvel
