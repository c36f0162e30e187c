// Setting the process-wide last-error code.
#ifndef ORVEL_FRAME_ERROR_CODE_H
#define ORVEL_FRAME_ERROR_CODE_H

#include "orvel/VrkErrors.h"

namespace orvel {

// Stores `code` in g_nVrkErrCode and returns it, so that 0/negative
// operations can write `return SetError(VRKERR_...);`.
inline int SetError(int code) {
  g_nVrkErrCode = code;
  return code;
}

// Keeps `err` (an errno value) as this thread's last system error, for
// VrkLastSystemError. Called where a write, sync or create of the file layer
// fails, so that a host can tell a full disk from a damaged archive.
void NoteSystemError(int err);

}  // namespace orvel

#endif
