// The two locks of one archive, across processes and between archive
// objects of one process: open-file-description locks (F_OFD_SETLK) on two
// bytes far past the data of the archive file, each taken through a
// descriptor of its own.
//
// - The writer lock serializes the writers: held exclusively for a whole
//   update bracket (and by recovery of an interrupted one).
// - The commit lock guards the committed bytes: a writer holds it
//   exclusively only while it changes them (applying a commit, rolling one
//   back); a reader holds it shared for one read or one reload of the
//   tables, so that it never sees a commit half written and never waits
//   for a bracket.
//
// A compaction replaces the archive file by another one; a lock taken on the
// file a path no longer names protects nothing, so Acquire checks after
// locking that the path still names the locked file and starts over if not.
#ifndef ORVEL_FRAME_WRITER_LOCK_H
#define ORVEL_FRAME_WRITER_LOCK_H

namespace orvel {

enum class LockByte { kWriter, kCommit };

class WriterLock {
 public:
  explicit WriterLock(LockByte which = LockByte::kWriter) : m_which(which) {}
  ~WriterLock() { Release(); }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

  // Locks `path` (exclusive, or shared when `exclusive` is false), waiting
  // at most `waitMs` milliseconds. Exclusive needs write access; when the
  // file cannot be opened for writing, *readOnly is set and a shared lock is
  // taken instead. False when the file cannot be opened or the wait ends.
  bool Acquire(const char* path, bool exclusive, unsigned waitMs, bool* readOnly);
  void Release();
  // Takes over the lock `other` holds (its file and mode); `other` then
  // holds nothing and this lock's old one is dropped.
  void TakeFrom(WriterLock& other);
  bool Held() const { return m_fd >= 0; }
  bool Exclusive() const { return m_exclusive; }
  int Descriptor() const { return m_fd; }

 private:
  LockByte m_which;
  int m_fd = -1;
  bool m_exclusive = false;
};

// The commit lock taken shared through a handle the reader holds anyway,
// waiting at most `waitMs` for a commit in progress; false when the wait
// ends. Dropped by UnlockCommitShared or when the handle closes.
bool LockCommitShared(int fd, unsigned waitMs);
void UnlockCommitShared(int fd);
// True when another description holds the writer lock of the file `fd`
// names (a live writer's bracket).
bool WriterLockHeld(int fd);

// The longest wait for another writer, in milliseconds: 10 s unless the
// environment variable ORVEL_LOCK_WAIT_MS says otherwise or a caller set it.
unsigned LockWaitMs();
void SetLockWaitMs(unsigned ms);

}  // namespace orvel

#endif
