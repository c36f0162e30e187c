#include "tree/TreeRecord.h"

#include <cstdlib>
#include <string>

#include "archive/ArchiveNaming.h"

namespace vrk {
namespace {

const size_t kAliasPrefixLength = std::char_traits<char>::length(kAliasPrefix);

}  // namespace

TreeEntry TreeEntry::From(EntryKind kind, std::string name, const struct stat& st) {
  TreeEntry e;
  e.kind = kind;
  e.name = std::move(name);
  e.mode = static_cast<uint32_t>(st.st_mode & 07777);
  e.seconds = st.st_mtim.tv_sec;
  e.nanoseconds = static_cast<uint32_t>(st.st_mtim.tv_nsec);
  if (kind == EntryKind::kCharDevice || kind == EntryKind::kBlockDevice)
    e.device = static_cast<uint64_t>(st.st_rdev);
  return e;
}

TreeEntry TreeEntry::File(std::string name) {
  TreeEntry e;
  e.name = std::move(name);
  return e;
}

std::string AliasName(uint64_t number) { return kAliasPrefix + std::to_string(number); }

bool ParseAliasName(const std::string& name, uint64_t* number) {
  if (name.size() <= kAliasPrefixLength || name.size() > kAliasPrefixLength + 20 ||
      LowerAscii(name.substr(0, kAliasPrefixLength)) != kAliasPrefix || name[kAliasPrefixLength] == '0')
    return false;
  uint64_t n = 0;
  for (size_t at = kAliasPrefixLength; at < name.size(); ++at) {
    const char c = name[at];
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (n > (UINT64_MAX - digit) / 10) return false;
    n = n * 10 + digit;
  }
  *number = n;
  return true;
}

std::string StoredName(const TreeEntry& file) {
  return file.alias ? AliasName(file.alias) : file.name;
}

std::string PlacedName(const TreeEntry& e) {
  const bool ownBackslash = e.alias && e.name.find('\\') != std::string::npos &&
                            e.name.find('/') == std::string::npos;
  return ownBackslash ? "./" + e.name : e.name;
}

std::vector<TreeEntry> TreeRecord::Entries() const {
  std::vector<TreeEntry> live;
  live.reserve(exact_.size() + directories_.size());
  for (const TreeEntry& e : entries_)
    if (!e.name.empty()) live.push_back(e);
  return live;
}

const TreeEntry* TreeRecord::FindFile(const std::string& archiveName) const {
  uint64_t number = 0;
  if (ParseAliasName(archiveName, &number)) {
    auto found = aliases_.find(number);
    return found == aliases_.end() ? nullptr : &entries_[found->second];
  }
  auto range = folded_.equal_range(LowerAscii(archiveName));
  for (auto it = range.first; it != range.second; ++it) {
    const TreeEntry& e = entries_[it->second];
    if (e.kind == EntryKind::kFile && e.alias == 0) return &e;
  }
  return nullptr;
}

const TreeEntry* TreeRecord::FindExact(const std::string& name) const {
  auto found = exact_.find(name);
  if (found != exact_.end()) return &entries_[found->second];
  found = directories_.find(name);
  return found == directories_.end() ? nullptr : &entries_[found->second];
}

const TreeEntry* TreeRecord::Only(const std::string& folded, bool directories) const {
  const TreeEntry* only = nullptr;
  auto range = folded_.equal_range(folded);
  for (auto it = range.first; it != range.second; ++it) {
    const TreeEntry& e = entries_[it->second];
    if (e.IsDirectory() != directories) continue;
    if (only) return nullptr;
    only = &e;
  }
  return only;
}

const TreeEntry* TreeRecord::Find(const std::string& name) const {
  if (const TreeEntry* e = FindExact(name)) return e;
  const std::string folded = LowerAscii(name);
  if (const TreeEntry* e = Only(folded, false)) return e;
  return Only(folded, true);
}

bool TreeRecord::Holds(const TreeEntry& e) const {
  return (e.IsDirectory() ? directories_ : exact_).count(e.name) != 0;
}

std::vector<const TreeEntry*> TreeRecord::HardLinksTo(const std::string& fileName) const {
  std::vector<const TreeEntry*> links;
  for (const TreeEntry& e : entries_)
    if (e.kind == EntryKind::kHardLink && !e.name.empty() && e.target == fileName)
      links.push_back(&e);
  return links;
}

void TreeRecord::Index(size_t at) {
  const TreeEntry& e = entries_[at];
  folded_.emplace(LowerAscii(e.name), at);
  if (e.kind == EntryKind::kFile && e.alias) aliases_[e.alias] = at;
}

void TreeRecord::Unindex(size_t at) {
  const TreeEntry& e = entries_[at];
  auto range = folded_.equal_range(LowerAscii(e.name));
  for (auto it = range.first; it != range.second; ++it)
    if (it->second == at) {
      folded_.erase(it);
      break;
    }
  if (e.kind == EntryKind::kFile && e.alias) {
    auto found = aliases_.find(e.alias);
    if (found != aliases_.end() && found->second == at) aliases_.erase(found);
  }
}

void TreeRecord::Put(TreeEntry entry) {
  if (entry.name.empty()) return;
  auto& keys = entry.IsDirectory() ? directories_ : exact_;
  auto [it, fresh] = keys.emplace(entry.name, entries_.size());
  if (fresh) {
    entries_.push_back(std::move(entry));
  } else {
    Unindex(it->second);
    entries_[it->second] = std::move(entry);
  }
  Index(it->second);
}

bool TreeRecord::Forget(const std::string& name) {
  const TreeEntry* e = Find(name);
  if (!e) return false;
  const size_t at = static_cast<size_t>(e - entries_.data());
  Unindex(at);
  (e->IsDirectory() ? directories_ : exact_).erase(e->name);
  entries_[at].name.clear();
  return true;
}

const Owner* TreeRecord::OwnerOf(const TreeEntry& e) const {
  return e.owner == 0 || e.owner > owners_.size() ? nullptr : &owners_[e.owner - 1];
}

uint32_t TreeRecord::AddOwner(const Owner& owner) {
  std::vector<uint32_t>& same = ownerIndex_[{owner.uid, owner.gid}];
  for (uint32_t k : same) {
    const Owner& o = owners_[k - 1];
    if (o.user == owner.user && o.group == owner.group) return k;
  }
  owners_.push_back(owner);
  const uint32_t k = static_cast<uint32_t>(owners_.size());
  same.push_back(k);
  return k;
}

uint64_t TreeRecord::NextAlias() const {
  uint64_t highest = 0;
  for (const auto& alias : aliases_)
    if (alias.first > highest) highest = alias.first;
  return highest + 1;
}

}  // namespace vrk
