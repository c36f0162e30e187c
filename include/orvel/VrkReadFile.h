// Reading a file through the library's file layer: a path on disk, or an
// http:// or https:// URL fetched as the library fetches the files of an
// archive at a URL (ORVEL_HTTP_HEADERS, retries, the file pinned by its ETag
// so that a file replaced on the server fails a read instead of mixing).
// For hosts that look at the files beside an archive themselves, such as a
// patch file and its block files before the patch is applied.
#ifndef ORVEL_VRK_READ_FILE_H
#define ORVEL_VRK_READ_FILE_H

#include "VrkExport.h"

// How a file is read, for VrkOpenReadFile.
#define VRK_READ_WHOLE 1u  // read from start to end: a URL is fetched whole at the open
#define VRK_READ_EXACT 2u  // read at scattered places: a URL is never read ahead

// Opens `path` for reading (shared with other readers). Returns a handle,
// or -1 with the reason in VrkLastSystemError (ENOENT: missing, also a 404).
VRK_API int VrkOpenReadFile(const char* path, unsigned how);
// Reads up to `count` bytes at `offset`; the number read, fewer at the end
// of the file, 0 on failure (the reason in VrkLastSystemError).
VRK_API unsigned VrkReadFileAt(int file, void* buffer, unsigned count, unsigned offset);
// The file's size, 0xFFFFFFFF on failure or at 4 GiB.
VRK_API unsigned VrkGetReadFileSize(int file);
// Closes a handle of VrkOpenReadFile; -1 is ignored.
VRK_API void VrkCloseReadFile(int file);

#endif
