// The file layer: every disk access of the library goes through here.
//
// Handles are POSIX file descriptors; kInvalidFile (-1) stands for no file.
// Positions and sizes are unsigned 32-bit with 0xFFFFFFFF as the failure
// value; a file of 4 GiB or more is a failure, never truncated to 32 bits.
//
// Windows share modes are emulated inside the process: a registry of open
// handles per file identity refuses an open that the sharing rules would
// refuse (a file held open with mode 0 cannot be opened again), and
// DeleteDiskFile refuses a file that a handle holds open.
#ifndef ORVEL_FRAME_DISK_FILE_H
#define ORVEL_FRAME_DISK_FILE_H

#include <cstdint>

namespace orvel {

using FileHandle = int;
constexpr FileHandle kInvalidFile = -1;
constexpr unsigned kFileFailure = 0xFFFFFFFFu;

// Open mode words: bits 0-1 access (0 read, 1 write, 2 read+write, 3 none),
// bits 4-7 sharing index (0/1 none, 2 read, 3 write, 4 read+write).
constexpr unsigned kModeReadExclusive = 0x00;
constexpr unsigned kModeReadShared = 0x20;
constexpr unsigned kModeReadWriteShared = 0x42;

// Attributes: normal, or normal with write-through. Write-through handles are
// flushed at commit points with FlushDiskFile rather than on every write.
constexpr unsigned kAttrNormal = 0x80;
constexpr unsigned kAttrWriteThrough = 0x80000080u;
// Hint, added to either: the file is read from its start to its end. Disk
// files ignore it; a remote file (RemoteFile.h) is then fetched whole at its
// open instead of in ranges.
constexpr unsigned kAttrSequentialScan = 0x08000000u;
// Hint: the file is read at scattered places, each read exactly what is
// needed. Disk files ignore it; a remote file then learns its size from a
// one-byte request at its open and never reads ahead, so that every byte
// fetched was asked for (patch block files, whose neighbouring entries a
// copy may not need).
constexpr unsigned kAttrRandomAccess = 0x10000000u;

// Copies the directory part of `path` (up to and including the last '\' or
// '/' at a position above 0) into `dir` and returns 1, else sets "" and
// returns 0. `dir` must hold strlen(path) + 1 bytes.
int GetPathDirectory(const char* path, char* dir);

// Creates or truncates `path` for reading and writing, not shared.
FileHandle CreateDiskFile(const char* path, unsigned attributes);
// Creates `path` for reading and writing, not shared, only where nothing
// is: a file already there (EEXIST) is refused, never truncated.
FileHandle CreateNewDiskFile(const char* path, unsigned attributes);
// Opens an existing file with the access and sharing of `mode`. An
// "http://" or "https://" path opens a remote file (RemoteFile.h): for
// reading only, and every call below works on its handle as on a disk
// file's, except writes, which fail.
FileHandle OpenDiskFile(const char* path, unsigned mode);
FileHandle OpenDiskFileEx(const char* path, unsigned mode, unsigned attributes);
void CloseDiskFile(FileHandle file);

// One transfer of `count` bytes at the current position; the number of bytes
// moved (callers treat a short count as failure), 0 on failure.
unsigned ReadDiskFile(FileHandle file, void* buffer, unsigned count);
unsigned WriteDiskFile(FileHandle file, const void* buffer, unsigned count);
// Positional variants that leave the file position alone (pread/pwrite,
// retried until complete); same results. Positional writes to a writable
// handle may be gathered and reach the disk later (see GatheredWrites.h):
// every read, size and write through the same handle sees them at once, a
// failure shows at the latest in FlushDiskFile, and a handle whose deferred
// write failed fails every later write and flush.
unsigned ReadDiskFileAt(FileHandle file, void* buffer, unsigned count,
                        unsigned offset);
unsigned WriteDiskFileAt(FileHandle file, const void* buffer, unsigned count,
                         unsigned offset);

// Size without moving the position; 0xFFFFFFFF on failure or at 4 GiB.
unsigned GetDiskFileSize(FileHandle file);
// origin 0 = start, 1 = current, 2 = end; the new position or 0xFFFFFFFF.
unsigned SeekDiskFile(FileHandle file, int32_t offset, unsigned origin);
unsigned TellDiskFile(FileHandle file);

// Commit point: writes out gathered writes, then makes the writes of a
// write-through handle durable (fdatasync). False on failure, now or of an
// earlier deferred write.
bool FlushDiskFile(FileHandle file);
// Writes out the handle's gathered bytes and starts writing its bytes to
// the disk without waiting for them, so that a sync of the file later finds
// the work under way. False when the gathered bytes could not be written.
bool StartDiskFileWriteback(FileHandle file);
// Makes the bytes of the file at `path` durable through a handle of its own
// (they may have been written through one closed since). False on failure.
bool SyncDiskFilePath(const char* path);

// Last-write time as DOS date (high 16 bits) and time (low 16), local time;
// 0xFFFFFFFF for a missing file or a directory. '?' and '*' in the last path
// component match as in a directory search.
unsigned GetDiskFileTime(const char* path);
// Last-write time as a Windows FILETIME (100 ns units since 1601-01-01 UTC);
// 0 for a missing file or a directory.
uint64_t GetDiskFileWriteTime(const char* path);
int DiskFileExists(const char* path);
// True when something (a file, a directory, a link) is at `path` itself,
// without wildcards and without following a link.
bool PathExists(const char* path);

// True when a handle of the library holds the file `path` names.
bool IsDiskFileHeld(const char* path);
// Deletes a file; refused (false) while a handle of the library holds it.
bool DeleteDiskFile(const char* path);
// Renames `from` to `to` (which must not exist); refused while either is
// held open by the library.
bool MoveDiskFile(const char* from, const char* to);
// Puts `replacement` in the place of `target` without ever losing both: the
// target moves aside to `target` + "old", the replacement is renamed into
// place, then the aside copy is deleted; a failed rename puts the target
// back. Refused (false, nothing changed) when a file with the aside name
// already exists or either file is held open.
bool ReplaceDiskFile(const char* target, const char* replacement);
// Deletes every file whose name matches the pattern's last component ('?'
// and '*') in the pattern's directory. Returns the number deleted.
int DeleteMatchingFiles(const char* pattern);
// The directory search: copies into `name` (room for `size` bytes) the
// smallest name, in byte order, of the entries other than directories of
// the pattern's directory that match its last component ('?' one
// character, '*' any run, letter case matters). False when none matches or
// the name does not fit.
bool FindFirstMatchingFile(const char* pattern, char* name, unsigned size);
// Makes the entries of the directory holding `path` durable (a created,
// renamed or deleted file survives a crash). False on failure.
bool SyncPathDirectory(const char* path);

}  // namespace orvel

#endif
