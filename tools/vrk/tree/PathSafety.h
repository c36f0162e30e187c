// Names from an archive are untrusted: absolute paths, drive letters and '..'
// components are refused, and every path below an extraction target is
// opened without following a single symbolic link: with openat2 and
// RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS where the kernel has it, else one
// component at a time with openat and O_NOFOLLOW. So a link, planted in the
// target or made by an earlier run, never redirects a write.
#ifndef VRK_PATH_SAFETY_H
#define VRK_PATH_SAFETY_H

#include <string>
#include <vector>

namespace vrk {

// Splits an archive name at '/' and '\' (archives made on Windows use '\';
// a name holding '/' is split there alone, see NameSeparators),
// dropping empty and '.' components. Returns false with the reason when the
// name is absolute, carries a drive letter, has a '..' component or names
// nothing.
bool SplitSafeName(const std::string& name, std::vector<std::string>* components,
                   std::string* reason);

// The components joined with '/'.
std::string JoinComponents(const std::vector<std::string>& components);

// Opens `path` ('/'-joined components, none of them '..') below the
// directory `base` as openat does with `flags`, but never through a symbolic
// link, the last component included. -1 with errno when it cannot (ELOOP or
// ENOTDIR where a link stands on the way). Without openat2 (or with
// VRK_NO_OPENAT2 in the environment) it walks with O_NOFOLLOW.
int OpenBeneath(int base, const std::string& path, int flags);

// A directory descriptor that is closed when it goes, unless it is the one
// a walk started from.
class DirectoryFd {
 public:
  DirectoryFd(int fd, int base) : fd_(fd), base_(base) {}
  ~DirectoryFd();
  DirectoryFd(DirectoryFd&& other) noexcept;
  DirectoryFd& operator=(DirectoryFd&& other) noexcept;
  DirectoryFd(const DirectoryFd&) = delete;
  DirectoryFd& operator=(const DirectoryFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
  int base_;
};

// Opens the directory reached from `base` through `components` without
// following links, creating missing ones when `create`. Throws ToolError
// about `name`, naming a symbolic link met on the way.
DirectoryFd WalkDirectories(int base, const std::vector<std::string>& components,
                            const std::string& name, bool create);

// Creates the directories of `path` and `path` itself, as mkdir -p does.
void MakeDirectories(const std::string& path);

}  // namespace vrk

#endif
