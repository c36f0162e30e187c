#include "tree/ArchiveTree.h"

#include <algorithm>
#include <unordered_set>

#include "archive/ArchiveNaming.h"
#include "tree/NamePattern.h"
#include "archive/PacketHandle.h"

namespace vrk {
namespace {

// Every directory that holds something: the leading parts of all names.
std::unordered_set<std::string> Parents(const std::vector<TreeItem>& items) {
  std::unordered_set<std::string> parents;
  for (const TreeItem& item : items) {
    const std::string& name = item.entry.name;
    for (size_t at = name.find_first_of("/\\"); at != std::string::npos;
         at = name.find_first_of("/\\", at + 1))
      parents.insert(name.substr(0, at));
  }
  return parents;
}

}  // namespace

ArchiveTree ReadArchiveTree(const Packet& packet) {
  ArchiveTree tree;
  tree.record = LoadTreeRecordWarning(packet);
  std::unordered_set<std::string> covered;
  for (TreeEntry& e : tree.record.record.Entries()) {
    if (e.kind == EntryKind::kFile) {
      if (!packet.Contains(e.name)) continue;  // removed by another host
      covered.insert(LowerAscii(e.name));
    }
    tree.items.push_back({std::move(e), true, false});
  }
  for (std::string& name : packet.Names()) {
    if (covered.count(LowerAscii(name))) continue;
    tree.items.push_back({TreeEntry::File(std::move(name)), false, false});
  }
  const std::unordered_set<std::string> parents = Parents(tree.items);
  for (TreeItem& item : tree.items)
    item.emptyDirectory = item.entry.kind == EntryKind::kDirectory && !parents.count(item.entry.name);
  return tree;
}

std::vector<TreeItem> SelectTreeItems(const Packet& packet, const ArchiveTree& tree,
                                      NameSelection& selection) {
  std::vector<TreeItem> items;
  for (const TreeItem& item : tree.items)
    if (selection.Selects(item.entry.name)) items.push_back(item);
  const std::vector<std::string>& patterns = selection.Patterns();
  for (size_t i = 0; i < patterns.size(); ++i) {
    const std::string& name = patterns[i];
    if (!packet.Contains(name)) continue;
    const bool listed = std::any_of(items.begin(), items.end(), [&name](const TreeItem& item) {
      return item.IsFile() && LowerAscii(item.entry.name) == LowerAscii(name);
    });
    selection.MarkMatched(i);
    if (listed) continue;
    const TreeEntry* e = tree.record.record.FindFile(name);
    items.push_back({e ? *e : TreeEntry::File(name), e != nullptr, false});
  }
  return items;
}

}  // namespace vrk
