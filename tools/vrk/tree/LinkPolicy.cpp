#include "tree/LinkPolicy.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <vector>

#include "archive/ArchiveNaming.h"
#include "tree/PathSafety.h"

namespace vrk {
namespace {

// As many links as the system follows in one path.
constexpr int kMostLinks = 40;

std::vector<std::string> Parts(const std::string& path, const char* separators) {
  std::vector<std::string> parts;
  for (std::string& c : SplitPath(path, separators))
    if (!c.empty() && c != ".") parts.push_back(std::move(c));
  return parts;
}

PathKind KindAt(int dir, const std::string& leaf, std::string* target) {
  struct stat st;
  if (fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return PathKind::kMissing;
  if (S_ISDIR(st.st_mode)) return PathKind::kDirectory;
  if (!S_ISLNK(st.st_mode)) return PathKind::kOther;
  char buffer[PATH_MAX];
  const ssize_t n = readlinkat(dir, leaf.c_str(), buffer, sizeof buffer);
  // Gone since the look: nothing stands there to follow.
  if (n < 0 || static_cast<size_t>(n) >= sizeof buffer) return PathKind::kMissing;
  target->assign(buffer, static_cast<size_t>(n));
  return PathKind::kLink;
}

}  // namespace

PathLookup DiskLookup(int dirFd) {
  return [dirFd](const std::string& path, std::string* target) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return KindAt(dirFd, path, target);
    // The directories on the way were entered, not followed; a link among
    // them now is a change since, and nothing is looked up through it.
    const int parent = OpenBeneath(dirFd, path.substr(0, slash), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) return PathKind::kMissing;
    const PathKind kind = KindAt(parent, path.substr(slash + 1), target);
    close(parent);
    return kind;
  };
}

bool LinkStaysInside(const PathLookup& lookup, const std::string& name, const std::string& target,
                     std::string* reason) {
  std::vector<std::string> at = Parts(name, NameSeparators(name));
  if (!at.empty()) at.pop_back();  // targets start from the link's directory
  std::deque<std::string> pending;
  std::string next = target, through;
  // The depth of `at` from which nothing stands (a name is missing there,
  // or a file has it): what is deeper is taken as written, without a look.
  constexpr size_t kEverything = static_cast<size_t>(-1);
  size_t nothingFrom = kEverything;
  for (int followed = 0;; ++followed) {
    if (followed > kMostLinks) {
      *reason = "passes through too many links ('" + target + "')";
      return false;
    }
    if (!next.empty() && next[0] == '/') {
      *reason = through.empty() ? "points to the absolute path '" + next + "'"
                                : "leads to the absolute path '" + next + "' through the link '" +
                                      through + "'";
      return false;
    }
    const std::vector<std::string> parts = Parts(next, "/");
    pending.insert(pending.begin(), parts.begin(), parts.end());
    bool link = false;
    while (!pending.empty() && !link) {
      std::string part = std::move(pending.front());
      pending.pop_front();
      if (part == "..") {
        if (at.empty()) {
          *reason = "leads outside the directory ('" + target + "')";
          return false;
        }
        at.pop_back();
        if (at.size() < nothingFrom) nothingFrom = kEverything;
        continue;
      }
      at.push_back(std::move(part));
      if (at.size() > nothingFrom) continue;  // below a missing name or a file
      const std::string path = JoinComponents(at);
      next.clear();
      const PathKind kind = lookup(path, &next);
      if (kind == PathKind::kGone) return true;
      if (kind == PathKind::kMissing || kind == PathKind::kOther) nothingFrom = at.size();
      if (kind == PathKind::kLink) {
        at.pop_back();
        through = path;
        link = true;
      }
    }
    if (!link) return true;
  }
}

}  // namespace vrk
