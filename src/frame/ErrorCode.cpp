#include "frame/ErrorCode.h"

VRK_API int g_nVrkErrCode = 0;
