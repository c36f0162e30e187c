// Replacing a whole archive by a new one, atomically.
#ifndef ORVEL_VRK_REPLACE_H
#define ORVEL_VRK_REPLACE_H

#include "VrkExport.h"

// Puts the files `replacements[0..count)` (a complete new archive: its
// archive file first, then its side files, written beside the targets in
// the same directory) in the place of `targets[0..count)` (the archive
// there, if any, in the same order). After a crash at any point, the next
// open of targets[0] finds either the old archive whole or the new one
// whole; on failure the old archive is as it was and the new one still at
// `replacements`. Waits for the writer of the old archive like an update.
// count is 1 to 3. Returns VRKERR_OK, VRKERR_NULL_PATH, VRKERR_BUSY,
// VRKERR_NEEDS_RECOVERY or VRKERR_CREATE_FILE (see VrkLastSystemError).
VRK_API int VrkReplaceArchive(const char* const* targets, const char* const* replacements,
                              unsigned count);

#endif
