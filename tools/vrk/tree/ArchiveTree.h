// An archive seen as the tree it was packed from: its files under their
// spelled names with their attributes, and the symbolic links and
// directories of the tree record. Without a record (archives written by
// other hosts), the files of the name list under their stored names.
#ifndef VRK_ARCHIVE_TREE_H
#define VRK_ARCHIVE_TREE_H

#include <string>
#include <vector>

#include "tree/RecordStore.h"
#include "tree/TreeRecord.h"

namespace vrk {

class NameSelection;
class Packet;

struct TreeItem {
  TreeEntry entry;          // a file's entry names it as spelled (StoredName: where its data is)
  bool attributes = false;  // mode and time come from the record
  bool emptyDirectory = false;

  bool IsFile() const { return entry.kind == EntryKind::kFile; }
};

struct ArchiveTree {
  // The record's entries in its order (files only when the archive holds
  // them), then the listed files the record does not know.
  std::vector<TreeItem> items;
  StoredRecord record;
};

// The file entry whose data the hard link `link` shares; null when the
// record has none of that name (an archive changed by another host).
const TreeEntry* HardLinkHolder(const ArchiveTree& tree, const TreeEntry& link);

// Reads the name list and the record (warning when the record is unusable).
ArchiveTree ReadArchiveTree(const Packet& packet);

// The items of `tree` that `selection` takes (a directory's name takes what
// is below it; names compare in exact case first, NameSelection::Settle),
// then the files the archive finds under a name given as it is that
// selected nothing, although the name list lacks it (a patch adds files by
// hash alone).
std::vector<TreeItem> SelectTreeItems(const Packet& packet, const ArchiveTree& tree,
                                      NameSelection& selection);

}  // namespace vrk

#endif
