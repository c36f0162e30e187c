// Writing extracted files, links and directories without ever leaving the
// target directory (PathSafety.h), and without ever leaving a partial file
// under a real name: each file is written under a temporary name beside its
// place and renamed there when complete, which also replaces whatever stood
// there (a link to elsewhere included) rather than writing through it.
// Links are made as stored, whatever they point to: they are data, and no
// write goes through one.
#ifndef VRK_EXTRACT_TARGET_H
#define VRK_EXTRACT_TARGET_H

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tree/PathSafety.h"
#include "tree/TreeRecord.h"

namespace vrk {

class ExtractTarget {
 public:
  // Opens (creating when missing) the directory to extract into. With
  // `unsafePaths` names are used as they are, '..' and absolute paths
  // included. Throws ToolError.
  ExtractTarget(const std::string& dir, bool unsafePaths);
  ~ExtractTarget();
  ExtractTarget(const ExtractTarget&) = delete;
  ExtractTarget& operator=(const ExtractTarget&) = delete;

  int Fd() const { return dirFd_; }

  // Gives the owner of an entry as the system is to know it; false when
  // none is to be set.
  using OwnerLookup = std::function<bool(const TreeEntry&, uid_t*, gid_t*)>;
  // From now on files, links, directories, FIFOs and devices get the owners
  // `lookup` gives (set before the mode, which chown would clear set-id bits
  // of), and their recorded modes in full, set-id and sticky bits included
  // and the umask left aside, as tar does for root.
  void RestoreOwners(OwnerLookup lookup);

  // Writes one file, creating its directories. With `attributes`, its mode
  // (owner bits as recorded, the others as the umask allows; no set-id or
  // sticky bits) and modification time are restored. A stop signal while a
  // large file is written removes the partial file and throws StopRequest.
  void WriteFile(const std::string& name, const unsigned char* data, size_t size,
                 const TreeEntry* attributes);
  // Creates a symbolic link with its recorded time, replacing a file or link
  // that was there before this extraction; a name that a directory, or a
  // file this extraction wrote, has taken is left to them (ToolError).
  void MakeLink(const TreeEntry& link);
  // Makes `link` a hard link to `file`, a file this extraction wrote,
  // replacing what was there as WriteFile does. ToolError when `file` is
  // not one it wrote.
  void MakeHardLink(const TreeEntry& link, const std::string& file);
  // Makes a FIFO or a device node with its recorded mode, owner and time,
  // replacing a file or link that was there before this extraction.
  void MakeNode(const TreeEntry& node);
  // Removes the link MakeLink made.
  void RemoveLink(const TreeEntry& link);
  void MakeDirectory(const std::string& name);
  // True when something stands where `name` goes (its directories are
  // created on the way), with its lstat in `st`.
  bool Exists(const std::string& name, struct stat* st);
  // Mode and time of a directory, once everything inside it is written.
  void RestoreDirectory(const TreeEntry& directory);

 private:
  struct Place {
    DirectoryFd dir;
    std::string leaf;
  };
  // The directory that holds `name` (created when missing) and its last part.
  Place PlaceOf(const std::string& name);
  DirectoryFd OpenDirectory(const std::string& name, bool create);
  mode_t Permitted(uint32_t mode) const;
  // Sets the owner of `leaf` in `dir` (or of `fd` when it is not -1) as the
  // lookup gives it; nothing without RestoreOwners.
  void SetOwner(const TreeEntry& e, int fd, int dir, const char* leaf);
  // The directory entry of `place`, as told apart from every other: the
  // directory's device and inode, and the name in it.
  using EntryKey = std::tuple<dev_t, ino_t, std::string>;
  EntryKey KeyOf(const Place& place, const std::string& name) const;
  // Throws when a directory, or a file or link this extraction made, stands
  // where `key` goes.
  void CheckReplaceable(const Place& place, const EntryKey& key, const std::string& name,
                        const char* what);

  std::string dir_;
  int dirFd_;
  bool unsafePaths_;
  mode_t umask_;
  std::set<EntryKey> written_;  // the files and links this extraction made
  OwnerLookup owners_;
};

}  // namespace vrk

#endif
