// Recovery: what the next writer, or an open, does with the journal an
// interrupted update left. It rolls the archive files back, or finishes
// committed exchanges, and touches no other file unless the journal names
// it and knows it as the update's own.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <new>

#include "frame/Allocation.h"
#include "frame/CommitJournal.h"
#include "frame/ContentMark.h"
#include "frame/FaultPoints.h"
#include "frame/JournalFormat.h"

namespace orvel {
namespace {

using namespace journal;
using Block = std::unique_ptr<unsigned char, VrkFreeDeleter>;

constexpr size_t kMaxDirPath = kJournalMaxPath + 16;

struct ExchangeRecord {
  uint32_t target = 0, replacement = 0;
  ContentMark in, out;           // the files going in and out
  uint64_t device = 0, inode = 0;  // version 1: the file going in
};

// The journal as read back from disk.
struct ParsedJournal {
  uint32_t version = 0;
  unsigned count = 0;
  unsigned archiveFiles = 0;
  uint32_t committed[kJournalMaxFiles] = {};
  char paths[kJournalMaxFiles][kMaxDirPath + kJournalMaxPath] = {};
  uint64_t recordsAt = 0;
  uint64_t recordsEnd = 0;  // after the last whole record
  bool swapped = false;
  unsigned exchanges = 0;
  ExchangeRecord exchange[kJournalMaxFiles];
  bool created[kJournalMaxFiles] = {};
  bool committedRecord = false;
  bool undone = false;
};

enum class HeaderState { kValid, kTorn, kNotOurs };

// Reads the header. Torn: it was never synced, so the update changed
// nothing yet. Not ours: a file of another format or a later version.
HeaderState ParseHeader(int fd, uint64_t size, const char* journalPath, ParsedJournal* j) {
  unsigned char head[16] = {};
  if (size < 4) return HeaderState::kTorn;
  if (!ReadAllAt(fd, head, size < 16 ? static_cast<size_t>(size) : 16, 0))
    return HeaderState::kNotOurs;
  // A power loss may leave the file's size without its bytes (zeros).
  if (std::memcmp(head, kMagic, 4) != 0)
    return Get32(head) == 0 ? HeaderState::kTorn : HeaderState::kNotOurs;
  if (size < 16) return HeaderState::kTorn;
  j->version = Get32(head + 4);
  if (j->version != kFirstVersion && j->version != kVersion) return HeaderState::kNotOurs;
  j->count = Get32(head + 8);
  if (j->count == 0 || j->count > kJournalMaxFiles) return HeaderState::kTorn;
  uint64_t at = 12;
  if (j->version == kFirstVersion) {
    // Version 1 named the archive's files, the temporary and the aside file
    // (an odd count), or the targets and replacements of an exchange.
    j->archiveFiles = j->count % 2 ? j->count - 2 : 0;
  } else {
    j->archiveFiles = Get32(head + 12);
    if (j->archiveFiles > j->count) return HeaderState::kTorn;
    at = 16;
  }
  unsigned char buffer[16 + kJournalMaxFiles * (8 + kJournalMaxPath)];
  std::memcpy(buffer, head, at);
  char dir[kMaxDirPath];
  if (!GetPathDirectory(journalPath, dir) && journalPath[0] == '/') std::strcpy(dir, "/");
  for (unsigned i = 0; i < j->count; ++i) {
    unsigned char word[8];
    if (at + 8 > size || !ReadAllAt(fd, word, 8, at)) return HeaderState::kTorn;
    j->committed[i] = Get32(word);
    const uint32_t length = Get32(word + 4);
    if (length == 0 || length >= kJournalMaxPath || at + 8 + length > size)
      return HeaderState::kTorn;
    std::memcpy(buffer + at, word, 8);
    if (!ReadAllAt(fd, buffer + at + 8, length, at + 8)) return HeaderState::kTorn;
    const char* name = reinterpret_cast<const char*>(buffer + at + 8);
    // Names are plain names in the journal's own directory.
    if (std::memchr(name, '/', length) || std::memchr(name, '\\', length) ||
        std::memchr(name, 0, length))
      return HeaderState::kTorn;
    std::strcpy(j->paths[i], dir);
    std::strncat(j->paths[i], name, length);
    at += 8 + length;
  }
  unsigned char word[4];
  if (at + 4 > size || !ReadAllAt(fd, word, 4, at)) return HeaderState::kTorn;
  if (Get32(word) != Checksum(0, buffer, static_cast<size_t>(at))) return HeaderState::kTorn;
  j->recordsAt = at + 4;
  return HeaderState::kValid;
}

// Reads the whole records into `j`; a torn one ends them.
bool ReadRecords(int fd, uint64_t size, ParsedJournal* j) {
  uint64_t at = j->recordsAt;
  Block data;
  uint32_t room = 0;
  while (at + kRecordHead <= size) {
    unsigned char head[kRecordHead];
    if (!ReadAllAt(fd, head, kRecordHead, at)) break;
    const uint32_t tag = Get32(head), file = Get32(head + 4), offset = Get32(head + 8),
                   length = Get32(head + 12), sum = Get32(head + 16);
    if (file >= j->count || at + kRecordHead + length > size) break;
    if (length > room) {
      data.reset(static_cast<unsigned char*>(VrkAlloc(length)));
      room = data ? length : 0;
      if (!data) return false;
    }
    if (length && !ReadAllAt(fd, data.get(), length, at + kRecordHead)) break;
    if (Checksum(Checksum(0, head, 16), data.get(), length) != sum) break;
    const unsigned char* bytes = data.get();
    if (tag == kSwap) {
      j->swapped = true;
    } else if (tag == kExchange || tag == kExchangeByInode) {
      const bool byInode = tag == kExchangeByInode;
      if (offset >= j->count || length != (byInode ? 16u : 2 * kMarkBytes) ||
          j->exchanges == kJournalMaxFiles)
        break;
      ExchangeRecord& e = j->exchange[j->exchanges++];
      e.target = file;
      e.replacement = offset;
      if (byInode) {
        std::memcpy(&e.device, bytes, 8);
        std::memcpy(&e.inode, bytes + 8, 8);
      } else {
        e.in = GetMark(bytes);
        e.out = GetMark(bytes + kMarkBytes);
      }
    } else if (tag == kCreated || tag == kNotCreated) {
      j->created[file] = tag == kCreated;
    } else if (tag == kCommitted) {
      j->committedRecord = true;
    } else if (tag == kUndone) {
      j->undone = true;
    }
    at += kRecordHead + length;
  }
  j->recordsEnd = at;
  return true;
}

// Writes the old bytes of the archive files back and makes them durable.
bool RestoreOldBytes(int fd, const ParsedJournal& j) {
  int files[kJournalMaxFiles];
  for (int& f : files) f = -1;
  Block data;
  uint32_t room = 0;
  bool ok = true;
  for (uint64_t at = j.recordsAt; ok && at + kRecordHead <= j.recordsEnd;) {
    unsigned char head[kRecordHead];
    ok = ReadAllAt(fd, head, kRecordHead, at);
    const uint32_t tag = Get32(head), file = Get32(head + 4), offset = Get32(head + 8),
                   length = Get32(head + 12);
    if (ok && tag == kOldBytes && file < j.archiveFiles) {
      if (length > room) {
        data.reset(static_cast<unsigned char*>(VrkAlloc(length)));
        room = data ? length : 0;
      }
      if (files[file] < 0) files[file] = open(j.paths[file], O_RDWR | O_CLOEXEC);
      ok = data && files[file] >= 0 && ReadAllAt(fd, data.get(), length, at + kRecordHead) &&
           WriteAllAt(files[file], data.get(), length, offset);
    }
    at += kRecordHead + length;
  }
  for (int f : files) {
    if (f < 0) continue;
    if (!SyncFd(f)) ok = false;
    close(f);
  }
  return ok;
}

bool IsInode(const char* path, uint64_t device, uint64_t inode) {
  struct stat st;
  return stat(path, &st) == 0 && static_cast<uint64_t>(st.st_dev) == device &&
         static_cast<uint64_t>(st.st_ino) == inode;
}

enum class Placed { kIn, kOut, kUnknown };

// Where an exchange stands, judged from the files at its two paths: the new
// file in the target's place and the old one in the replacement's, or the
// other way round. Anything else is not what the update left.
Placed Judge(const ParsedJournal& j, const ExchangeRecord& e) {
  const char* target = j.paths[e.target];
  const char* replacement = j.paths[e.replacement];
  if (j.version == kFirstVersion) {
    // Inode numbers hold only in the directory the update ran in; in a
    // copy they match nothing and recovery refuses.
    if (IsInode(target, e.device, e.inode)) return Placed::kIn;
    if (IsInode(replacement, e.device, e.inode)) return Placed::kOut;
    return Placed::kUnknown;
  }
  if (SameMark(e.in, e.out)) return Placed::kOut;  // the same bytes either way
  if (HasMark(target, e.in) && HasMark(replacement, e.out)) return Placed::kIn;
  if (HasMark(replacement, e.in) && HasMark(target, e.out)) return Placed::kOut;
  return Placed::kUnknown;
}

// The update committed: the replacements' paths hold the old files, which
// go once they are recognised.
bool FinishExchanges(const ParsedJournal& j) {
  if (j.version == kFirstVersion) return true;  // no marks: the old files stay
  for (unsigned e = 0; e < j.exchanges; ++e) {
    const ExchangeRecord& x = j.exchange[e];
    const char* replacement = j.paths[x.replacement];
    if (x.out.present && HasMark(replacement, x.out) && !Unlink(replacement)) return false;
  }
  return true;
}

// Undoes the exchanges made. False, with nothing changed, when one cannot
// be judged.
bool UndoExchanges(int fd, ParsedJournal& j) {
  if (j.exchanges == 0 || j.undone) return true;
  Placed placed[kJournalMaxFiles];
  for (unsigned e = 0; e < j.exchanges; ++e) {
    placed[e] = Judge(j, j.exchange[e]);
    if (placed[e] == Placed::kUnknown) return false;
  }
  for (unsigned e = j.exchanges; e-- > 0;) {
    const ExchangeRecord& x = j.exchange[e];
    const bool bothExist = j.version == kFirstVersion ? j.committed[x.target] != kAbsent
                                                      : x.out.present;
    if (placed[e] == Placed::kIn &&
        !ExchangePaths(j.paths[x.target], j.paths[x.replacement], bothExist))
      return false;
  }
  if (!SyncPathDirectory(j.paths[0])) return false;
  // Restoring old bytes changes the old files' contents: later recoveries
  // must not judge the exchanges from their marks again.
  if (!PassFaultPoint(FaultKind::kTruncate, fd, j.recordsEnd, UINT64_MAX) ||
      ftruncate(fd, static_cast<off_t>(j.recordsEnd)) != 0 ||
      !WriteRecord(fd, j.recordsEnd, kUndone, 0, 0, nullptr, 0) || !SyncFd(fd))
    return false;
  j.undone = true;
  return true;
}

// Cuts the archive files back to their committed sizes and deletes the
// files the update made.
bool RemoveWhatWasAdded(const ParsedJournal& j) {
  for (unsigned i = 0; i < j.count; ++i) {
    const char* path = j.paths[i];
    if (i >= j.archiveFiles) {
      if (j.created[i] && j.committed[i] == kAbsent && !Unlink(path)) return false;
      continue;
    }
    if (j.committed[i] == kAbsent) {
      if (!Unlink(path)) return false;
      continue;
    }
    struct stat st;
    if (stat(path, &st) != 0 || static_cast<uint64_t>(st.st_size) <= j.committed[i]) continue;
    const int f = open(path, O_RDWR | O_CLOEXEC);
    const bool ok = f >= 0 && PassFaultPoint(FaultKind::kTruncate, f, j.committed[i], UINT64_MAX) &&
                    ftruncate(f, static_cast<off_t>(j.committed[i])) == 0 && SyncFd(f);
    if (f >= 0) close(f);
    if (!ok) return false;
  }
  if (j.version != kFirstVersion) return true;
  // A compaction of version 1 left its temporary file beside the archive;
  // it goes when its inode shows it is the file the exchange record names.
  for (unsigned e = 0; e < j.exchanges; ++e) {
    const ExchangeRecord& x = j.exchange[e];
    const char* replacement = j.paths[x.replacement];
    if (j.count % 2 && x.replacement == j.count - 2 && IsInode(replacement, x.device, x.inode) &&
        !Unlink(replacement))
      return false;
  }
  return true;
}

bool Settle(int fd, uint64_t size, ParsedJournal& j) {
  if (!ReadRecords(fd, size, &j)) return false;
  // An aside file of a build before exchange records: nothing tells whose
  // the file under its name is now.
  if (j.swapped) return false;
  if (j.committedRecord) return FinishExchanges(j);
  return UndoExchanges(fd, j) && RestoreOldBytes(fd, j) && RemoveWhatWasAdded(j);
}

}  // namespace

int CommitJournal::Recover(const char* archivePath) {
  if (!archivePath || std::strlen(archivePath) >= kJournalMaxPath) return -1;
  char path[kJournalMaxPath + sizeof(kJournalSuffix)];
  std::strcpy(path, archivePath);
  std::strcat(path, kJournalSuffix);
  const int fd = open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? 0 : -1;
  struct stat st;
  std::unique_ptr<ParsedJournal, VrkFreeDeleter> j(
      static_cast<ParsedJournal*>(VrkAlloc(sizeof(ParsedJournal))));
  if (!j || fstat(fd, &st) != 0) {
    close(fd);
    return -1;
  }
  new (j.get()) ParsedJournal();
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  bool ok = true;
  switch (ParseHeader(fd, size, path, j.get())) {
    case HeaderState::kNotOurs: ok = false; break;
    case HeaderState::kTorn: break;  // nothing was changed under it
    case HeaderState::kValid: ok = Settle(fd, size, *j); break;
  }
  close(fd);
  if (!ok) return -1;
  if (!SyncPathDirectory(path) || !Unlink(path) || !SyncPathDirectory(path)) return -1;
  return 1;
}

}  // namespace orvel
