#include "tree/LinkPolicy.h"

#include <unistd.h>

#include <deque>

#include "archive/ArchiveNaming.h"

namespace vrk {
namespace {

// As many links as the system follows in one path.
constexpr int kMostLinks = 40;

std::string Joined(const std::vector<std::string>& components) {
  std::string path;
  for (const std::string& c : components) path += (path.empty() ? "" : "/") + c;
  return path;
}

std::vector<std::string> Parts(const std::string& path, const char* separators) {
  std::vector<std::string> parts;
  for (std::string& c : SplitPath(path, separators))
    if (!c.empty() && c != ".") parts.push_back(std::move(c));
  return parts;
}

}  // namespace

LinkPolicy::LinkPolicy(const std::vector<TreeEntry>& links, int directoryFd)
    : directoryFd_(directoryFd) {
  for (const TreeEntry& link : links) links_[Joined(Parts(link.name, "/\\"))] = link.target;
}

bool LinkPolicy::LinkAt(const std::string& path, std::string* target) const {
  auto found = links_.find(path);
  if (found != links_.end()) {
    *target = found->second;
    return true;
  }
  char buffer[4096];
  ssize_t n = readlinkat(directoryFd_, path.c_str(), buffer, sizeof buffer);
  if (n < 0 || static_cast<size_t>(n) >= sizeof buffer) return false;
  target->assign(buffer, static_cast<size_t>(n));
  return true;
}

bool LinkPolicy::StaysInside(const TreeEntry& link, std::string* reason) const {
  std::vector<std::string> at = Parts(link.name, "/\\");
  if (!at.empty()) at.pop_back();  // targets start from the link's directory
  std::string target = link.target;
  std::deque<std::string> pending;
  int followed = 0;
  for (;;) {
    if (!target.empty() && target[0] == '/') {
      *reason = "points to the absolute path '" + target + "'";
      return false;
    }
    std::vector<std::string> parts = Parts(target, "/");
    pending.insert(pending.begin(), parts.begin(), parts.end());
    target.clear();
    while (!pending.empty() && target.empty()) {
      std::string part = std::move(pending.front());
      pending.pop_front();
      if (part == "..") {
        if (at.empty()) {
          *reason = "points outside the directory ('" + link.target + "')";
          return false;
        }
        at.pop_back();
        continue;
      }
      at.push_back(std::move(part));
      if (LinkAt(Joined(at), &target)) {
        at.pop_back();
        if (++followed > kMostLinks) {
          *reason = "too many links to follow";
          return false;
        }
      }
    }
    if (target.empty()) return true;
  }
}

}  // namespace vrk
