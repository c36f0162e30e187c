// Names from an archive are untrusted: absolute paths, drive letters and '..'
// components are refused, and the directories below an extraction target
// are walked one component at a time with openat and O_NOFOLLOW, so a
// symbolic link planted in the target (or made by an earlier entry) is never
// followed.
#ifndef VRK_PATH_SAFETY_H
#define VRK_PATH_SAFETY_H

#include <string>
#include <vector>

namespace vrk {

// Splits an archive name at '/' and '\' (archives made on Windows use '\'),
// dropping empty and '.' components. Returns false with the reason when the
// name is absolute, carries a drive letter, has a '..' component or names
// nothing.
bool SplitSafeName(const std::string& name, std::vector<std::string>* components,
                   std::string* reason);

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
