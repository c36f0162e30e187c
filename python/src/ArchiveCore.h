// One open archive for the Python package: the library object, the update
// bracket of a change block, and the lock that keeps the object to one thread
// at a time. Nothing here touches Python: the module (Module.cpp) converts
// arguments and results and lets other Python threads run while these calls
// work.
#ifndef ORVELPY_ARCHIVE_CORE_H
#define ORVELPY_ARCHIVE_CORE_H

#include <orvel/VrkErrors.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "TreeNames.h"

class IOrvelPacket;

namespace orvelpy {

// A failure the library reported: its code and what it concerns (the
// archive's path, or "path: name").
class LibraryFailure : public std::exception {
 public:
  LibraryFailure(int code, std::string subject)
      : code_(code), subject_(std::move(subject)), systemError_(VrkLastSystemError()) {}
  int Code() const { return code_; }
  const std::string& Subject() const { return subject_; }
  // The library's last system error when the failure was met (a write's,
  // sync's or file creation's errno; it may be older than this failure).
  int SystemError() const { return systemError_; }
  const char* what() const noexcept override { return subject_.c_str(); }

 private:
  int code_;
  std::string subject_;
  int systemError_;
};

// A call the archive cannot take as given (a name it cannot hold, a closed
// archive, a buffer too small); Python sees ValueError.
class UsageFailure : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

struct Stamp {
  uint32_t high = 0;
  uint32_t low = 0;
};

struct FileFacts {
  std::string name;
  uint32_t size = 0;
  uint32_t storedSize = 0;
  uint32_t flags = 0;
  Stamp stamp;
  bool compressed = false;
};

struct ArchiveFacts {
  std::string path;
  bool advanced = false;
  Stamp stamp;
  uint32_t baseVersion = 0;
  uint32_t flags = 0;
  uint32_t files = 0;  // without the archive's own entries
};

struct AddOptions {
  bool compress = true;
  std::optional<Stamp> stamp;  // the archive's stamp when empty
  bool replace = true;
};

class Archive {
 public:
  static std::unique_ptr<Archive> Open(const std::string& path, bool writable);
  static std::unique_ptr<Archive> Create(const std::string& path, bool advanced,
                                         unsigned tableSize, Stamp stamp, bool protect);
  // Ends an open change block as Close does.
  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  const std::string& Path() const { return path_; }
  bool Writable() const { return writable_; }
  bool Closed();
  // Commits an open change block, then releases the archive.
  void Close();

  // Change blocks. The outermost block holds the update bracket (nested
  // blocks share it) and its commit writes the tables. A rollback, from any
  // level, drops every change since the outermost block began and reopens
  // the archive at its last commit. Read-only archives keep no bracket.
  // Returns a token for EndBlock.
  uint64_t BeginBlock();
  // Commits (`commit`) or rolls back the block that BeginBlock opened; does
  // nothing when a rollback of an enclosing or inner block already ended it.
  void EndBlock(uint64_t token, bool commit);

  // Names as a user sees them: as spelled in vrk's tree record where the
  // archive has one (TreeNames.h), else as the name list keeps them. Every
  // call taking a name resolves it the same way.
  std::vector<std::string> Names();
  bool Contains(const std::string& name);
  // os.stat-like facts of every entry, or of one (nullopt when none).
  std::vector<EntryFacts> Entries();
  std::optional<EntryFacts> Entry(const std::string& name);
  // The file's original size; throws a not-found failure.
  uint32_t SizeOf(const std::string& name);
  // Reads the whole file into `buffer` when it holds `capacity` bytes or
  // more and returns its size; returns nullopt, and leaves `*needed` set,
  // when it is larger.
  std::optional<uint32_t> ReadInto(const std::string& name, void* buffer, size_t capacity,
                                   uint32_t* needed);
  FileFacts Info(const std::string& name);
  ArchiveFacts Stat();

  // Stores `size` bytes under `name`: compressed with LZO1X-999 when asked
  // and when that makes them smaller, as vrk stores files.
  void Add(const std::string& name, const void* data, size_t size, const AddOptions& options);
  void Delete(const std::string& name);
  void Compact();
  Stamp GetStamp();
  void SetStamp(Stamp stamp);
  // Every damaged file with the failure reading it gave.
  std::vector<std::pair<std::string, LibraryFailure>> Verify();

  // Patches (advanced archives). Create and extend return the patch file's
  // path (create: empty when no file is newer than the base version, and
  // nothing is written). Apply returns whether it wrote files: false when
  // the patch is not above the archive's level, or when the archive held
  // every file of it already and only its stamp was raised.
  std::string CreatePatch();
  std::string ExtendPatch();
  bool ApplyPatch(const std::string& patchPath);

 private:
  Archive(IOrvelPacket* packet, std::string path, bool writable)
      : packet_(packet), path_(std::move(path)), writable_(writable) {}

  IOrvelPacket* Packet();  // throws when closed; call with mutex_ held
  void RequireWritable();
  void RequirePatchable();
  // The tree record and names as they stand, read again after a change
  // through this object or when the stored record changed; call with
  // mutex_ held.
  const TreeNames& Tree();
  // The name the data of `name` is stored under; call with mutex_ held.
  std::string Stored(const std::string& name) { return Tree().Stored(name); }
  // The files that are there: (name as a user sees it, name stored under).
  std::vector<std::pair<std::string, std::string>> FilesLocked();
  // The original size of the file stored under `stored`, if it is there.
  std::optional<uint64_t> StoredSize(const std::string& stored);
  LibraryFailure Failed(const std::string& name) const;
  LibraryFailure Failed(const std::string& name, int code) const;
  // Runs one change: inside a change block as it is, else in a bracket of
  // its own that commits when `change` succeeds and rolls back when it throws.
  template <class Change>
  void Change(Change&& change);
  void CommitLocked();
  void RollbackLocked();
  void AddStored(const std::string& name, const AddOptions& options, const void* data,
                 size_t storedSize, uint32_t originalSize, bool compressed);
  template <class Run>
  std::string RunPatcher(Run&& run);

  std::mutex mutex_;
  IOrvelPacket* packet_;
  std::string path_;
  bool writable_;
  int depth_ = 0;
  uint64_t epoch_ = 0;
  std::optional<TreeNames> tree_;
  RecordSignature treeSignature_;
};

// Prepares LZO for compressing adds; false when it cannot be used.
bool InitCompression();

}  // namespace orvelpy

#endif
