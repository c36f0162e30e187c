#include "frame/JournalFormat.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cstring>

#include "frame/ContentMark.h"
#include "frame/ErrorCode.h"
#include "frame/FaultPoints.h"

namespace orvel {
namespace journal {

// Enough to tell a torn record from a whole one.
uint32_t Checksum(uint32_t seed, const void* data, size_t size) {
  uint64_t h = MixWords(0x9E3779B97F4A7C15ull ^ seed ^ size, data, size);
  h ^= h >> 32;
  return static_cast<uint32_t>(h);
}

void Put32(unsigned char* p, uint32_t v) { std::memcpy(p, &v, 4); }
uint32_t Get32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

bool ReadAllAt(int fd, void* data, size_t size, uint64_t offset) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = pread(fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteAllAt(int fd, const void* data, size_t size, uint64_t offset) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    if (!PassFaultPoint(FaultKind::kWrite, fd, offset, size)) return false;
    const ssize_t n = pwrite(fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) NoteSystemError(errno);
    if (n <= 0) return false;
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool SyncFd(int fd) {
  if (!PassFaultPoint(FaultKind::kSync, fd)) return false;
  if (fdatasync(fd) == 0) return true;
  NoteSystemError(errno);
  return false;
}

bool Unlink(const char* path) {
  if (!PassFaultPoint(FaultKind::kDelete)) return false;
  return unlink(path) == 0 || errno == ENOENT;
}

bool ExchangePaths(const char* from, const char* to, bool bothExist) {
  if (!PassFaultPoint(FaultKind::kRename)) return false;
  return renameat2(AT_FDCWD, from, AT_FDCWD, to, bothExist ? RENAME_EXCHANGE : RENAME_NOREPLACE) == 0;
}

bool WriteRecord(int fd, uint64_t at, uint32_t tag, uint32_t file, uint32_t offset,
                 const void* data, uint32_t length) {
  unsigned char head[kRecordHead];
  Put32(head, tag);
  Put32(head + 4, file);
  Put32(head + 8, offset);
  Put32(head + 12, length);
  Put32(head + 16, Checksum(Checksum(0, head, 16), data, length));
  return WriteAllAt(fd, head, kRecordHead, at) &&
         (length == 0 || WriteAllAt(fd, data, length, at + kRecordHead));
}

}  // namespace journal
}  // namespace orvel
