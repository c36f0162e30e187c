// What vrk keeps about a packed tree beside the files themselves: each
// entry's name as spelled on disk (the archive keeps names lower-cased), its
// mode bits, modification time and owner, symbolic and hard links,
// directories, FIFOs and devices, and for a file whose name the archive
// cannot hold the alias it is stored under. It is stored in the archive as
// one more file under a reserved name, so other readers see an extra file
// they can ignore; RecordCodec.h encodes it.
#ifndef VRK_TREE_RECORD_H
#define VRK_TREE_RECORD_H

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "archive/ArchiveNaming.h"

namespace vrk {

enum class EntryKind : unsigned char {
  kFile = 'f',
  kDirectory = 'd',
  kLink = 'l',         // symbolic link
  kHardLink = 'h',     // another name of a file entry, whose data it shares
  kFifo = 'p',
  kCharDevice = 'c',
  kBlockDevice = 'b',
};

// The owner and group of entries, by number and by name (a name is empty
// when the system that packed it had none for the number).
struct Owner {
  uint32_t uid = 0;
  uint32_t gid = 0;
  std::string user;
  std::string group;
};

struct TreeEntry {
  EntryKind kind = EntryKind::kFile;
  std::string name;        // as spelled on disk, joined as in the archive
  uint32_t mode = 0;       // permission and special bits (07777)
  int64_t seconds = 0;     // modification time
  uint32_t nanoseconds = 0;
  // A symbolic link: what it holds. A hard link: the exact name of the file
  // entry that holds the data.
  std::string target;
  uint32_t owner = 0;   // 0: none recorded; k: the record's k-th owner (TreeRecord::OwnerOf)
  uint64_t alias = 0;   // a file stored under AliasName(alias); 0: under its own name
  uint64_t device = 0;  // character and block devices: the device number

  // An entry of `kind` named `name` with the mode, time (and for devices
  // the device number) of `st`; no owner.
  static TreeEntry From(EntryKind kind, std::string name, const struct stat& st);
  // A file known by its name alone.
  static TreeEntry File(std::string name);

  bool IsDirectory() const { return kind == EntryKind::kDirectory; }
};

// "(alias)/N": the reserved name a file is stored under when the archive
// cannot hold its own name (numbers from 1).
std::string AliasName(uint64_t number);
// The number of an alias name ("(alias)/7" -> 7, in any letter case); false
// for any other name.
bool ParseAliasName(const std::string& name, uint64_t* number);
// The name the archive stores a file entry's data under: its alias, else its
// own name.
std::string StoredName(const TreeEntry& file);
// The path to place `e` at on disk or in a mount. A name with a '/' is split
// there alone, one without at '\' too (NameSeparators), as other hosts join
// names with '\'. A file stored under an alias has a name joined with '/'
// whose backslashes are its own: when it has no '/', "./" goes before it so
// that they are not taken for separators.
std::string PlacedName(const TreeEntry& e);

class TreeRecord {
 public:
  // The entries in the order they were put, without forgotten ones.
  std::vector<TreeEntry> Entries() const;
  bool Empty() const { return exact_.empty() && directories_.empty(); }

  // The file entry whose data the archive stores under `archiveName`: the
  // file of that alias, else the file without alias whose name folds as
  // `archiveName` does; null if none.
  const TreeEntry* FindFile(const std::string& archiveName) const;
  // An entry by a name as given by a user: the entry other than a directory
  // of exactly that name, else the directory of exactly that name, else the
  // one entry other than a directory that matches regardless of letter case,
  // else the one directory that does; null if none or if several match
  // regardless of case.
  const TreeEntry* Find(const std::string& name) const;
  // The entry other than a directory of exactly `name`, else the directory
  // of exactly `name`; null if none.
  const TreeEntry* FindExact(const std::string& name) const;
  // True when an entry with the key of `e` is held (see Put).
  bool Holds(const TreeEntry& e) const;
  // The hard links whose target is `fileName` (exact), in record order.
  std::vector<const TreeEntry*> HardLinksTo(const std::string& fileName) const;

  // Adds an entry, replacing one with the same key: every kind but
  // directories is keyed by its exact name (they share that space),
  // directories by their exact name. Its `owner` must be 0 or an index of
  // Owners() (see AddOwner).
  void Put(TreeEntry entry);
  // Forgets what Find(name) finds; false when there was nothing.
  bool Forget(const std::string& name);

  // The owners entries refer to: entry.owner k is Owners()[k - 1].
  const std::vector<Owner>& Owners() const { return owners_; }
  // The owner of `e`; null when none is recorded or the index is not one.
  const Owner* OwnerOf(const TreeEntry& e) const;
  // The index of `owner` for TreeEntry::owner, added when new (owners with
  // the same numbers and names share one index).
  uint32_t AddOwner(const Owner& owner);

  // One more than the highest alias number held (1 when none is).
  uint64_t NextAlias() const;

 private:
  const TreeEntry* Only(const std::string& folded, bool directories) const;
  void Unindex(size_t at);
  void Index(size_t at);

  std::vector<TreeEntry> entries_;  // forgotten entries keep their place, with no name
  std::unordered_map<std::string, size_t> exact_;        // entries but directories
  std::unordered_map<std::string, size_t> directories_;  // exact names
  std::unordered_multimap<std::string, size_t> folded_;  // every entry, by folded name
  std::unordered_map<uint64_t, size_t> aliases_;
  std::vector<Owner> owners_;
  std::map<std::pair<uint32_t, uint32_t>, std::vector<uint32_t>> ownerIndex_;  // by numbers
};

}  // namespace vrk

#endif
