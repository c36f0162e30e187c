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

}  // namespace orvel

#endif
