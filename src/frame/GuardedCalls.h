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
#ifndef ORVEL_FRAME_GUARDED_CALLS_H
#define ORVEL_FRAME_GUARDED_CALLS_H

#include "frame/ArchiveGuard.h"
#include "frame/ErrorCode.h"

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
    const int code = g_nVrkErrCode;
    if (ok) {
      guard.Remember(a.DiskFingerprint());
    } else {
      guard.Forget();
    }
    guard.EndOpen();
    SetError(code);
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
        const int code = g_nVrkErrCode;
        guard.EndBracket();
        return code;
      }
      guard.Remember(a.DiskFingerprint());
    }
    a.AttachHandles();
    return VRKERR_OK;
  }

  // Ends the outermost bracket with the result of its commit: the journal
  // is committed, or rolled back and the tables read again from the disk.
  static int FinishBracket(ArchiveGuard& guard, Archive& a, int rc) {
    if (rc == VRKERR_OK && !guard.Commit()) rc = VRKERR_HEADER_IO;
    if (rc == VRKERR_OK) {
      guard.Remember(a.DiskFingerprint());
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

}  // namespace orvel

#endif
