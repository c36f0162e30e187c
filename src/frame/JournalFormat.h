// The rollback journal on disk, shared by its writer (CommitJournal.cpp) and
// recovery (JournalRecovery.cpp). The layout is private to the library.
//
// Header (little-endian): "VRKJ", version, the file count, the number of
// archive files (version 2 only: the first files, rolled back in place),
// per file its size when the journal started (kAbsent: no file) and its
// name (length-prefixed, relative to the journal's directory), and a
// checksum of all that. Records follow: tag, file, offset, length,
// checksum, then `length` bytes. A torn record ends the journal: it was
// never synced, so nothing it protects was changed.
//
// Version 1 journals, of earlier builds, knew an exchanged file by its
// device and inode numbers; recovery still reads them.
#ifndef ORVEL_FRAME_JOURNAL_FORMAT_H
#define ORVEL_FRAME_JOURNAL_FORMAT_H

#include <cstddef>
#include <cstdint>

namespace orvel {
namespace journal {

constexpr char kMagic[4] = {'V', 'R', 'K', 'J'};
constexpr uint32_t kFirstVersion = 1;
constexpr uint32_t kVersion = 2;
constexpr uint32_t kAbsent = 0xFFFFFFFFu;
// A file other than an archive file that is there: its size does not matter.
constexpr uint32_t kPresentOther = 0xFFFFFFFEu;
constexpr size_t kRecordHead = 20;

enum Tag : uint32_t {
  kOldBytes = 1,         // bytes of an archive file as committed
  kSwap = 2,             // early builds: the archive file moved aside
  kCommitted = 3,        // the exchanges are to be finished, not undone
  kExchangeByInode = 4,  // version 1: target, replacement, device and inode going in
  kExchange = 5,         // target, replacement, marks of the files going in and out
  kCreated = 6,          // the update makes this file, absent when it started
  kNotCreated = 7,       // ... except that it could not: the file there is not ours
  kUndone = 8,           // recovery undid the exchanges and now restores the bytes
};

uint32_t Checksum(uint32_t seed, const void* data, size_t size);
void Put32(unsigned char* p, uint32_t v);
uint32_t Get32(const unsigned char* p);

bool ReadAllAt(int fd, void* data, size_t size, uint64_t offset);
// Positional writes and syncs that pass the fault points.
bool WriteAllAt(int fd, const void* data, size_t size, uint64_t offset);
bool SyncFd(int fd);
bool Unlink(const char* path);
// Renames `from` to `to`, exchanging them when both exist.
bool ExchangePaths(const char* from, const char* to, bool bothExist);
// Appends a record at `at`; false when it could not be written.
bool WriteRecord(int fd, uint64_t at, uint32_t tag, uint32_t file, uint32_t offset,
                 const void* data, uint32_t length);

}  // namespace journal
}  // namespace orvel

#endif
