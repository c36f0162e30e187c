// The steps both archive variants take around their own work to stay
// consistent with the guard: an open under the lock, the start of a bracket
// from the latest commit, and the end of a bracket (commit, or roll back and
// read the tables again).
//
// `Archive` provides (and befriends GuardedCalls for):
//   int ReloadTables();          read the tables from its path, lock held; 1/0
//   uint32_t DiskFingerprint();  see FingerprintFile
//   void AttachHandles();        attach its open handles to the guard's journal
//   void CloseHandles();         close them, writing nothing
//   FileHandle GateHandle();     its handle of the archive file (reads lock it)
//   uint64_t ReadGeneration();   see GenerationOf, over its open files
#ifndef ORVEL_FRAME_GUARDED_CALLS_H
#define ORVEL_FRAME_GUARDED_CALLS_H

#include "frame/ArchiveGuard.h"
#include "frame/ErrorCode.h"
#include "frame/WriterLock.h"

namespace orvel {

template <class Archive>
struct GuardedCalls {
  // An open by the host: 1 or 0, with the error code set.
  static int Open(ArchiveGuard& guard, Archive& a) {
    const int rc = guard.BeginOpen();
    if (rc != VRKERR_OK) {
      guard.EndOpen();
      a.ClosePacket();  // a failed open leaves the object unloaded
      return SetError(rc), 0;
    }
    const int ok = a.ReloadTables();
    const SavedError code;
    if (ok) {
      guard.Remember(a.DiskFingerprint(), a.ReadGeneration());
    } else {
      guard.Forget();
    }
    guard.EndOpen();
    code.Restore();
    return ok;
  }

  // The outermost BeginUpdate: 0 or the code every change of the bracket
  // then returns.
  static int StartBracket(ArchiveGuard& guard, Archive& a) {
    const int rc = guard.BeginBracket();
    if (rc != VRKERR_OK) return rc;
    if (!guard.IsCurrent(a.DiskFingerprint())) {
      // Another writer committed since the tables were read: changes start
      // from its commit, not from the tables in memory.
      if (!a.ReloadTables()) {
        const int code = LastError();
        guard.EndBracket();
        return code;
      }
      guard.Remember(a.DiskFingerprint(), a.ReadGeneration());
    }
    a.AttachHandles();
    return VRKERR_OK;
  }

  // Before a read between brackets: takes the commit lock shared through
  // the archive's handle (waiting at most for a commit in progress) and,
  // when a commit happened since the tables were read, reads them again.
  // 0, or the error code with no lock held. Reads nest; inside a bracket
  // the writer reads its own work.
  static int BeginRead(ArchiveGuard& guard, Archive& a) {
    if (guard.InBracket() || guard.InOpen()) return VRKERR_OK;
    if (guard.ReadDepth()++ > 0) return VRKERR_OK;
    for (int attempt = 0; attempt < 4; ++attempt) {
      const FileHandle file = a.GateHandle();
      if (file == kInvalidFile) return VRKERR_OK;  // not open: the read says so
      if (!LockCommitShared(file, LockWaitMs())) break;
      if (guard.IsReadCurrent(a.ReadGeneration())) {
        guard.ReadHandle() = file;
        guard.NoteChecked();
        return VRKERR_OK;
      }
      UnlockCommitShared(file);
      if (!Open(guard, a)) {
        --guard.ReadDepth();
        return LastError();
      }
    }
    --guard.ReadDepth();
    return VRKERR_BUSY;
  }
  static void EndRead(ArchiveGuard& guard) {
    if (guard.InBracket() || guard.InOpen() || guard.ReadDepth() == 0 || --guard.ReadDepth() > 0)
      return;
    UnlockCommitShared(guard.ReadHandle());
    guard.ReadHandle() = kInvalidFile;
  }
  // Before a query answered from the tables in memory: reads them again
  // when a commit happened since. A look at the files less than
  // kQueryFreshNs ago stands (a query right after a read costs nothing).
  // The error code stays as it was unless the reload fails.
  static void Refresh(ArchiveGuard& guard, Archive& a) {
    if (guard.InBracket() || guard.InOpen() || guard.ReadDepth() > 0 ||
        a.GateHandle() == kInvalidFile || guard.CheckedJustNow())
      return;
    if (guard.IsReadCurrent(a.ReadGeneration())) return guard.NoteChecked();
    const SavedError code;
    if (BeginRead(guard, a) != VRKERR_OK) return;
    EndRead(guard);
    code.Restore();
  }

  // Ends the outermost bracket with the result of its commit: the journal
  // is committed, or rolled back and the tables read again from the disk.
  static int FinishBracket(ArchiveGuard& guard, Archive& a, int rc) {
    if (rc == VRKERR_OK && !guard.Commit()) rc = VRKERR_HEADER_IO;
    if (rc == VRKERR_OK) {
      guard.Remember(a.DiskFingerprint(), a.ReadGeneration());
    } else if (guard.InBracket()) {
      a.CloseHandles();
      guard.RollBack();
      a.ReloadTables();
      guard.Forget();
    }
    guard.EndBracket();
    return SetError(rc);
  }
};

// One read between brackets, as BeginRead / EndRead.
template <class Archive>
class ReadScope {
 public:
  ReadScope(ArchiveGuard& guard, Archive& a)
      : m_guard(guard), m_code(GuardedCalls<Archive>::BeginRead(guard, a)) {}
  ~ReadScope() {
    if (m_code == VRKERR_OK) GuardedCalls<Archive>::EndRead(m_guard);
  }
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;
  int Code() const { return m_code; }

 private:
  ArchiveGuard& m_guard;
  int m_code;
};

}  // namespace orvel

#endif
