// The rollback journal of one archive: "<archive>-journal" beside it.
//
// Before a commit overwrites any byte an archive file held at the start of
// the update (its committed size), the old bytes go into the journal, and
// the journal reaches the disk before the overwrite is issued. Bytes written
// past the committed size need no copy: rolling back cuts the file to its
// committed size. The commit makes the archive files durable and then
// deletes the journal; that deletion is the instant the update commits. An
// open that finds a journal rolls the files back to the journaled state:
// the old bytes are written back, every archive file cut to its committed
// size, and archive files that did not exist are deleted.
//
// Recovery touches no other file unless the journal names it and knows it
// as the update's own: a file the update made (a compaction's temporary
// file, recorded as absent and as made before it was created), or a file an
// exchange moved, known by the content marks of the two files it swapped
// (see ContentMark.h). A compaction, or a host replacing a whole archive,
// exchanges files with new ones: the exchange records, durable before the
// exchanges, let recovery undo them; a commit record lets it finish them
// instead. When the files at the named paths match neither state, recovery
// changes nothing and the open is refused. The layout is in JournalFormat.h.
//
// Staging: while an update runs, readers of other objects and processes
// read the committed bytes. So, with staging on, a write that would replace
// committed bytes is kept in memory instead (appends past the committed size
// go to the file at once: no reader looks there), and every read through an
// attached handle sees it laid over the file. The commit applies the staged
// bytes, journaled as above, with the commit lock held exclusively. The
// memory is bounded by kStageLimit: the bytes an update replaces in place
// are the tables, the header copies and records replaced in place; an update
// that would stage more applies what it staged early and writes through from
// then on, holding the commit lock (readers then wait for its end).
#ifndef ORVEL_FRAME_COMMIT_JOURNAL_H
#define ORVEL_FRAME_COMMIT_JOURNAL_H

#include <cstdint>

#include "frame/DiskFile.h"
#include "frame/WriterLock.h"

namespace orvel {

constexpr unsigned kJournalMaxFiles = 6;
constexpr unsigned kJournalMaxPath = 272;
constexpr char kJournalSuffix[] = "-journal";
constexpr uint64_t kStageLimit = uint64_t{64} << 20;

enum class JournalVerdict { kWrite, kSkip, kFail };

class CommitJournal {
 public:
  CommitJournal() = default;
  ~CommitJournal();
  CommitJournal(const CommitJournal&) = delete;
  CommitJournal& operator=(const CommitJournal&) = delete;

  // Names the files, the archive file first. The first `archiveFiles` are
  // the archive's own, rewritten in place and rolled back; the others are
  // touched only as records say (made, exchanged). False when a path is
  // too long.
  bool SetFiles(const char* const* paths, unsigned count, unsigned archiveFiles);
  const char* Path(unsigned index) const { return m_paths[index]; }

  // Writes the journal header with every file's size now. Nothing is
  // synced yet. False on I/O failure (nothing was changed).
  bool Start();
  bool Active() const { return m_fd >= 0; }

  // Writes through `file` are journaled as writes to file `index` until
  // Detach (see JournalBeforeWrite).
  void Attach(unsigned index, FileHandle file);
  void DetachAll();
  void ForgetHandle(unsigned index) { m_attached[index] = kInvalidFile; }

  // Staging for the update that starts next (see above). The commit lock
  // is taken through `commitLock` on the archive file when the staged bytes
  // are applied.
  void SetStaging(bool on, WriterLock* commitLock) {
    m_staging = on;
    m_commitLock = commitLock;
  }
  // Lays the staged bytes of file `index` over `count` bytes read at
  // `offset`.
  void Overlay(unsigned index, void* buffer, uint64_t offset, uint64_t count) const;
  // Writes the staged bytes to the files, journaled, under the commit lock
  // (taken here and held until the update ends), and makes them durable.
  // Staging is off afterwards. False on failure.
  bool ApplyStaged();
  // Forgets the staged bytes (the update rolls back).
  void DropStaged();
  uint64_t StagedBytes() const { return m_stagedBytes; }

  // Copies the committed bytes of [offset, offset + length) of file `index`
  // that are not in the journal yet into it, read through `file` (or the
  // file's path when kInvalidFile). Starts the journal when needed.
  bool Cover(unsigned index, uint64_t offset, uint64_t length, FileHandle file);
  // Makes everything journaled so far durable (the journal and, once, its
  // directory entry). Cheap when nothing is pending.
  bool MakeDurable();
  // The verdict of JournalBeforeWrite for a handle attached as `index`.
  JournalVerdict BeforeWrite(unsigned index, FileHandle file, uint64_t offset,
                             const void* data, uint64_t count, uint64_t* staged);

  // Creates file `index` (not an archive file), which must not exist: the
  // journal records first that the update makes it, so that a rollback
  // deletes it. kInvalidFile when a file is there already (EEXIST) or it
  // cannot be made.
  FileHandle CreateNew(unsigned index, unsigned attributes);

  // Puts each file `replacements[i]` in the place of file `targets[i]` by
  // exchanging the two (a rename when the target is absent), so that the
  // target path never goes missing; the replacement's path then holds the
  // old file until the commit deletes it. The new files are made durable
  // first. Each exchange is journaled, with the content marks of the files
  // that go in and out, before any is made: recovery undoes them all, or
  // with the commit record finishes them all.
  bool Exchange(const unsigned* targets, const unsigned* replacements, unsigned count);

  // The update commits: the files must already be durable. Deletes the
  // journal (and the old files of exchanges) and syncs the directory.
  bool Commit();
  // Undoes the update on disk now and deletes the journal.
  bool RollBack();

  // Finishes an interrupted update of the archive at `archivePath`: rolls
  // back, or completes committed exchanges. 1 when a journal was handled, 0
  // when there was none, -1 when it could not be handled.
  static int Recover(const char* archivePath);
  static bool JournalExists(const char* archivePath);

 private:
  struct Range {
    uint64_t start;
    uint64_t end;
  };
  // Staged bytes of one file: sorted, disjoint, never touching.
  struct Extent {
    uint64_t start;
    uint64_t length;
    uint64_t room;
    unsigned char* bytes;
  };
  bool Stage(unsigned index, uint64_t offset, const void* data, uint64_t count);
  bool LockCommit();
  bool AppendRecord(uint32_t tag, uint32_t file, uint32_t offset, const void* data,
                    uint32_t length);
  bool MarkCovered(unsigned index, uint64_t start, uint64_t end);
  void Close();

  char m_paths[kJournalMaxFiles][kJournalMaxPath] = {};
  char m_journalPath[kJournalMaxPath + sizeof(kJournalSuffix)] = {};
  unsigned m_count = 0;
  unsigned m_archiveFiles = 0;
  uint32_t m_committed[kJournalMaxFiles] = {};
  Range* m_ranges[kJournalMaxFiles] = {};
  unsigned m_rangeCount[kJournalMaxFiles] = {};
  unsigned m_rangeRoom[kJournalMaxFiles] = {};
  int m_fd = -1;
  uint64_t m_end = 0;         // the journal's size: records are appended there
  bool m_pending = false;     // records not yet synced
  bool m_dirSynced = false;   // the journal's directory entry is durable
  uint64_t m_window = 0;      // how far past a changed byte a copy reaches
  uint64_t m_lastEnd[kJournalMaxFiles] = {};  // where each file's last write ended
  unsigned m_exchanged = 0;  // replaced files whose paths hold the old ones
  unsigned m_oldCopies[kJournalMaxFiles] = {};
  FileHandle m_attached[kJournalMaxFiles] = {kInvalidFile, kInvalidFile, kInvalidFile,
                                             kInvalidFile, kInvalidFile, kInvalidFile};
  bool m_staging = false;
  WriterLock* m_commitLock = nullptr;
  Extent* m_extents[kJournalMaxFiles] = {};
  unsigned m_extentCount[kJournalMaxFiles] = {};
  unsigned m_extentRoom[kJournalMaxFiles] = {};
  uint64_t m_stagedBytes = 0;
};

// The file layer's hook, before `count` bytes of `data` are written at
// `offset` of `file`: the journal the handle is attached to copies what they
// would overwrite and makes the copy durable. A write that would leave the
// committed bytes exactly as they are is skipped instead: nothing to copy,
// nothing to sync (a commit rewrites whole tables of which few bytes
// change). With staging, *staged tells how many leading bytes were staged
// (kSkip when all were); the caller writes the rest after them.
JournalVerdict JournalBeforeWrite(FileHandle file, uint64_t offset, const void* data,
                                  uint64_t count, uint64_t* staged);
// After `count` bytes were read at `offset` through `file`: lays the staged
// bytes of its update over them.
void JournalOverlay(FileHandle file, void* buffer, uint64_t offset, uint64_t count);
// False when no handle of the process is attached to a journal: reads then
// need no overlay.
bool AnyJournalWatch();
// Before a handle's writes are made durable: the journal it is attached to
// must be durable first (it holds the sizes that undo appended bytes).
bool JournalBeforeSync(FileHandle file);

// Journaling is on unless a bench turns it off to measure what it costs;
// off, commits are no longer atomic.
void SetJournalingEnabled(bool enabled);
bool JournalingEnabled();

// Called as a handle closes: its number may name another file next.
void ForgetJournalWatch(FileHandle file);

}  // namespace orvel

#endif
