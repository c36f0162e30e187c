// Error codes of the OrvelPacket library.
//
// Every operation reports its outcome through its result and through the
// last-error code (0 or one of the negative codes below), which it stores
// twice: in the process-wide g_nVrkErrCode and in the calling thread's own
// code, VrkThreadErrorCode(). The global is a plain variable without a lock,
// which a call in another thread may overwrite at any time; a host that
// calls from several threads (each thread with its own archive objects)
// reads the thread's code instead.
#ifndef ORVEL_VRK_ERRORS_H
#define ORVEL_VRK_ERRORS_H

#include "VrkExport.h"

enum {
  VRKERR_OK = 0,
  VRKERR_NULL_PATH = -1,
  VRKERR_NO_COMPRESSOR = -2,
  VRKERR_CREATE_FILE = -3,
  VRKERR_NO_HASH_TABLE = -4,
  VRKERR_OPEN_FILE = -5,
  VRKERR_BAD_SIGNATURE = -6,
  VRKERR_NO_HEADER = -7,
  VRKERR_NOT_OPEN = -8,
  VRKERR_DATA_IO = -9,
  VRKERR_NO_BLOCK_TABLE = -10,
  VRKERR_NULL_NAME = -11,
  VRKERR_NULL_BUFFER = -12,
  VRKERR_SEEK = -13,
  VRKERR_NOT_UPDATING = -14,
  VRKERR_NO_SOURCE = -15,
  VRKERR_NO_LIST_FILE = -16,
  VRKERR_LIST_FILE_IO = -17,
  VRKERR_NULL_HASH = -18,
  VRKERR_HASH_NOT_FOUND = -19,
  VRKERR_HASH_TABLE_IO = -20,
  VRKERR_BAD_INDEX = -21,
  VRKERR_SIGNATURE_IO = -22,
  VRKERR_HEADER_IO = -23,
  VRKERR_NO_MEMORY = -24,
  VRKERR_NULL_BLOCK = -25,
  VRKERR_BLOCK_TABLE_IO = -26,
  VRKERR_NO_PATCH_LIST = -27,
  VRKERR_NO_KEY = -28,
  VRKERR_NOT_FOUND = -29,
  VRKERR_EXISTS = -30,
  VRKERR_TABLE_FULL = -31,
  VRKERR_BAD_EXTENSION = -32,
  VRKERR_ADV_NOT_FOUND = -33,
  VRKERR_CHECKSUM_IO = -34,
  VRKERR_CHECKSUM = -35,
  VRKERR_NO_PACKET = -36,
  VRKERR_EMPTY_PACKET = -37,
  VRKERR_NO_BLOCK = -38,
  VRKERR_PATCH_DATA_IO = -39,
  VRKERR_WRITE_PATCH_HEADER = -40,
  VRKERR_NO_BUILDER = -41,
  VRKERR_READ_ONLY = -42,
  VRKERR_BUFFER_TOO_SMALL = -43,
  // Another writer held the archive for longer than the lock wait allows.
  VRKERR_BUSY = -44,
  // An interrupted update must be settled first, and this process cannot
  // do it: it cannot write the archive's files, or the files its journal
  // names are not the ones the update left (changed or replaced since; then
  // nothing was touched).
  VRKERR_NEEDS_RECOVERY = -45
};

// The last error code: 0 after success, else one of the codes above.
extern VRK_API int g_nVrkErrCode;

// The last code the library set in the calling thread: 0 after success,
// else one of the codes above. Unlike g_nVrkErrCode it is never changed by a
// call in another thread. Writing g_nVrkErrCode does not change it; a host
// that wants to tell whether a call set a code clears it first with
// VrkClearThreadErrorCode.
VRK_API int VrkThreadErrorCode();
// Sets the calling thread's code to 0 (g_nVrkErrCode is left as it is).
VRK_API void VrkClearThreadErrorCode();

// What a code means, in plain words ("no such file in the archive"); a
// static string, never null.
VRK_API const char* VrkErrorText(int code);

// The errno value of the last failed write, sync or file creation of the
// library in the calling thread (ENOSPC for a full disk), 0 if none failed
// yet. It is not reset by later successes: read it right after a failure.
VRK_API int VrkLastSystemError();

#endif
