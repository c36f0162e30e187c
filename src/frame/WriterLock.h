// The lock that serializes the writers of one archive, across processes and
// between archive objects of one process: an open-file-description lock
// (F_OFD_SETLK) on a byte far past the data of the archive file, taken
// through a descriptor of its own. Writers hold it exclusively for a whole
// update bracket; an open holds it while it reads the tables, so that it
// never sees a commit half written.
//
// A compaction replaces the archive file by another one; a lock taken on the
// file a path no longer names protects nothing, so Acquire checks after
// locking that the path still names the locked file and starts over if not.
#ifndef ORVEL_FRAME_WRITER_LOCK_H
#define ORVEL_FRAME_WRITER_LOCK_H

namespace orvel {

class WriterLock {
 public:
  WriterLock() = default;
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

 private:
  int m_fd = -1;
  bool m_exclusive = false;
};

// The longest wait for another writer, in milliseconds: 10 s unless the
// environment variable ORVEL_LOCK_WAIT_MS says otherwise or a caller set it.
unsigned LockWaitMs();
void SetLockWaitMs(unsigned ms);

}  // namespace orvel

#endif
