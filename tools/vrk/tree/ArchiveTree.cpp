#include "tree/ArchiveTree.h"

#include <algorithm>
#include <unordered_set>

#include "archive/ArchiveNaming.h"
#include "tree/NamePattern.h"
#include "archive/PacketHandle.h"

namespace vrk {
namespace {

// Marks the directories that hold nothing. A directory holds something when
// a name begins with it and a separator; sorted names answer that by one
// search each, without spelling out every leading part of every name (a
// deep name has thousands of them).
void MarkEmptyDirectories(std::vector<TreeItem>& items) {
  std::vector<const std::string*> names;
  names.reserve(items.size());
  for (const TreeItem& item : items) names.push_back(&item.entry.name);
  std::sort(names.begin(), names.end(),
            [](const std::string* a, const std::string* b) { return *a < *b; });
  const auto holds = [&names](const std::string& directory, char separator) {
    const std::string below = directory + separator;
    auto at = std::lower_bound(names.begin(), names.end(), below,
                               [](const std::string* a, const std::string& b) { return *a < b; });
    return at != names.end() && (*at)->compare(0, below.size(), below) == 0;
  };
  for (TreeItem& item : items)
    item.emptyDirectory = item.entry.kind == EntryKind::kDirectory &&
                          !holds(item.entry.name, '/') && !holds(item.entry.name, '\\');
}

}  // namespace

ArchiveTree ReadArchiveTree(const Packet& packet) {
  ArchiveTree tree;
  tree.record = LoadTreeRecordWarning(packet);
  std::unordered_set<std::string> covered;  // stored names, folded
  for (TreeEntry& e : tree.record.record.Entries()) {
    if (e.kind == EntryKind::kFile) {
      const std::string stored = StoredName(e);
      if (!packet.Contains(stored)) continue;  // removed by another host
      covered.insert(LowerAscii(stored));
    }
    tree.items.push_back({std::move(e), true, false});
  }
  for (std::string& name : packet.Names()) {
    if (covered.count(LowerAscii(name))) continue;
    tree.items.push_back({TreeEntry::File(std::move(name)), false, false});
  }
  MarkEmptyDirectories(tree.items);
  return tree;
}

const TreeEntry* HardLinkHolder(const ArchiveTree& tree, const TreeEntry& link) {
  const TreeEntry* file = tree.record.record.FindExact(link.target);
  return file && file->kind == EntryKind::kFile ? file : nullptr;
}

std::vector<TreeItem> SelectTreeItems(const Packet& packet, const ArchiveTree& tree,
                                      NameSelection& selection) {
  std::vector<const std::string*> names;
  names.reserve(tree.items.size());
  for (const TreeItem& item : tree.items) names.push_back(&item.entry.name);
  selection.Settle(names);
  std::vector<TreeItem> items;
  for (const TreeItem& item : tree.items)
    if (selection.Selects(item.entry.name)) items.push_back(item);
  // A name that selected nothing may still name a file the archive holds
  // although its name list lacks it (a patch adds files by hash alone).
  const std::vector<std::string> unmatched = selection.Unmatched();
  const std::vector<std::string>& patterns = selection.Patterns();
  for (size_t i = 0; i < patterns.size(); ++i) {
    const std::string& name = patterns[i];
    if (std::find(unmatched.begin(), unmatched.end(), name) == unmatched.end() ||
        selection.Ambiguous(i) || !packet.Contains(name))
      continue;
    selection.MarkMatched(i);
    const TreeEntry* e = tree.record.record.FindFile(name);
    const bool listed = std::any_of(items.begin(), items.end(), [&name](const TreeItem& item) {
      return item.IsFile() && LowerAscii(StoredName(item.entry)) == LowerAscii(name);
    });
    if (!listed) items.push_back({e ? *e : TreeEntry::File(name), e != nullptr, false});
  }
  return items;
}

}  // namespace vrk
