#include "mount/MountTree.h"

#include <set>

#include "archive/ArchiveNaming.h"
#include "tree/LinkPolicy.h"

namespace vrk {

MountTree::MountTree() {
  nodes_.emplace_back();
  nodes_[kRoot].directory = true;
}

bool MountTree::AddFile(const std::string& entry, uint64_t size, std::string* why,
                        const std::string& shown) {
  const uint32_t file = Place(shown.empty() ? entry : shown, false, why);
  if (file == kNone) return false;
  nodes_[file].entry = entry;
  nodes_[file].size = size;
  return true;
}

bool MountTree::AddLink(const std::string& path, const std::string& target, std::string* why) {
  const uint32_t link = Place(path, false, why);
  if (link == kNone) return false;
  nodes_[link].link = true;
  nodes_[link].entry = path;
  nodes_[link].target = target;
  nodes_[link].size = target.size();
  return true;
}

bool MountTree::AddHardLink(const std::string& path, uint32_t file, std::string* why) {
  const uint32_t inode = InodeOf(file);
  const uint32_t name = Place(path, false, why);
  if (name == kNone) return false;
  Node& node = nodes_[name];
  const Node& shared = nodes_[inode];
  node.entry = shared.entry;
  node.size = shared.size;
  node.inode = inode;
  ++nodes_[inode].names;
  return true;
}

bool MountTree::AddSpecial(const std::string& path, mode_t type, dev_t device, std::string* why) {
  const uint32_t node = Place(path, false, why);
  if (node == kNone) return false;
  nodes_[node].special = type;
  nodes_[node].device = device;
  nodes_[node].entry = path;
  return true;
}

bool MountTree::AddDirectory(const std::string& path, std::string* why) {
  return Place(path, true, why) != kNone;
}

uint32_t MountTree::Place(const std::string& path, bool directory, std::string* why) {
  std::vector<std::string> parts;
  for (std::string& part : SplitPath(path, NameSeparators(path))) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      *why = "a '..' component cannot be shown";
      return kNone;
    }
    parts.push_back(std::move(part));
  }
  if (parts.empty()) {
    *why = "the name has no component to show";
    return kNone;
  }
  // Walk down, creating directories. A refusal comes from a node that was
  // there before, met before anything is created, so it leaves the tree as
  // it was.
  uint32_t at = kRoot;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    auto found = nodes_[at].children.find(parts[i]);
    if (found != nodes_[at].children.end()) {
      if (!nodes_[found->second].directory) {
        *why = "'" + PathOf(found->second) + "' is a file, not a directory";
        return kNone;
      }
      at = found->second;
      continue;
    }
    at = NewChild(at, parts[i], true);
  }
  const std::string& leaf = parts.back();
  auto taken = nodes_[at].children.find(leaf);
  if (taken != nodes_[at].children.end()) {
    const Node& other = nodes_[taken->second];
    if (directory && other.directory) return taken->second;
    *why = other.directory ? "'" + PathOf(taken->second) + "' is a directory"
                           : "'" + PathOf(taken->second) + "' is also the path of " + other.entry;
    return kNone;
  }
  return NewChild(at, leaf, directory);
}

uint32_t MountTree::NewChild(uint32_t parent, const std::string& name, bool directory) {
  const uint32_t index = static_cast<uint32_t>(nodes_.size());
  Node node;
  node.name = name;
  node.parent = parent;
  node.directory = directory;
  nodes_.push_back(std::move(node));
  nodes_[parent].children.emplace(name, index);
  if (directory) ++nodes_[parent].subdirectories;
  return index;
}

std::vector<std::pair<std::string, std::string>> MountTree::HideLinksLeadingOutside() {
  std::set<std::string> gone;  // the paths of hidden links
  const PathLookup shown = [this, &gone](const std::string& path, std::string* target) {
    if (gone.count(path)) return PathKind::kGone;
    const uint32_t at = Find(path);
    if (at == kNone) return PathKind::kMissing;
    const Node& node = nodes_[at];
    if (node.directory) return PathKind::kDirectory;
    if (!node.link) return PathKind::kOther;
    *target = node.target;
    return PathKind::kLink;
  };
  // One pass: a hidden link ends every path through it, so it cannot make
  // another lead outside.
  std::vector<std::pair<std::string, std::string>> hidden;
  for (uint32_t i = 0; i < nodes_.size(); ++i) {
    const Node& node = nodes_[i];
    const std::string path = PathOf(i);
    std::string why;
    if (!node.link || Find(path) != i || LinkStaysInside(shown, path, node.target, &why)) continue;
    nodes_[node.parent].children.erase(node.name);
    gone.insert(path);
    hidden.emplace_back(node.entry, why);
  }
  return hidden;
}

uint32_t MountTree::Find(const std::string& path) const {
  uint32_t at = kRoot;
  for (const std::string& part : SplitPath(path, "/")) {
    if (part.empty()) continue;
    const Node& node = nodes_[at];
    auto found = node.children.find(part);
    if (!node.directory || found == node.children.end()) return kNone;
    at = found->second;
  }
  return at;
}

std::string MountTree::PathOf(uint32_t index) const {
  std::string path;
  for (uint32_t at = index; at != kRoot; at = nodes_[at].parent)
    path = nodes_[at].name + (path.empty() ? "" : "/" + path);
  return path;
}

}  // namespace vrk
