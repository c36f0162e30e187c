// The directory tree that `vrk mount` shows: directories come from the
// separators ('/' and '\') in the archive's names, files carry their name
// inside the archive and their size. Built once at mount; read-only after.
#ifndef VRK_MOUNT_TREE_H
#define VRK_MOUNT_TREE_H

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vrk {

// What the mount shows of a file or directory besides its size.
struct MountAttributes {
  mode_t mode = 0;  // permission bits; the tree knows the type
  struct timespec mtime = {};
  bool owned = false;  // uid and gid come from the tree record
  uid_t uid = 0;
  gid_t gid = 0;
};

class MountTree {
 public:
  static constexpr uint32_t kRoot = 0;
  static constexpr uint32_t kNone = 0xFFFFFFFFu;

  struct Node {
    std::string name;     // the path component ("" for the root)
    uint32_t parent = 0;  // the root is its own parent
    bool directory = false;
    std::map<std::string, uint32_t> children;  // of a directory, by name
    bool link = false;    // a symbolic link, holding `target`
    mode_t special = 0;   // a FIFO or device: its type bits (S_IFIFO, S_IFCHR, S_IFBLK)
    dev_t device = 0;     // of a device
    std::string entry;    // of a file: the name its data is stored under
    std::string target;   // of a link
    uint64_t size = 0;    // of a file; of a link, its target's length
    uint32_t subdirectories = 0;
    // Names of one file (hard links) share the node of the first: its
    // inode, its data and its count of names.
    uint32_t inode = kNone;  // kNone: this node's own
    uint32_t names = 1;
    MountAttributes attributes;
  };

  MountTree();

  // Places the archive file `entry` at the path its name gives. Empty and
  // '.' components are dropped. Returns false, with the reason in `*why`,
  // when it cannot be shown: a '..' component or no component at all, a
  // path through a file, a path that is a directory, or one already taken.
  // `shown`, when given, is the path to show it at instead (the name as
  // spelled on disk, which the tree record keeps).
  bool AddFile(const std::string& entry, uint64_t size, std::string* why,
               const std::string& shown = "");
  // A symbolic link at `path`, and a directory at `path` (which may be there
  // already), under the same rules.
  bool AddLink(const std::string& path, const std::string& target, std::string* why);
  // Another name at `path` of the file at node `file` (a hard link).
  bool AddHardLink(const std::string& path, uint32_t file, std::string* why);
  // A FIFO or device node at `path` (`type`: S_IFIFO, S_IFCHR or S_IFBLK).
  bool AddSpecial(const std::string& path, mode_t type, dev_t device, std::string* why);
  bool AddDirectory(const std::string& path, std::string* why);

  // Takes out of the tree the links that lead outside it when followed
  // through its directories and links (--safe-links). Returns each one's
  // name as placed and the reason.
  std::vector<std::pair<std::string, std::string>> HideLinksLeadingOutside();

  // The node whose inode, data and count of names `index` shares.
  uint32_t InodeOf(uint32_t index) const {
    return nodes_[index].inode == kNone ? index : nodes_[index].inode;
  }
  // The node at `path` ("/", "/maps/town.dat"), or kNone.
  uint32_t Find(const std::string& path) const;
  const Node& At(uint32_t index) const { return nodes_[index]; }
  Node& At(uint32_t index) { return nodes_[index]; }
  size_t Size() const { return nodes_.size(); }
  // The path of a node inside the tree, "" for the root, "a/b" below it.
  std::string PathOf(uint32_t index) const;

 private:
  // The node for `path`, created with its directories; kNone (and `*why`)
  // when it cannot be. A directory already there is returned as it is.
  uint32_t Place(const std::string& path, bool directory, std::string* why);
  uint32_t NewChild(uint32_t parent, const std::string& name, bool directory);

  std::vector<Node> nodes_;
};

}  // namespace vrk

#endif
