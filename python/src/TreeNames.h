// The files of an archive as the Python package shows them. vrk keeps a
// tree record beside the files (names as spelled on disk, modes, times,
// owners, links, and the aliases that names the archive cannot hold are
// stored under); where an archive has one, names are shown and looked up as
// spelled there, and each resolves to the name its data is stored under.
// Archives without a record show the names of their name list.
#ifndef ORVELPY_TREE_NAMES_H
#define ORVELPY_TREE_NAMES_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tree/TreeRecord.h"

class IOrvelPacket;

namespace orvelpy {

// One entry as os.stat tells of a file: kind, mode with its type bits,
// size, time and owner.
struct EntryFacts {
  std::string name;
  std::string kind;  // "file", "directory", "symlink", "hardlink", "fifo", "chardev", "blockdev"
  uint32_t mode = 0;  // st_mode: type and permission bits
  uint64_t size = 0;  // a file's bytes; a symbolic link's target length
  std::optional<int64_t> seconds;  // modification time; none where the archive keeps none
  uint32_t nanoseconds = 0;
  std::optional<uint32_t> uid, gid;
  std::string user, group;  // empty where no name was recorded
  std::string target;       // what a link points to
  uint64_t device = 0;      // character and block devices
  bool recorded = false;    // mode, time and owner come from the record
};

// What identifies the stored record: when any of it changes, the record is
// read again. A commit that rewrites the record moves or resizes it.
struct RecordSignature {
  int block = -1;
  uint32_t storedSize = 0;
  uint32_t originalSize = 0;
  uint32_t files = 0;
  bool operator==(const RecordSignature& o) const {
    return block == o.block && storedSize == o.storedSize && originalSize == o.originalSize &&
           files == o.files;
  }
};

class TreeNames {
 public:
  // The signature of the record `packet` holds now.
  static RecordSignature SignatureOf(IOrvelPacket* packet);
  // Reads the record of `packet` (none when absent or unreadable: a damaged
  // record costs its names and attributes, not the files) and its list of
  // `listed` names.
  static TreeNames Read(IOrvelPacket* packet, std::vector<std::string> listed);

  // The name the archive stores the data of `name` under, for a name as a
  // user gives it: an entry of exactly that name first, then the one entry
  // that matches regardless of letter case; the name itself when the record
  // knows no file of it. A hard link resolves to the data it shares. Empty
  // when the name matches several entries that differ only in letter case.
  std::string Stored(const std::string& name) const;
  // The files (and hard links) as spelled, record order first, then the
  // listed files the record does not know.
  std::vector<std::string> Names() const;
  // Every entry: the record's, then the listed files it does not know. Sizes
  // of files come from `sizeOf`, called with the stored name.
  template <class SizeOf>
  std::vector<EntryFacts> Entries(SizeOf sizeOf) const;
  // The entry for a name as a user gives it, if any.
  template <class SizeOf>
  std::optional<EntryFacts> Entry(const std::string& name, SizeOf sizeOf) const;
  // The name as spelled of the file stored under `stored`, else `stored`.
  std::string Spelled(const std::string& stored) const;

 private:
  const vrk::TreeEntry* FileOf(const vrk::TreeEntry& e) const;
  EntryFacts FactsOf(const vrk::TreeEntry& e, uint64_t size) const;
  static EntryFacts ListedFacts(const std::string& name, uint64_t size);

  vrk::TreeRecord record_;
  std::vector<std::string> unrecorded_;  // listed files the record does not name
};

template <class SizeOf>
std::vector<EntryFacts> TreeNames::Entries(SizeOf sizeOf) const {
  std::vector<EntryFacts> out;
  for (const vrk::TreeEntry& e : record_.Entries()) {
    const vrk::TreeEntry* file = FileOf(e);
    if (!file) {
      out.push_back(FactsOf(e, 0));
    } else if (auto size = sizeOf(vrk::StoredName(*file))) {
      out.push_back(FactsOf(e, *size));
    }  // else its data is gone
  }
  for (const std::string& name : unrecorded_)
    if (auto size = sizeOf(name)) out.push_back(ListedFacts(name, *size));
  return out;
}

template <class SizeOf>
std::optional<EntryFacts> TreeNames::Entry(const std::string& name, SizeOf sizeOf) const {
  if (const vrk::TreeEntry* e = record_.Find(name)) {
    const vrk::TreeEntry* file = FileOf(*e);
    if (!file) return FactsOf(*e, 0);
    if (auto size = sizeOf(vrk::StoredName(*file))) return FactsOf(*e, *size);
    return std::nullopt;
  }
  if (record_.FindFile(name)) return std::nullopt;  // several differ only in case
  if (auto size = sizeOf(name)) return ListedFacts(Spelled(name), *size);
  return std::nullopt;
}

}  // namespace orvelpy

#endif
