#include "frame/ErrorCode.h"

VRK_API int g_nVrkErrCode = 0;

namespace {
thread_local int t_lastSystemError = 0;
}

namespace orvel {
void NoteSystemError(int err) { t_lastSystemError = err; }
}  // namespace orvel

VRK_API int VrkLastSystemError() { return t_lastSystemError; }
