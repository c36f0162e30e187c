// What vrk keeps about a packed tree beside the files themselves: each
// file's name as spelled on disk (the archive keeps names lower-cased), its
// mode bits and modification time, symbolic links and directories. It is
// stored in the archive as one more file under a reserved name, so other
// readers see an extra file they can ignore; RecordCodec.h encodes it.
#ifndef VRK_TREE_RECORD_H
#define VRK_TREE_RECORD_H

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/ArchiveNaming.h"

namespace vrk {

enum class EntryKind : unsigned char { kFile = 'f', kDirectory = 'd', kLink = 'l' };

struct TreeEntry {
  EntryKind kind = EntryKind::kFile;
  std::string name;        // as spelled on disk, joined as in the archive
  uint32_t mode = 0;       // permission and special bits (07777)
  int64_t seconds = 0;     // modification time
  uint32_t nanoseconds = 0;
  std::string target;      // what a link holds

  // An entry of `kind` named `name` with the mode and time of `st`.
  static TreeEntry From(EntryKind kind, std::string name, const struct stat& st);
  // A file known by its name alone.
  static TreeEntry File(std::string name);
};

class TreeRecord {
 public:
  // The entries in the order they were put, without forgotten ones.
  std::vector<TreeEntry> Entries() const;
  bool Empty() const { return index_.empty(); }

  // The file entry for a name in the archive, in any letter case; null if none.
  const TreeEntry* FindFile(const std::string& archiveName) const;
  // The file or link named `name` in any letter case, else the directory of
  // exactly that name; null if none.
  const TreeEntry* Find(const std::string& name) const;

  // Adds an entry, replacing one with the same key: files and links are
  // keyed by their name folded as the archive folds it (they share that
  // space), directories by their exact name.
  void Put(TreeEntry entry);
  // Forgets what Find(name) finds; false when there was nothing.
  bool Forget(const std::string& name);

 private:
  const TreeEntry* At(const std::string& key) const;

  std::vector<TreeEntry> entries_;  // forgotten entries keep their place, with no name
  std::unordered_map<std::string, size_t> index_;
};

}  // namespace vrk

#endif
