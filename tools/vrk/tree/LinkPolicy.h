// Whether a symbolic link leads outside the directory it is made in
// (--safe-links). Its target is followed one component at a time from the
// link's own directory, as the system follows it, through what stands at
// each path as a lookup tells: directories are entered, links followed, and
// names where nothing (or a file) stands are taken as written. Only links
// that are there are followed, so a link an archive holds but that was never
// made (a directory took its name) cannot make another look inside.
#ifndef VRK_LINK_POLICY_H
#define VRK_LINK_POLICY_H

#include <functional>
#include <string>

namespace vrk {

enum class PathKind {
  kMissing,  // nothing there: the rest of the path is taken as written
  kGone,     // a link taken away: the system's resolution fails there, so
             // nothing is reached through it
  kDirectory,
  kLink,
  kOther,
};

// What stands at a '/'-joined path below the top of the tree, with a link's
// target in `target`.
using PathLookup = std::function<PathKind(const std::string& path, std::string* target)>;

// The directory open as `dirFd`, as it stands on disk; no link is followed
// to look.
PathLookup DiskLookup(int dirFd);

// True when the link named `name` (components parted by '/' or '\'),
// holding `target`, resolves inside the top; else false with the reason
// ("leads outside the directory ('../x')"). Absolute targets never stay.
bool LinkStaysInside(const PathLookup& lookup, const std::string& name, const std::string& target,
                     std::string* reason);

}  // namespace vrk

#endif
