// Setting the last-error code: the process-wide g_nVrkErrCode that hosts read,
// and the calling thread's own copy (VrkThreadErrorCode), which another
// thread's call cannot overwrite.
#ifndef ORVEL_FRAME_ERROR_CODE_H
#define ORVEL_FRAME_ERROR_CODE_H

#include "orvel/VrkErrors.h"

namespace orvel {

// The calling thread's last code; see VrkThreadErrorCode.
extern thread_local int t_vrkErrCode;

// The process-wide code as it stands. The library reads and writes
// g_nVrkErrCode only through this and SetError, atomically, because calls in
// several threads (an archive object each) set it at once; the variable stays
// a plain int for hosts.
inline int GlobalError() { return __atomic_load_n(&g_nVrkErrCode, __ATOMIC_RELAXED); }

// Stores `code` in g_nVrkErrCode and in the thread's code and returns it, so
// that 0/negative operations can write `return SetError(VRKERR_...);`.
inline int SetError(int code) {
  __atomic_store_n(&g_nVrkErrCode, code, __ATOMIC_RELAXED);
  t_vrkErrCode = code;
  return code;
}

// The last code this thread set. Opens, reads and the guard read their own
// codes back through this rather than g_nVrkErrCode, which a call in another
// thread may have changed in between (threads with an archive object each
// read at once).
inline int LastError() { return t_vrkErrCode; }

// Both codes as they stand, put back by Restore after steps whose own codes
// must not show (a host may have set g_nVrkErrCode apart from the thread's).
class SavedError {
 public:
  SavedError() : m_global(GlobalError()), m_thread(t_vrkErrCode) {}
  void Restore() const {
    __atomic_store_n(&g_nVrkErrCode, m_global, __ATOMIC_RELAXED);
    t_vrkErrCode = m_thread;
  }

 private:
  int m_global;
  int m_thread;
};

// Keeps `err` (an errno value) as this thread's last system error, for
// VrkLastSystemError. Called where a write, sync or create of the file layer
// fails, so that a host can tell a full disk from a damaged archive.
void NoteSystemError(int err);

}  // namespace orvel

#endif
