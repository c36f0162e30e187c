#include "MountTree.h"

#include "ArchiveNaming.h"

namespace vrk {

MountTree::MountTree() {
  nodes_.emplace_back();
  nodes_[kRoot].directory = true;
}

bool MountTree::AddFile(const std::string& entry, uint64_t size, std::string* why) {
  std::vector<std::string> parts;
  for (std::string& part : SplitPath(entry, "/\\")) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      *why = "a '..' component cannot be shown";
      return false;
    }
    parts.push_back(std::move(part));
  }
  if (parts.empty()) {
    *why = "the name has no component to show";
    return false;
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
        return false;
      }
      at = found->second;
      continue;
    }
    const uint32_t dir = static_cast<uint32_t>(nodes_.size());
    Node node;
    node.name = parts[i];
    node.parent = at;
    node.directory = true;
    nodes_.push_back(std::move(node));
    nodes_[at].children.emplace(parts[i], dir);
    ++nodes_[at].subdirectories;
    at = dir;
  }
  const std::string& leaf = parts.back();
  auto taken = nodes_[at].children.find(leaf);
  if (taken != nodes_[at].children.end()) {
    const Node& other = nodes_[taken->second];
    *why = other.directory ? "'" + PathOf(taken->second) + "' is a directory"
                           : "'" + PathOf(taken->second) + "' is also the path of " + other.entry;
    return false;
  }
  const uint32_t file = static_cast<uint32_t>(nodes_.size());
  Node node;
  node.name = leaf;
  node.parent = at;
  node.entry = entry;
  node.size = size;
  nodes_.push_back(std::move(node));
  nodes_[at].children.emplace(leaf, file);
  return true;
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
