// What keeps an archive's commits atomic and its writers apart: the writer
// lock and the rollback journal of one archive object, used the same way by
// both variants.
//
// - An open takes the commit lock shared while it reads the tables: it
//   waits for a commit in progress, never for a bracket. A journal whose
//   writer is gone (nobody holds the writer lock) is settled first, with
//   both locks held exclusively; without write access the open is refused.
// - The outermost BeginUpdate takes the writer lock exclusively for the
//   whole bracket. When another writer committed since this object last
//   read the tables (the variant's fingerprint of its files changed), the
//   variant reads them again before it changes anything.
// - Writes through the archive's handles are journaled and, where they
//   would replace committed bytes, staged (see CommitJournal); the
//   outermost EndUpdate applies them with the commit lock held exclusively
//   and commits the journal once the files are durable, or rolls it back
//   when the commit failed.
// - Reads between brackets take the commit lock shared through the
//   variant's own handle for one read each (see ReadScope in
//   GuardedCalls.h).
#ifndef ORVEL_FRAME_ARCHIVE_GUARD_H
#define ORVEL_FRAME_ARCHIVE_GUARD_H

#include <cstdint>

#include "frame/CommitJournal.h"
#include "frame/WriterLock.h"

namespace orvel {

class ArchiveGuard {
 public:
  ArchiveGuard() = default;
  ~ArchiveGuard();
  ArchiveGuard(const ArchiveGuard&) = delete;
  ArchiveGuard& operator=(const ArchiveGuard&) = delete;

  // The archive file, its side files (at most two), and the suffix of its
  // compaction's temporary file. False when a path is too long.
  bool SetPaths(const char* archive, const char* const* sides, unsigned sideCount,
                const char* tempSuffix);
  unsigned TempIndex() const { return m_sideCount + 1; }
  const char* Path(unsigned index) const { return m_journal.Path(index); }

  // Before an open reads the tables: 0, VRKERR_BUSY, or
  // VRKERR_NEEDS_RECOVERY (a journal this process cannot roll back). A
  // missing archive file is not an error here; the open reports it.
  int BeginOpen();
  void EndOpen();

  // Settles the journal an interrupted writer left at `archive`, before
  // anything reads the archive file to tell its variant. 0 or the code
  // BeginOpen gives.
  static int RecoverBeforeOpen(const char* archive);

  // Before a new archive's files are created: takes the lock on the
  // archive file (created empty when missing) and journals what the files
  // held, so that a failed creation leaves them as they were.
  int BeginCreate();

  // The outermost BeginUpdate: 0 or VRKERR_BUSY.
  int BeginBracket();
  bool InBracket() const { return m_inBracket; }
  // An open (or a reload) reads under the commit lock it holds already.
  bool InOpen() const { return m_inOpen; }
  // Journals every write through `file` as a write to file `index`.
  void Attach(unsigned index, FileHandle file) { m_journal.Attach(index, file); }
  CommitJournal& Journal() { return m_journal; }
  // The files are durable: the update commits. False when the journal could
  // not be removed (the update then counts as not committed).
  bool Commit();
  // Undoes the update on disk.
  void RollBack();
  // Creates the compaction's temporary file, write-through, under the
  // journal so that a rollback deletes it. A file already there is not the
  // library's: it is left alone and the compaction refused
  // (VRKERR_CREATE_FILE, system error EEXIST).
  FileHandle CreateTemporary();
  // Puts the compaction's temporary file in the place of the archive file
  // by exchanging the two, journaled so that a rollback puts the old one
  // back; the path never goes missing, so no opener takes the swap for one
  // cut short. The lock moves to the new file first: a writer that opens
  // the path after the exchange must wait like one that opened it before.
  bool SwapArchive();
  // Ends the bracket: the journal must be committed or rolled back.
  void EndBracket();

  // The variant's fingerprint of its files as of its tables in memory.
  // With the reader's generation of the same files (see GenerationOf).
  void Remember(uint32_t fingerprint, uint64_t generation) {
    m_fingerprint = fingerprint, m_known = true;
    m_readGeneration = generation, m_readKnown = true;
    NoteChecked();
  }
  void Forget() { m_known = m_readKnown = false; }
  bool IsCurrent(uint32_t fingerprint) const { return m_known && m_fingerprint == fingerprint; }

  // Whether the reader's generation, the variant's cheap look at its open
  // files (ReadGeneration), is still the one of its tables in memory.
  bool IsReadCurrent(uint64_t generation) const {
    return m_readKnown && m_readGeneration == generation;
  }
  // When the generation was last found current (monotonic nanoseconds):
  // queries within kQueryFreshNs of that trust it without looking again.
  static constexpr uint64_t kQueryFreshNs = 100000;
  void NoteChecked();
  bool CheckedJustNow() const;
  // Nesting of reads: the outermost takes and drops the shared lock.
  unsigned& ReadDepth() { return m_readDepth; }
  FileHandle& ReadHandle() { return m_readHandle; }

 private:
  int Recover();
  // Settles the journal of a writer that is gone; OK when there is none or
  // its writer still runs.
  int SettleAbandoned();
  bool LockCommit();
  void ReleaseCommit();

  CommitJournal m_journal;
  WriterLock m_lock;
  WriterLock m_commitLock{LockByte::kCommit};
  WriterLock m_commitNext{LockByte::kCommit};  // a compaction's new file
  WriterLock m_readLock{LockByte::kCommit};    // shared, while an open reads
  unsigned m_sideCount = 0;
  uint32_t m_fingerprint = 0;
  bool m_known = false;
  uint64_t m_readGeneration = 0;
  uint64_t m_checkedAt = 0;
  bool m_readKnown = false;
  unsigned m_readDepth = 0;
  FileHandle m_readHandle = kInvalidFile;
  bool m_inBracket = false;
  bool m_inOpen = false;
};

// Folds a file's identity, size and times into a fingerprint: another
// writer's commit changes at least the times of what it wrote.
uint32_t FingerprintFile(uint32_t seed, const char* path);
uint32_t FingerprintBytes(uint32_t seed, const void* data, uint32_t size);
// Folds what a commit to the open file `file` changes: its size, its
// modification time (the kernel tells writes apart at the finest grain once
// the time was looked at) and its link count (0 once a compaction or a
// replacement took its place). Changes of its mode or flags alone do not
// count.
uint64_t GenerationOf(uint64_t seed, FileHandle file);

}  // namespace orvel

#endif
