#include "tree/TreeRecord.h"

#include "archive/ArchiveNaming.h"

namespace vrk {
namespace {

// A kind letter and the name, allocated once at its length (a record may hold
// many long names).
std::string Key(char kind, const std::string& name) {
  std::string key;
  key.reserve(1 + name.size());
  key += kind;
  key += name;
  return key;
}

std::string LeafKey(const std::string& name) { return Key('n', LowerAscii(name)); }
std::string DirectoryKey(const std::string& name) { return Key('d', name); }

std::string KeyOf(const TreeEntry& e) {
  return e.kind == EntryKind::kDirectory ? DirectoryKey(e.name) : LeafKey(e.name);
}

}  // namespace

TreeEntry TreeEntry::From(EntryKind kind, std::string name, const struct stat& st) {
  TreeEntry e;
  e.kind = kind;
  e.name = std::move(name);
  e.mode = static_cast<uint32_t>(st.st_mode & 07777);
  e.seconds = st.st_mtim.tv_sec;
  e.nanoseconds = static_cast<uint32_t>(st.st_mtim.tv_nsec);
  return e;
}

TreeEntry TreeEntry::File(std::string name) {
  TreeEntry e;
  e.name = std::move(name);
  return e;
}

std::vector<TreeEntry> TreeRecord::Entries() const {
  std::vector<TreeEntry> live;
  live.reserve(index_.size());
  for (const TreeEntry& e : entries_)
    if (!e.name.empty()) live.push_back(e);
  return live;
}

const TreeEntry* TreeRecord::At(const std::string& key) const {
  auto found = index_.find(key);
  return found == index_.end() ? nullptr : &entries_[found->second];
}

const TreeEntry* TreeRecord::FindFile(const std::string& archiveName) const {
  const TreeEntry* e = At(LeafKey(archiveName));
  return e && e->kind == EntryKind::kFile ? e : nullptr;
}

const TreeEntry* TreeRecord::Find(const std::string& name) const {
  const TreeEntry* e = At(LeafKey(name));
  return e ? e : At(DirectoryKey(name));
}

void TreeRecord::Put(TreeEntry entry) {
  if (entry.name.empty()) return;
  auto [it, fresh] = index_.emplace(KeyOf(entry), entries_.size());
  if (fresh)
    entries_.push_back(std::move(entry));
  else
    entries_[it->second] = std::move(entry);
}

bool TreeRecord::Forget(const std::string& name) {
  for (const std::string& key : {LeafKey(name), DirectoryKey(name)}) {
    auto found = index_.find(key);
    if (found == index_.end()) continue;
    entries_[found->second].name.clear();
    index_.erase(found);
    return true;
  }
  return false;
}

}  // namespace vrk
