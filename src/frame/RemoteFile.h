// Files read over HTTP(S) behind the file layer's handles: DiskFile.cpp
// hands an "http://" or "https://" path to OpenRemoteFile and every later
// call on its handle to the functions below, so that the archive code reads a
// remote file through the same calls as a disk file.
//
// A remote file is read-only: opening it for writing fails (system error
// EROFS). Its identity is pinned by the first response: its size, and its
// ETag or Last-Modified, which every later request carries (If-Match, else
// If-Unmodified-Since) and every response must repeat. A file replaced on the
// server after the open fails the read that notices (ESTALE), never mixes
// the old and the new bytes. Each read is one range request, which reads
// that follow each other widen by a growing read-ahead (64 KiB to 1 MiB),
// so that reading a file in order takes few requests; a server that
// ignores ranges is read from the start of its body, skipping to the range
// (slow, but right). Transient failures (a cut connection, a short body,
// 5xx, 429 with Retry-After) are tried again with a growing pause, going on
// from the bytes already received. A failed open or read notes the reason as
// the system error (VrkLastSystemError): ENOENT (404/410), EACCES (401/403),
// ESTALE (the file changed), EPROTO (a response that does not answer the
// request), EIO (retries used up, other statuses).
//
// Handles of remote files are real descriptors of an empty memory file, so
// they never collide with disk handles, and a stray system call on one does
// no harm.
#ifndef ORVEL_FRAME_REMOTE_FILE_H
#define ORVEL_FRAME_REMOTE_FILE_H

#include <cstdint>

#include "frame/DiskFile.h"

namespace orvel {

// True for a path that starts with "http://" or "https://" (any case).
bool IsRemotePath(const char* path);

// Opens `url` for reading (access bits of `mode` must be 0). With the
// attribute kAttrSequentialScan the body is fetched whole now; otherwise one
// small range request learns the size and identity, and reads fetch ranges;
// with kAttrRandomAccess that request is one byte long and reads fetch
// exactly their own range, never ahead.
FileHandle OpenRemoteFile(const char* url, unsigned mode, unsigned attributes);

// True when `file` is a handle of OpenRemoteFile.
bool IsRemoteFile(FileHandle file);
// Closes a remote handle; false (nothing done) for any other handle.
bool CloseRemoteFile(FileHandle file);

// The file layer's calls on a remote handle, with the same results.
unsigned ReadRemoteFile(FileHandle file, void* buffer, unsigned count);
unsigned ReadRemoteFileAt(FileHandle file, void* buffer, unsigned count, unsigned offset);
unsigned GetRemoteFileSize(FileHandle file);
unsigned SeekRemoteFile(FileHandle file, int32_t offset, unsigned origin);
unsigned TellRemoteFile(FileHandle file);

}  // namespace orvel

#endif
