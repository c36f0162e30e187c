// Writing extracted files without ever leaving the target directory. Names
// from an archive are untrusted: absolute paths, drive letters and '..'
// components are refused, and the directories below the target are walked
// one component at a time with openat and O_NOFOLLOW, so a symbolic link
// planted in the target (or in an earlier entry) is never followed.
#ifndef VRK_PATH_SAFETY_H
#define VRK_PATH_SAFETY_H

#include <cstddef>
#include <string>
#include <vector>

namespace vrk {

// Splits an archive name at '/' and '\' (archives made on Windows use '\'),
// dropping empty and '.' components. Returns false with the reason when the
// name is absolute, carries a drive letter, has a '..' component or names
// nothing.
bool SplitSafeName(const std::string& name, std::vector<std::string>* components,
                   std::string* reason);

class ExtractTarget {
 public:
  // Opens (creating when missing) the directory files are extracted into.
  // With `unsafePaths` names are used as they are, '..' and absolute paths
  // included. Throws ToolError.
  ExtractTarget(const std::string& dir, bool unsafePaths);
  ~ExtractTarget();
  ExtractTarget(const ExtractTarget&) = delete;
  ExtractTarget& operator=(const ExtractTarget&) = delete;

  // Writes one file under `name`, creating its directories. An existing file
  // of that name is replaced by a new one (never written through, so a
  // link in its place cannot redirect the data). Throws ToolError.
  void Write(const std::string& name, const void* data, size_t size);

 private:
  void WriteUnsafe(const std::string& name, const void* data, size_t size);

  std::string dir_;
  int dirFd_;
  bool unsafePaths_;
};

}  // namespace vrk

#endif
