// VrkReplaceArchive: the files of a new archive exchanged with those of the
// old one under a journal of the old archive, so that its next open either
// undoes the exchanges or finishes them.
#include "orvel/VrkReplace.h"

#include <sys/stat.h>

#include <cstring>

#include "frame/ArchiveGuard.h"
#include "frame/CommitJournal.h"
#include "frame/ErrorCode.h"
#include "frame/WriterLock.h"
#include "orvel/VrkErrors.h"

using namespace orvel;

namespace {

constexpr unsigned kMaxArchiveFiles = kJournalMaxFiles / 2;

// The journal names its files relative to its own directory.
bool SameDirectory(const char* a, const char* b) {
  const char* slashA = std::strrchr(a, '/');
  const char* slashB = std::strrchr(b, '/');
  const size_t lengthA = slashA ? static_cast<size_t>(slashA - a) : 0;
  const size_t lengthB = slashB ? static_cast<size_t>(slashB - b) : 0;
  return lengthA == lengthB && std::strncmp(a, b, lengthA) == 0 && !std::strchr(a, '\\') &&
         !std::strchr(b, '\\');
}

}  // namespace

int VrkReplaceArchive(const char* const* targets, const char* const* replacements,
                      unsigned count) {
  if (!targets || !replacements || count == 0 || count > kMaxArchiveFiles)
    return SetError(VRKERR_NULL_PATH);
  const char* paths[kJournalMaxFiles];
  unsigned t[kMaxArchiveFiles], r[kMaxArchiveFiles];
  for (unsigned i = 0; i < count; ++i) {
    if (!targets[i] || !replacements[i] || !PathExists(replacements[i]) ||
        !SameDirectory(targets[0], targets[i]) || !SameDirectory(targets[0], replacements[i]))
      return SetError(VRKERR_NULL_PATH);
    paths[i] = targets[i];
    paths[count + i] = replacements[i];
    t[i] = i;
    r[i] = count + i;
  }
  // An update of the old archive cut short is settled first: its journal
  // names the old files, and this one takes its place.
  if (int rc = ArchiveGuard::RecoverBeforeOpen(targets[0])) return SetError(rc);

  // Writers of the old archive wait for the lock on its file, those that
  // open the path once the new file is there for the lock on that one.
  WriterLock oldLock, newLock;
  bool readOnly = false;
  if (PathExists(targets[0]) && !oldLock.Acquire(targets[0], true, LockWaitMs(), &readOnly))
    return SetError(VRKERR_BUSY);
  if (readOnly) return SetError(VRKERR_READ_ONLY);
  if (!newLock.Acquire(replacements[0], true, LockWaitMs(), &readOnly)) return SetError(VRKERR_BUSY);
  if (readOnly) return SetError(VRKERR_READ_ONLY);
  // Readers of either file wait for the exchange to commit.
  WriterLock oldCommit(LockByte::kCommit), newCommit(LockByte::kCommit);
  if (PathExists(targets[0]) && !oldCommit.Acquire(targets[0], true, LockWaitMs(), nullptr))
    return SetError(VRKERR_BUSY);
  if (!newCommit.Acquire(replacements[0], true, LockWaitMs(), nullptr)) return SetError(VRKERR_BUSY);
  if (CommitJournal::Recover(targets[0]) < 0) return SetError(VRKERR_NEEDS_RECOVERY);

  struct stat fresh;
  if (stat(replacements[0], &fresh) != 0) return SetError(VRKERR_NULL_PATH);
  CommitJournal journal;
  if (!journal.SetFiles(paths, 2 * count, 0)) return SetError(VRKERR_NULL_PATH);
  if (!journal.Exchange(t, r, count) || !journal.Commit()) {
    // Undone, unless the commit record made it: then recovery finishes it.
    // A journal whose deletion failed is settled now, under the locks.
    journal.RollBack();
    CommitJournal::Recover(targets[0]);
    struct stat now;
    const bool placed = stat(targets[0], &now) == 0 && now.st_dev == fresh.st_dev &&
                        now.st_ino == fresh.st_ino && !CommitJournal::JournalExists(targets[0]);
    return SetError(placed ? VRKERR_OK : VRKERR_CREATE_FILE);
  }
  return SetError(VRKERR_OK);
}
