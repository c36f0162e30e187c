#include "frame/ErrorCode.h"

VRK_API int g_nVrkErrCode = 0;

namespace orvel {
thread_local int t_vrkErrCode = 0;
}  // namespace orvel

namespace {
thread_local int t_lastSystemError = 0;
}

namespace orvel {
void NoteSystemError(int err) { t_lastSystemError = err; }
}  // namespace orvel

VRK_API int VrkLastSystemError() { return t_lastSystemError; }

VRK_API int VrkThreadErrorCode() { return orvel::t_vrkErrCode; }

VRK_API void VrkClearThreadErrorCode() { orvel::t_vrkErrCode = VRKERR_OK; }
